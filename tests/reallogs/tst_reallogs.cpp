#include "Framed.h"
#include "HttpLogPosts.h"
#include "LogLines.h"
#include "PgTestDatabase.h"
#include "ReceiverProcess.h"
#include "TestMain.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <memory>

namespace {

const QString Corpus = QStringLiteral(REALLOGS_CORPUS);

QStringList corpusFiles()
{
    QStringList files;
    QDirIterator it(Corpus, {QStringLiteral("*.log")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// The expected figures of every file, from the calculator that shares nothing with
// Ledgerwell's parser.
QJsonObject expectedFigures(const QStringList &files, QString &error)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList{QStringLiteral(REALLOGS_SCRIPTS) + "/expected.py"} + files);
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        error = "expected.py failed: " + QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(python.readAllStandardOutput(), &parseError);
    if (!document.isObject())
        error = "expected.py printed no JSON object: " + parseError.errorString();
    return document.object();
}

// One file's database: an SQLite file or a PostgreSQL database of the test server.
struct FileDatabase
{
    QString file;
    QString connectionString;
    std::unique_ptr<PgTestDatabase> pg;
    QString sqlitePath;
    QSqlDatabase db;
    quint16 port = 0;
    qsizetype lines = 0;
};

QStringList column(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {QStringLiteral("query failed: ") + query.lastError().text() + " in " + sql};
    QStringList values;
    while (query.next()) {
        QStringList row;
        for (int c = 0; c < query.record().count(); ++c)
            row << query.value(c).toString();
        values << row.join(QLatin1Char('|'));
    }
    return values;
}

qint64 number(const QSqlDatabase &db, const QString &sql)
{
    const QStringList values = column(db, sql);
    return values.isEmpty() ? -1 : values.first().toLongLong();
}

// "key|count" rows as a JSON object.
QJsonObject counted(const QStringList &rows)
{
    QJsonObject object;
    for (const QString &row : rows) {
        const qsizetype bar = row.lastIndexOf(QLatin1Char('|'));
        object[row.left(bar)] = row.mid(bar + 1).toLongLong();
    }
    return object;
}

QJsonArray texts(const QStringList &rows)
{
    QJsonArray array;
    for (const QString &row : rows)
        array << row;
    return array;
}

const QString ScoresOfType =
    QStringLiteral("FROM Scores s JOIN Types t ON t.Record = s.Type %1 WHERE t.Type IN (%2)");

// The same figures as expected.py prints, read from what Ledgerwell stored.
QJsonObject storedFigures(const QSqlDatabase &db)
{
    const auto count = [&](const QString &types, const QString &what = QStringLiteral("COUNT(*)")) {
        return number(db, "SELECT " + what + " " + ScoresOfType.arg(QString(), types));
    };
    const auto per = [&](const QString &join, const QString &key) {
        return counted(column(db, "SELECT " + key + ", COUNT(*) " +
                                      ScoresOfType.arg(join, QStringLiteral("'kill'")) +
                                      " GROUP BY " + key));
    };
    QJsonObject figures;
    figures["kills"] = count("'kill'");
    figures["teamkills"] = count("'teamkill'");
    figures["suicides"] = count("'suicide'");
    figures["assists"] = count("'assist'");
    figures["attacks"] = count("'attack', 'teamattack'");
    figures["damage"] = count("'attack', 'teamattack'", "COALESCE(SUM(s.Score), 0)");
    figures["headshots"] =
        number(db, "SELECT COUNT(*) " +
                       ScoresOfType.arg("JOIN Ledgerwell_Kills k ON k.Score = s.Record", "'kill'") +
                       " AND k.Headshot = 1");
    figures["kills_by_killer"] = per("JOIN Players p ON p.Record = s.Killer", "p.Player");
    figures["deaths_by_victim"] = per("JOIN Players p ON p.Record = s.Victim", "p.Player");
    figures["kills_by_weapon"] = per("JOIN Weapons w ON w.Record = s.Weapon", "w.Weapon");
    const QString pickups = QStringLiteral(
        "FROM Scores s JOIN Types t ON t.Record = s.Type WHERE t.Type LIKE 'picked up %'");
    figures["pickups"] = number(db, "SELECT COUNT(*) " + pickups);
    figures["pickup_healing"] = number(db, "SELECT COALESCE(SUM(s.Score), 0) " + pickups);
    figures["lives_by_class"] = counted(
        column(db, "SELECT SUBSTR(t.Type, 12), COUNT(*) FROM Scores s JOIN Types t ON t.Record = "
                   "s.Type WHERE t.Type LIKE 'spawned as %' GROUP BY t.Type"));
    figures["medic_scores"] = counted(
        column(db, "SELECT t.Type, SUM(s.Score) FROM Scores s JOIN Types t ON t.Record = s.Type "
                   "WHERE t.Type IN ('healed', 'medic_death') GROUP BY t.Type"));
    figures["round_wins"] = counted(column(
        db, "SELECT COALESCE(m.Map, '') || '|' || r.Team, COUNT(*) FROM Ledgerwell_Results r "
            "LEFT JOIN Games_Maps gm ON gm.Game = r.Game LEFT JOIN Maps m ON m.Record = gm.Map "
            "WHERE r.Kind = 'round' GROUP BY COALESCE(m.Map, '') || '|' || r.Team"));
    QJsonArray games;
    for (const QString &map : column(db, "SELECT COALESCE(m.Map, '-') FROM Games g "
                                         "LEFT JOIN Games_Maps gm ON gm.Game = g.Record "
                                         "LEFT JOIN Maps m ON m.Record = gm.Map ORDER BY g.Record"))
        games << (map == QLatin1String("-") ? QJsonValue() : QJsonValue(map));
    figures["games"] = games;
    QStringList players = column(db, "SELECT Player FROM Players");
    players.sort();
    figures["players"] = texts(players);
    QStringList weapons =
        column(db, "SELECT DISTINCT w.Weapon " +
                       ScoresOfType.arg("JOIN Weapons w ON w.Record = s.Weapon",
                                        "'kill', 'teamkill', 'suicide', 'attack', 'teamattack'"));
    weapons.sort();
    figures["weapons"] = texts(weapons);
    return figures;
}

// The README's SQL examples of questions the tables answer, one statement each.
QStringList readmeQueries()
{
    QFile readme(QStringLiteral(README_PATH));
    if (!readme.open(QIODevice::ReadOnly))
        return {QStringLiteral("README cannot be read")};
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype start = text.indexOf(
        QLatin1String("```sql\n"), text.indexOf(QLatin1String("Questions the tables answer")));
    const qsizetype end = text.indexOf(QLatin1String("```"), start + 7);
    QStringList queries;
    for (QString statement : text.mid(start + 7, end - start - 7).split(QLatin1Char(';'))) {
        QStringList lines;
        for (const QString &line : statement.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QLatin1String("--")))
                lines << line;
        }
        statement = lines.join(QLatin1Char('\n')).trimmed();
        if (!statement.isEmpty())
            queries << statement;
    }
    return queries;
}

