#include "Framed.h"
#include "HttpLogPosts.h"
#include "LogCalculator.h"
#include "LogLines.h"
#include "ReceiverProcess.h"
#include "ReplayHarness.h"
#include "TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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

const QString ScoresOfType =
    QStringLiteral("FROM Scores s JOIN Types t ON t.Record = s.Type %1 WHERE t.Type IN (%2)");

// The same figures as expected.py prints, read from what Ledgerwell stored.
QJsonObject storedFigures(const QSqlDatabase &db)
{
    const auto count = [&](const QString &types, const QString &what = QStringLiteral("COUNT(*)")) {
        return storedNumber(db, "SELECT " + what + " " + ScoresOfType.arg(QString(), types));
    };
    const auto per = [&](const QString &join, const QString &key) {
        return counted(storedRows(db, "SELECT " + key + ", COUNT(*) " +
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
    figures["headshots"] = storedNumber(
        db, "SELECT COUNT(*) " +
                ScoresOfType.arg("JOIN Ledgerwell_Kills k ON k.Score = s.Record", "'kill'") +
                " AND k.Headshot = 1");
    figures["kills_by_killer"] = per("JOIN Players p ON p.Record = s.Killer", "p.Player");
    figures["deaths_by_victim"] = per("JOIN Players p ON p.Record = s.Victim", "p.Player");
    figures["kills_by_weapon"] = per("JOIN Weapons w ON w.Record = s.Weapon", "w.Weapon");
    const QString pickups = QStringLiteral(
        "FROM Scores s JOIN Types t ON t.Record = s.Type WHERE t.Type LIKE 'picked up %'");
    figures["pickups"] = storedNumber(db, "SELECT COUNT(*) " + pickups);
    figures["pickup_healing"] = storedNumber(db, "SELECT COALESCE(SUM(s.Score), 0) " + pickups);
    figures["lives_by_class"] = counted(storedRows(
        db, "SELECT SUBSTR(t.Type, 12), COUNT(*) FROM Scores s JOIN Types t ON t.Record = "
            "s.Type WHERE t.Type LIKE 'spawned as %' GROUP BY t.Type"));
    figures["medic_scores"] = counted(storedRows(
        db, "SELECT t.Type, SUM(s.Score) FROM Scores s JOIN Types t ON t.Record = s.Type "
            "WHERE t.Type IN ('healed', 'medic_death') GROUP BY t.Type"));
    figures["round_wins"] = counted(storedRows(
        db, "SELECT COALESCE(m.Map, '') || '|' || r.Team, COUNT(*) FROM Ledgerwell_Results r "
            "LEFT JOIN Games_Maps gm ON gm.Game = r.Game LEFT JOIN Maps m ON m.Record = gm.Map "
            "WHERE r.Kind = 'round' GROUP BY COALESCE(m.Map, '') || '|' || r.Team"));
    QJsonArray games;
    for (const QString &map :
         storedRows(db, "SELECT COALESCE(m.Map, '-') FROM Games g "
                        "LEFT JOIN Games_Maps gm ON gm.Game = g.Record "
                        "LEFT JOIN Maps m ON m.Record = gm.Map ORDER BY g.Record"))
        games << (map == QLatin1String("-") ? QJsonValue() : QJsonValue(map));
    figures["games"] = games;
    QStringList players = storedRows(db, "SELECT Player FROM Players");
    players.sort();
    figures["players"] = QJsonArray::fromStringList(players);
    QStringList weapons = storedRows(
        db, "SELECT DISTINCT w.Weapon " +
                ScoresOfType.arg("JOIN Weapons w ON w.Record = s.Weapon",
                                 "'kill', 'teamkill', 'suicide', 'attack', 'teamattack'"));
    weapons.sort();
    figures["weapons"] = QJsonArray::fromStringList(weapons);
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
    const auto shown = [](const QJsonValue &value) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
            .left(600);
    };
    QStringList found;
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const QJsonValue want = expected.value(it.key());
        if (want.isObject() && it.value().isObject()) {
            const QJsonObject a = want.toObject(), b = it.value().toObject();
            QStringList keys = a.keys() + b.keys();
            keys.removeDuplicates();
            for (const QString &key : keys) {
                if (a.value(key) != b.value(key))
                    found << QStringLiteral("%1[%2]: expected %3, stored %4")
                                 .arg(it.key(), key, shown(a.value(key)), shown(b.value(key)));
            }
        } else if (want != it.value()) {
            found << QStringLiteral("%1: expected %2, stored %3")
                         .arg(it.key(), shown(want), shown(it.value()));
        }
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
        m_expected = calculated(m_files, error);
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
    // Every file from a socket of its own, their lines interleaved.
    void replayStoresWhatTheLogsSay()
    {
        QFETCH(bool, postgres);
        if (postgres && qEnvironmentVariableIsEmpty("VARNOCK_TEST_PG_PORT"))
            QSKIP("no PostgreSQL test server (scripts/test starts one)");
        const auto send = [&](const QList<quint16> &ports) {
            QList<QList<QByteArray>> streams;
            for (const QString &file : std::as_const(m_files)) {
                const bool goldSrc = file.contains("/cstrike/") || file.contains("/ns/");
                QList<QByteArray> datagrams;
                for (const QByteArray &line : logLines(file))
                    datagrams << (goldSrc ? Framed::hl1(line) : Framed::source(line));
                streams << datagrams;
            }
            sendInterleaved(streams, ports);
        };
        // The questions the README answers with SQL work on what was stored.
        const auto check = [](const QString &name, const ReplayDatabase &database) {
            QStringList failures;
            if (!name.startsWith(QLatin1String("vlf1991-kotnq1")))
                return failures;
            for (const QString &sql : readmeQueries()) {
                const QStringList rows = database.rows(sql);
                if (rows.isEmpty() || rows.first().startsWith(QLatin1String("query failed")))
                    failures << "README query: " + rows.value(0) + " " + sql.left(80);
            }
            return failures;
        };
        replay(postgres, m_files, m_expected, send, check);
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
        const QJsonObject expected = calculated(files, error);
        QVERIFY2(!expected.isEmpty(), qPrintable(error));

        const auto send = [&](const QList<quint16> &ports) {
            for (qsizetype i = 0; i < files.size(); ++i) {
                QList<HttpLogPost> posts =
                    files[i] == captureFile
                        ? capture
                        : postsOfLogLines(logLines(files[i]), 40, "203.0.113.50:27015");
                posts.insert(3, posts.at(2)); // as after an answer the server did not receive
                const qsizetype half = posts.size() / 2;
                QList<int> statuses = sendPosts(ports[i], posts.mid(0, half));
                statuses += sendPosts(ports[i], posts.mid(half));
                QCOMPARE(statuses, QList<int>(posts.size(), 200));
            }
        };
        const auto check = [](const QString &name, const ReplayDatabase &database) {
            const qint64 servers = database.number(QStringLiteral("SELECT COUNT(*) FROM Servers"));
            return servers == 1 ? QStringList()
                                : QStringList{name + ": " + QString::number(servers) + " servers"};
        };
        replay(postgres, files, expected, send, check);
    }

private:
    using Check = std::function<QStringList(const QString &name, const ReplayDatabase &)>;

    // Each file into a database of its own through one program with a port for each, which
    // `send` is given in the files' order; once every line is archived and the program has
    // stopped, what is stored must be what the calculator read, and pass `check`.
    void replay(bool postgres, const QStringList &files, const QJsonObject &expected,
                const std::function<void(const QList<quint16> &)> &send, const Check &check)
    {
        const QString folder = m_dir.filePath(QUuid::createUuid().toString(QUuid::Id128));
        QVERIFY(QDir().mkpath(folder));
        std::vector<std::unique_ptr<ReplayDatabase>> databases;
        QStringList connections;
        for (const QString &file : files) {
            QString error;
            databases.push_back(ReplayDatabase::make(
                postgres, folder + "/" + QFileInfo(file).baseName() + ".db", error));
            QVERIFY2(databases.back(), qPrintable(error));
            connections << databases.back()->connectionString();
        }
        Receiver receiver(folder, QStringLiteral(LEDGERWELL_PATH));
        QVERIFY2(receiver.start(connections, {"maxcon=" + QString::number(files.size() + 1)}),
                 qPrintable(receiver.errors()));
        send(receiver.ports());
        if (QTest::currentTestFailed())
            return;
        for (std::size_t i = 0; i < databases.size(); ++i)
            QVERIFY2(databases[i]->awaitLogs(logLines(files[i]).size(), 180000),
                     qPrintable(files[i]));
        QVERIFY2(receiver.stop(), qPrintable(receiver.errors()));

        QStringList failures;
        for (std::size_t i = 0; i < databases.size(); ++i) {
            const ReplayDatabase &database = *databases[i];
            const QString name = QFileInfo(files[i]).fileName();
            const qint64 lines = logLines(files[i]).size();
            // Every datagram is counted and archived, understood or not.
            QCOMPARE(database.number("SELECT SUM(Packet_Number) FROM Servers"), lines);
            QVERIFY2(expected.contains(files[i]), qPrintable(files[i]));
            const QJsonObject stored = storedFigures(database.db());
            qInfo("%s: %lld lines, %d kills, %d attacks, %d games, %d players", qPrintable(name),
                  lines, stored["kills"].toInt(), stored["attacks"].toInt(),
                  int(stored["games"].toArray().size()), int(stored["players"].toArray().size()));
            for (const QString &difference :
                 differences(expected.value(files[i]).toObject(), stored))
                failures << name + ": " + difference;
            failures += check(name, database);
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 40).join('\n')));
    }

    QTemporaryDir m_dir;
    QStringList m_files;
    QJsonObject m_expected;
};

VARNOCK_TEST_MAIN(TestRealLogs)
#include "tst_reallogs.moc"
