#include "ScratchMount.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "settings/ConnectionsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

// The faults a user meets while the connections file is written: a read-only folder, a full
// disk, the process killed half-way. In every case the file and its backup are byte for byte
// either the old or the new version, and a failure says which file and why.

namespace {

const QByteArray OldFile = "Port=28000,Database=Old,Logon=False,Log=/old.log\r\n\r\n  \r\n"
                           "Port=7000,Database=Old2,Logon=True,Log=/old2.log\r\n";
const QByteArray OldBackup = "an older backup\r\n";
constexpr qint64 Page = 4096;

QString cfgIn(const QString &folder)
{
    return folder + QStringLiteral("/connections.cfg");
}

QString backupIn(const QString &folder)
{
    return folder + QStringLiteral("/connections.old");
}

bool prepare(const QString &folder)
{
    return writeFile(cfgIn(folder), OldFile) && writeFile(backupIn(folder), OldBackup);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// What the writers write; `width` makes the contents as large as a test needs.
QString longText(int width)
{
    return QString(width, QLatin1Char('x'));
}

Status runWriter(const QString &writer, const QString &folder, int width,
                 const WriteHooks &hooks = {})
{
    const QString cfg = cfgIn(folder);
    if (writer == QLatin1String("rewrite"))
        return rewriteConnectionsFile(
            cfg, folder,
            {ConnectionRow{"con1", "28000", "Provider=SQLite;Data Source=/d/" + longText(width),
                           "False", "/l/a.log"},
             ConnectionRow{"con2", "7000", "Provider=SQLite;Data Source=/d/b.db", "True",
                           "/l/" + longText(width)}},
            hooks);
    if (writer == QLatin1String("append"))
        return appendConnectionLine(cfg,
                                    ConnectionLine{7777, "Provider=SQLite;Data Source=/d/c.db",
                                                   "False", "/l/" + longText(width)},
                                    hooks);
    return writeDefaultFile(cfg, QStringLiteral("/srv/") + longText(width), hooks);
}

struct Versions
{
    QByteArray file;
    QByteArray backup;
};

Versions versionsIn(const QString &folder)
{
    return Versions{readFile(cfgIn(folder)), readFile(backupIn(folder))};
}

// The versions an undisturbed writer leaves behind.
Versions newVersions(const QString &writer, int width)
{
    QTemporaryDir scratch;
    if (!prepare(scratch.path()) || !runWriter(writer, scratch.path(), width).ok())
        return {};
    return versionsIn(scratch.path());
}

// Run as a child: --die WRITER FOLDER FILENAME STAGE stops the process with SIGKILL when the
// writer reaches STAGE for the file FILENAME. Exits normally only when it never got there.
int dieWhileWriting(char *argv[])
{
    const QString writer = QString::fromLocal8Bit(argv[2]);
    const QString folder = QString::fromLocal8Bit(argv[3]);
    const QString fileName = QString::fromLocal8Bit(argv[4]);
    const auto stage = WriteStage(QByteArray(argv[5]).toInt());
    WriteHooks hooks;
    hooks.reached = [&](const QString &path, WriteStage reached) {
        if (reached == stage && QFileInfo(path).fileName() == fileName)
            ::raise(SIGKILL);
    };
    return runWriter(writer, folder, 4000, hooks).ok() ? 0 : 1;
}

} // namespace

class TestConnectionsFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_canMount = enterPrivateMountNamespace();
        if (!m_canMount)
            qInfo("No tmpfs mounts (they need root): the full disk is simulated by short writes "
                  "only, and a read-only folder by folder permissions");
    }

    void killedWhileWriting_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("dieOn");
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("newFile");
        QTest::addColumn<bool>("newBackup");
        const QString cfg = QStringLiteral("connections.cfg");
        const QString old = QStringLiteral("connections.old");
        const int written = int(WriteStage::Written);
        const int renamed = int(WriteStage::Renamed);
        addRow("rewrite: backup written, not renamed", "rewrite", old, written, false, false);
        addRow("rewrite: file written, not renamed", "rewrite", cfg, written, false, true);
        addRow("rewrite: file renamed", "rewrite", cfg, renamed, true, true);
        addRow("append: written, not renamed", "append", cfg, written, false, false);
        addRow("default file: written, not renamed", "default", cfg, written, false, false);
    }
    void killedWhileWriting()
    {
        QFETCH(QString, writer);
        QFETCH(QString, dieOn);
        QFETCH(int, stage);
        QFETCH(bool, newFile);
        QFETCH(bool, newBackup);
        QTemporaryDir dir;
        QVERIFY(prepare(dir.path()));
        const Versions before = versionsIn(dir.path());
        const Versions after = newVersions(writer, 4000);
        QVERIFY(after.file != before.file);

        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--die"), writer, dir.path(), dieOn, QString::number(stage)});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const Versions now = versionsIn(dir.path());
        QCOMPARE(now.file, newFile ? after.file : before.file);
        QCOMPARE(now.backup, newBackup ? after.backup : before.backup);

        // The next write clears away what the killed one left behind.
        QVERIFY(runWriter(writer, dir.path(), 4000).ok());
        QCOMPARE(entries(dir.path()).filter(QStringLiteral(".tmp")), QStringList());
    }

    void readOnlyFolder_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("failing");
        addRow("rewrite", "rewrite", "connections.old");
        addRow("append", "append", "connections.cfg");
    }
    void readOnlyFolder()
    {
        QFETCH(QString, writer);
        QFETCH(QString, failing);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("ro"));
        std::optional<ScratchMount> mount;
        QString reason;
        if (m_canMount) {
            mount.emplace(folder, 1 << 20);
            QVERIFY2(mount->mounted(), qPrintable(mount->error()));
            QVERIFY(prepare(folder));
            QVERIFY(mount->makeReadOnly());
            reason = QStringLiteral("Read-only file system");
        } else if (::geteuid() != 0) {
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(prepare(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            reason = QStringLiteral("Permission denied");
        } else {
            QSKIP("root ignores folder permissions and cannot mount here: no read-only folder");
        }
        const Versions before = versionsIn(folder);
        const QStringList files = entries(folder);

        const Status result = runWriter(writer, folder, 10);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!result.ok());
        QCOMPARE(result.error().number, 75);
        const QString &text = result.error().description;
        QVERIFY2(text.contains(folder + QLatin1Char('/') + failing) && text.contains(reason),
                 qPrintable(text));
        QCOMPARE(versionsIn(folder).file, before.file);
        QCOMPARE(versionsIn(folder).backup, before.backup);
        QCOMPARE(entries(folder), files);
    }

    // A full small tmpfs where the process may mount; everywhere a device that takes a few
    // bytes of the first write and then nothing more.
    void diskFull_data()
    {
        QTest::addColumn<bool>("tmpfs");
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("freePages");
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("newBackup");
        const QString cfg = QStringLiteral("connections.cfg");
        const QString old = QStringLiteral("connections.old");
        addRow("tmpfs: rewrite, no room for the backup", true, "rewrite", 12000, 0, old, false);
        addRow("tmpfs: rewrite, no room for the file", true, "rewrite", 12000, 2, cfg, true);
        addRow("tmpfs: append", true, "append", 20000, 2, cfg, false);
        addRow("short write: rewrite, the file", false, "rewrite", 100, 0, cfg, true);
        addRow("short write: append", false, "append", 100, 0, cfg, false);
    }
    void diskFull()
    {
        QFETCH(bool, tmpfs);
        QFETCH(QString, writer);
        QFETCH(int, width);
        QFETCH(int, freePages);
        QFETCH(QString, failing);
        QFETCH(bool, newBackup);
        if (tmpfs && !m_canMount)
            QSKIP("a full disk needs a tmpfs mount (root); the short writes cover the writers");
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("small"));
        std::optional<ScratchMount> mount;
        if (tmpfs) {
            mount.emplace(folder, 16 * Page);
            QVERIFY2(mount->mounted(), qPrintable(mount->error()));
        }
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(prepare(folder));
        QVERIFY(!tmpfs || fillUpTo(folder + QStringLiteral("/filler"), freePages));
        const Versions before = versionsIn(folder);
        const Versions after = newVersions(writer, width);
        const QStringList files = entries(folder);
        int writes = 0;
        WriteHooks hooks;
        if (!tmpfs) {
            hooks.deviceTakes = [&](const QString &path, qint64 size) -> qint64 {
                if (QFileInfo(path).fileName() != failing)
                    return size;
                return writes++ == 0 ? qMin<qint64>(size, 5) : 0;
            };
        }

        const Status result = runWriter(writer, folder, width, hooks);
        QVERIFY(!result.ok());
        QCOMPARE(result.error().number, 61);
        const QString &text = result.error().description;
        QVERIFY2(text.contains(folder + QLatin1Char('/') + failing), qPrintable(text));
        QVERIFY2(!tmpfs || text.contains(QStringLiteral("No space left on device")),
                 qPrintable(text));
        QCOMPARE(versionsIn(folder).file, before.file);
        QCOMPARE(versionsIn(folder).backup, newBackup ? after.backup : before.backup);
        QCOMPARE(entries(folder), files);
    }

private:
    // Fills the file system of `filler` until exactly `freePages` pages are left.
    static bool fillUpTo(const QString &filler, int freePages)
    {
        const int fd = ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0)
            return false;
        const QByteArray page(Page, 'f');
        qint64 size = 0;
        for (;;) {
            const ssize_t written = ::write(fd, page.constData(), page.size());
            if (written <= 0)
                break;
            size += written;
        }
        const qint64 pages = (size + Page - 1) / Page;
        const bool ok = pages >= freePages && ::ftruncate(fd, (pages - freePages) * Page) == 0;
        ::close(fd);
        return ok;
    }

    bool m_canMount = false;
};

int main(int argc, char *argv[])
{
    if (argc == 6 && qstrcmp(argv[1], "--die") == 0)
        return dieWhileWriting(argv);
    QTemporaryDir home;
    prepareTestEnvironment(home);
    QCoreApplication app(argc, argv);
    TestConnectionsFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectionsfaults.moc"