// Differences between two figure sets, one line each, keys named.
QStringList differences(const QJsonObject &expected, const QJsonObject &stored)
{
    QStringList found;
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const QJsonValue want = expected.value(it.key());
        if (want == it.value())
            continue;
        if (want.isObject() && it.value().isObject()) {
            const QJsonObject a = want.toObject(), b = it.value().toObject();
            QStringList keys = a.keys() + b.keys();
            keys.removeDuplicates();
            for (const QString &key : keys) {
                if (a.value(key) != b.value(key))
                    found << QStringLiteral("%1[%2]: expected %3, stored %4")
                                 .arg(it.key(), key, a.value(key).toVariant().toString(),
                                      b.value(key).toVariant().toString());
            }
            continue;
        }
        found << QStringLiteral("%1: expected %2, stored %3")
                     .arg(it.key(),
                          QString::fromUtf8(
                              QJsonDocument(QJsonArray{want}).toJson(QJsonDocument::Compact))
                              .left(600),
                          QString::fromUtf8(
                              QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact))
                              .left(600));
    }
    return found;
}

} // namespace

// Logs that real CS2, CS:GO, TF2 and GoldSrc servers wrote (public fixtures of other log
// tools), replayed over UDP through the real program and Ledgerwell, each file as one game
// server into a database of its own; what is stored must equal what an independent
// calculator reads from the files.
class TestRealLogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_files = corpusFiles();
        QVERIFY2(m_files.size() >= 8, qPrintable(Corpus));
        QString error;
        m_expected = expectedFigures(m_files, error);
        QVERIFY2(!m_expected.isEmpty(), qPrintable(error));
        QCOMPARE(readmeQueries().size(), 4); // headshots, damage, assists, round wins
    }

    void coverageRejectsNoKindOfRealServers()
    {
        QProcess tool;
        tool.start(QStringLiteral(COVERAGE_PATH), m_files);
        QVERIFY(tool.waitForFinished(120000));
        QCOMPARE(tool.exitCode(), 0);
        const QString report = QString::fromUtf8(tool.readAllStandardOutput());
        // Lines that are no log lines at all: the continuation of a message with a line
        // break in it, and a file's cut-off last line.
        const QStringList allowed = {QStringLiteral("no time"),
                                     QStringLiteral("unreadable player token")};
        for (const QString &row : report.section(QStringLiteral("\n\n"), 0, 0).split('\n')) {
            const QStringList cells = row.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (cells.size() < 4 || cells.first() == QLatin1String("kind") ||
                cells.first() == QLatin1String("total") || cells.last() == QLatin1String("0"))
                continue;
            const QString kind = row.left(40).trimmed();
            QVERIFY2(allowed.contains(kind), qPrintable(report));
        }
    }

    void replayStoresWhatTheLogsSay_data()
    {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgres") << true;
    }
    void replayStoresWhatTheLogsSay()
    {
        QFETCH(bool, postgres);
        if (postgres && qEnvironmentVariableIsEmpty("VARNOCK_TEST_PG_PORT"))
            QSKIP("no PostgreSQL test server (scripts/test starts one)");
        std::vector<FileDatabase> databases = makeDatabases(postgres, m_files);
        QVERIFY(!databases.empty());
        Receiver receiver(m_dir.filePath(postgres ? "postgres" : "sqlite"),
                          QStringLiteral(LEDGERWELL_PATH));
        QStringList connections;
        for (FileDatabase &database : databases) {
            connections << database.connectionString;
            database.port = receiver.choosePorts(int(connections.size())).last();
        }
        QVERIFY2(receiver.start(connections, {"maxcon=" + QString::number(databases.size() + 1)}),
                 qPrintable(receiver.errors()));

        send(databases);
        awaitEveryLine(databases, receiver);
        if (QTest::currentTestFailed())
            return;

        QStringList failures;
        for (FileDatabase &database : databases) {
            const QString name = QFileInfo(database.file).fileName();
            // Every datagram is counted and archived, understood or not.
            QCOMPARE(number(database.db, "SELECT SUM(Packet_Number) FROM Servers"),
                     qint64(database.lines));
            QVERIFY2(m_expected.contains(database.file), qPrintable(database.file));
            const QJsonObject stored = storedFigures(database.db);
            qInfo("%s: %lld lines, %d kills, %d attacks, %d games, %d players", qPrintable(name),
                  qint64(database.lines), stored["kills"].toInt(), stored["attacks"].toInt(),
                  int(stored["games"].toArray().size()), int(stored["players"].toArray().size()));
            for (const QString &difference :
                 differences(m_expected.value(database.file).toObject(), stored))
                failures << name + ": " + difference;
            // The questions the README answers with SQL work on what was stored.
            if (name.startsWith(QLatin1String("vlf1991-kotnq1"))) {
                for (const QString &sql : readmeQueries()) {
                    const QStringList rows = column(database.db, sql);
                    if (rows.isEmpty() || rows.first().startsWith(QLatin1String("query failed")))
                        failures << "README query: " + rows.value(0) + " " + sql.left(80);
                }
            }
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 40).join('\n')));
    }

    // CS2 posts its log over HTTP. The real CS2 matches of the corpus, posted as CS2 posts
    // them, and a real capture of a CS2 server's posts store what the calculator reads from
    // the same lines; a post sent again is stored once, and a server is one server over
    // several connections.
    void httpReplayStoresWhatTheLogsSay_data() { replayStoresWhatTheLogsSay_data(); }
    void httpReplayStoresWhatTheLogsSay()
    {
        QFETCH(bool, postgres);
        if (postgres && qEnvironmentVariableIsEmpty("VARNOCK_TEST_PG_PORT"))
            QSKIP("no PostgreSQL test server (scripts/test starts one)");
        const QList<HttpLogPost> capture = readCapture(QStringLiteral(HTTP_CAPTURE));
        QCOMPARE(capture.size(), 14);
        const QString captureFile = m_dir.filePath(postgres ? "pg-capture.log" : "capture.log");
        QFile bodies(captureFile);
        QVERIFY(bodies.open(QIODevice::WriteOnly));
        for (const HttpLogPost &post : capture)
            bodies.write(post.body);
        bodies.close();
        QStringList files = m_files.filter(QStringLiteral("/cs2/"));
        QCOMPARE(files.size(), 2);
        files << captureFile;
        QString error;
        const QJsonObject expected = expectedFigures(files, error);
        QVERIFY2(!expected.isEmpty(), qPrintable(error));

        std::vector<FileDatabase> databases = makeDatabases(postgres, files, "http-");
        QVERIFY(!databases.empty());
        Receiver receiver(m_dir.filePath(postgres ? "http-postgres" : "http-sqlite"),
                          QStringLiteral(LEDGERWELL_PATH));
        QStringList connections;
        for (FileDatabase &database : databases) {
            connections << database.connectionString;
            database.port = receiver.choosePorts(int(connections.size())).last();
        }
        QVERIFY2(receiver.start(connections), qPrintable(receiver.errors()));
        for (FileDatabase &database : databases) {
            QList<HttpLogPost> posts =
                database.file == captureFile
                    ? capture
                    : postsOfLogLines(logLines(database.file), 40, "203.0.113.50:27015");
            posts.insert(3, posts.at(2)); // as after an answer the server did not receive
            const qsizetype half = posts.size() / 2;
            QList<int> statuses = sendPosts(database.port, posts.mid(0, half));
            statuses += sendPosts(database.port, posts.mid(half));
            QCOMPARE(statuses, QList<int>(posts.size(), 200));
        }
        awaitEveryLine(databases, receiver);
        if (QTest::currentTestFailed())
            return;

        QStringList failures;
        for (FileDatabase &database : databases) {
            const QString name = QFileInfo(database.file).fileName();
            QCOMPARE(number(database.db, "SELECT COUNT(*) FROM Servers"), 1);
            QCOMPARE(number(database.db, "SELECT SUM(Packet_Number) FROM Servers"),
                     qint64(database.lines));
            for (const QString &difference :
                 differences(expected.value(database.file).toObject(), storedFigures(database.db)))
                failures << name + ": " + difference;
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 40).join('\n')));
    }

