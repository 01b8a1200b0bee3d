#include "TestFiles.h"
#include "TestMain.h"

#include "settings/ConnectionsFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString AppPath = QStringLiteral("/srv/vk");
const QString DefaultDb = QStringLiteral(
    "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;Data Source=/srv/vk/test.mdb");
const QString DefaultLog = QStringLiteral("/srv/vk/Process.log");

ConnectionRow row(const QString &key, const QString &port, const QString &database,
                  const QString &logon, const QString &log)
{
    return ConnectionRow{key, port, database, logon, log};
}

} // namespace

class TestConnectionsFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        m_cfg = m_dir->filePath(QStringLiteral("connections.cfg"));
        m_old = m_dir->filePath(QStringLiteral("connections.old"));
    }

    void readsOneLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("logon");
        QTest::addColumn<QString>("log");
        addRow("as written",
               "Port=7777,Database=Provider=X;Data Source=/d/a.db,Logon=True,Log=/l/a.log", 7777,
               "Provider=X;Data Source=/d/a.db", "True", "/l/a.log");
        addRow("any order", "Log=/l/b.log,Logon=True,Database=D,Port=9000", 9000, "D", "True",
               "/l/b.log");
        addRow("empty line", "", 28000, DefaultDb, "False", DefaultLog);
        addRow("no field names", "just text", 28000, DefaultDb, "False", DefaultLog);
        addRow("header with a blank", "Port=, Database=,Logon=,Log=", 0, "", "", "");
        addRow("Port=abc", "Port=abc", 0, DefaultDb, "False", DefaultLog);
        addRow("Port=28001.5", "Port=28001.5", 28002, DefaultDb, "False", DefaultLog);
        addRow("database ends the line",
               "Port=1,Logon=False,Log=/l,Database=Provider=X;Data Source=/d/a.db", 1,
               "Provider=X;Data Source=/d/a.db", "False", "/l");
        addRow("log path with a comma", "Port=1,Database=D,Logon=False,Log=/logs/a,b.log", 1, "D",
               "False", "/logs/a");
        addRow("Logon is not Log", "Port=1,Logon=True", 1, DefaultDb, "True", DefaultLog);
        addRow("names are case-sensitive", "PORT=5,database=D,Logon=True", 28000, DefaultDb, "True",
               DefaultLog);
    }
    void readsOneLine()
    {
        QFETCH(QString, line);
        QFETCH(int, port);
        QFETCH(QString, database);
        QFETCH(QString, logon);
        QFETCH(QString, log);
        const Result<ConnectionLine> read = parseConnectionLine(line, AppPath);
        QVERIFY(read.ok());
        QCOMPARE(read->port, port);
        QCOMPARE(read->database, database);
        QCOMPARE(read->logon, logon);
        QCOMPARE(read->log, log);
    }

    void readsTheFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QList<int>>("ports");
        QTest::addColumn<QStringList>("logs");
        addRow("CR LF", QByteArray("Port=1,Log=/a\r\nPort=2,Log=/b\r\n"), QList<int>{1, 2},
               QStringList{"/a", "/b"});
        addRow("LF", QByteArray("Port=1,Log=/a\nPort=2,Log=/b\n"), QList<int>{1, 2},
               QStringList{"/a", "/b"});
        addRow("lone CR", QByteArray("Port=1,Log=/a\rPort=2,Log=/b\r"), QList<int>{1, 2},
               QStringList{"/a", "/b"});
        addRow("last line without line end", QByteArray("Port=1,Log=/a\r\nPort=2,Log=/b"),
               QList<int>{1, 2}, QStringList{"/a", "/b"});
        addRow("header skipped", QByteArray("Port=,Database=,Logon=,Log=\r\nPort=1,Log=/a\r\n"),
               QList<int>{1}, QStringList{"/a"});
        addRow("header with a difference is a line",
               QByteArray("Port=,Database=,Logon=,Log= \r\nPort=1,Log=/a\r\n"), QList<int>{0, 1},
               QStringList{" ", "/a"});
        addRow("empty line is a default connection",
               QByteArray("Port=1,Log=/a\r\n\r\nPort=2,Log=/b\r\n"), QList<int>{1, 28000, 2},
               QStringList{"/a", DefaultLog, "/b"});
        addRow("a line break first", QByteArray("\nPort=1,Log=/a\n"), QList<int>{28000, 1},
               QStringList{DefaultLog, "/a"});
        addRow("byte order mark before the header",
               QByteArray("\xEF\xBB\xBFPort=,Database=,Logon=,Log=\r\nPort=5,Log=/a\r\n"),
               QList<int>{5}, QStringList{"/a"});
    }
    void readsTheFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QList<int>, ports);
        QFETCH(QStringList, logs);
        QVERIFY(writeFile(m_cfg, contents));
        const Result<QList<ConnectionLine>> read = readConnectionsFile(m_cfg, AppPath);
        QVERIFY2(read.ok(), read.ok() ? "" : qPrintable(read.error().description));
        QList<int> readPorts;
        QStringList readLogs;
        for (const ConnectionLine &line : *read) {
            readPorts.append(line.port);
            readLogs.append(line.log);
        }
        QCOMPARE(readPorts, ports);
        QCOMPARE(readLogs, logs);
    }

    void readFailuresNameTheFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("reason");
        addRow("missing file", QByteArray(), 53, "No such file or directory");
        addRow("port out of range on line 2", QByteArray("Port=1\r\nPort=99999999999\r\n"), 6,
               "line 2: Overflow: the port \"99999999999\"");
    }
    void readFailuresNameTheFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, number);
        QFETCH(QString, reason);
        if (!contents.isNull())
            QVERIFY(writeFile(m_cfg, contents));
        const Result<QList<ConnectionLine>> read = readConnectionsFile(m_cfg, AppPath);
        QVERIFY(!read.ok());
        QCOMPARE(read.error().number, number);
        QVERIFY2(read.error().description.contains(m_cfg), qPrintable(read.error().description));
        QVERIFY2(read.error().description.contains(reason), qPrintable(read.error().description));
    }

    void backupName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("backup");
        addRow("extension", "/data/connections.cfg", "/data/connections.old");
        addRow("last dot of the name", "/data/site.2.cfg", "/data/site.2.old");
        addRow("dotted folder, plain name", "/my.folder/conn", "/my.folder/conn.old");
        addRow("no folder", "conn.cfg", "conn.old");
    }
    void backupName()
    {
        QFETCH(QString, path);
        QFETCH(QString, backup);
        QCOMPARE(backupPath(path), backup);
    }

    void rewriteWritesTheRowsInListOrder()
    {
        QVERIFY(writeFile(m_cfg, "Port=1\r\n"));
        const QList<ConnectionRow> rows{
            row("con2", "9000", "Provider=SQLite;Data Source=/d/b.db", "True", "/l/b.log"),
            row("con1", "28000", "Provider=SQLite;Data Source=/d/a.db", "False", "/l/a.log"),
            row("con3", "7777", "D", "Yes", "/l/c.log")};
        const Status written = rewriteConnectionsFile(m_cfg, m_dir->path(), rows);
        QVERIFY2(written.ok(), written.ok() ? "" : qPrintable(written.error().description));
        QCOMPARE(readFile(m_cfg),
                 QByteArray("Port=9000,Database=Provider=SQLite;Data Source=/d/b.db,Logon=True,"
                            "Log=/l/b.log\r\n"
                            "Port=28000,Database=Provider=SQLite;Data Source=/d/a.db,Logon=False,"
                            "Log=/l/a.log\r\n"
                            "Port=7777,Database=D,Logon=Yes,Log=/l/c.log\r\n"));
        QCOMPARE(readFile(m_old), QByteArray("Port=1\r\n"));
    }

    void backupOfAMissingFileFails()
    {
        QVERIFY(writeFile(m_old, "an older backup\r\n"));
        const Status backup = makeBackup(m_cfg);
        QVERIFY(!backup.ok());
        QCOMPARE(backup.error().number, 53);
        QVERIFY(backup.error().description.contains(m_cfg));
        QCOMPARE(readFile(m_old), QByteArray("an older backup\r\n"));
    }

    void appendAfterTheBackup_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("backup");
        const QByteArray added = "Port=7777,Database=D,Logon=False,Log=/l/n.log\r\n";
        addRow("after the last line", QByteArray("Port=1\r\n\r\n"),
               QByteArray("Port=1\r\n\r\n") + added, QByteArray("Port=1\r\n"));
        addRow("last line without line end", QByteArray("Port=1"), QByteArray("Port=1\r\n") + added,
               QByteArray("Port=1\r\n"));
        addRow("empty file", QByteArray(""), added, QByteArray(""));
        addRow("no file yet", QByteArray(), added, QByteArray("<missing>"));
    }
    void appendAfterTheBackup()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, backup);
        if (!before.isNull()) {
            QVERIFY(writeFile(m_cfg, before));
            QVERIFY(makeBackup(m_cfg).ok());
        }
        const Status appended = appendConnectionLine(
            m_cfg, ConnectionLine{7777, QStringLiteral("D"), QStringLiteral("False"),
                                  QStringLiteral("/l/n.log")});
        QVERIFY2(appended.ok(), appended.ok() ? "" : qPrintable(appended.error().description));
        QCOMPARE(readFile(m_cfg), after);
        QCOMPARE(readFile(m_old), backup);
    }

    void rewriteCreatesTheProgramFolderOneLevel_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("created");
        addRow("parent exists", "Varnock_UDP", true);
        addRow("parent missing", "missing/Varnock_UDP", false);
    }
    void rewriteCreatesTheProgramFolderOneLevel()
    {
        QFETCH(QString, folder);
        QFETCH(bool, created);
        const QString appPath = m_dir->filePath(folder);
        const QString cfg = appPath + QStringLiteral("/connections.cfg");
        const Status written =
            rewriteConnectionsFile(cfg, appPath, {row("con1", "28000", "D", "False", "/l/a.log")});
        QCOMPARE(written.ok(), created);
        QCOMPARE(QFileInfo::exists(cfg), created);
        if (!created) {
            QCOMPARE(written.error().number, 76);
            QVERIFY2(written.error().description.contains(appPath),
                     qPrintable(written.error().description));
            QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("missing"))));
        }
    }

    void refusesALineBreakInsideAValue()
    {
        const QString log = QStringLiteral("/l/a\n.log");
        QVERIFY(writeFile(m_cfg, "Port=1\r\n"));
        QVERIFY(writeFile(m_old, "an older backup\r\n"));
        const Status written =
            rewriteConnectionsFile(m_cfg, m_dir->path(), {row("con1", "28000", "D", "False", log)});
        QVERIFY(!written.ok());
        QVERIFY2(written.error().description.contains(QStringLiteral("line break")),
                 qPrintable(written.error().description));
        QCOMPARE(readFile(m_cfg), QByteArray("Port=1\r\n"));
        QCOMPARE(readFile(m_old), QByteArray("an older backup\r\n"));
        const Status appended = appendConnectionLine(
            m_cfg, ConnectionLine{1, QStringLiteral("D"), QStringLiteral("False"), log});
        QVERIFY(!appended.ok());
        QCOMPARE(readFile(m_cfg), QByteArray("Port=1\r\n"));
    }

    void rewriteKeepsPermissionsAndLinks()
    {
        const QString real = m_dir->filePath(QStringLiteral("real.cfg"));
        QVERIFY(writeFile(real, "Port=1\r\n"));
        QVERIFY(
            QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link(real, m_cfg));
        QVERIFY(rewriteConnectionsFile(m_cfg, m_dir->path(), {row("con1", "2", "D", "False", "/l")})
                    .ok());
        QVERIFY(QFileInfo(m_cfg).isSymLink());
        QCOMPARE(readFile(real), QByteArray("Port=2,Database=D,Logon=False,Log=/l\r\n"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0640);
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_cfg;
    QString m_old;
};

VARNOCK_TEST_MAIN(TestConnectionsFile)
#include "tst_connectionsfile.moc"