private:
    // Waits until every line is archived in its database, then stops the program.
    static void awaitEveryLine(const std::vector<FileDatabase> &databases, Receiver &receiver)
    {
        for (const FileDatabase &database : databases) {
            QTRY_VERIFY2_WITH_TIMEOUT(number(database.db, "SELECT COUNT(*) FROM Logs") ==
                                          database.lines,
                                      qPrintable(database.file), 180000);
        }
        QVERIFY2(receiver.stop(), qPrintable(receiver.errors()));
    }

    std::vector<FileDatabase> makeDatabases(bool postgres, const QStringList &files,
                                            const QString &prefix = {})
    {
        std::vector<FileDatabase> databases;
        for (const QString &file : files) {
            FileDatabase database;
            database.file = file;
            database.lines = logLines(file).size();
            const QString connection = QUuid::createUuid().toString();
            if (postgres) {
                database.pg = std::make_unique<PgTestDatabase>();
                if (!database.pg->configured()) {
                    qWarning("no PostgreSQL test server (scripts/test starts one)");
                    return {};
                }
                if (!database.pg->ready()) {
                    qWarning("%s", qPrintable(database.pg->error()));
                    return {};
                }
                database.connectionString = database.pg->connString();
                database.db = database.pg->direct();
            } else {
                database.sqlitePath = m_dir.filePath(prefix + QFileInfo(file).baseName() + ".db");
                QFile empty(database.sqlitePath);
                empty.open(QIODevice::WriteOnly); // the program creates no database file
                database.connectionString = "Provider=SQLite;Data Source=" + database.sqlitePath;
                database.db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                database.db.setDatabaseName(database.sqlitePath);
                database.db.open();
            }
            databases.push_back(std::move(database));
        }
        return databases;
    }

    // Every file from a socket of its own, their lines interleaved, at a pace the loopback
    // and the program take without loss.
    static void send(const std::vector<FileDatabase> &databases)
    {
        struct Stream
        {
            QList<QByteArray> lines;
            bool goldSrc;
            std::unique_ptr<QUdpSocket> socket;
            qsizetype next = 0;
        };
        std::vector<Stream> streams;
        for (const FileDatabase &database : databases) {
            Stream stream{logLines(database.file),
                          database.file.contains("/cstrike/") || database.file.contains("/ns/"),
                          std::make_unique<QUdpSocket>()};
            stream.socket->bind(QHostAddress::LocalHost, 0);
            streams.push_back(std::move(stream));
        }
        bool more = true;
        for (int sent = 0; more; ++sent) {
            more = false;
            for (std::size_t i = 0; i < streams.size(); ++i) {
                Stream &stream = streams[i];
                if (stream.next >= stream.lines.size())
                    continue;
                const QByteArray &line = stream.lines[stream.next++];
                stream.socket->writeDatagram(stream.goldSrc ? Framed::hl1(line)
                                                            : Framed::source(line),
                                             QHostAddress::LocalHost, databases[i].port);
                more = true;
            }
            if (sent % 20 == 19)
                QThread::msleep(10);
        }
    }

    QTemporaryDir m_dir;
    QStringList m_files;
    QJsonObject m_expected;
};

VARNOCK_TEST_MAIN(TestRealLogs)
#include "tst_reallogs.moc"
