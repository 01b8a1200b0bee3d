#include "PgTestDatabase.h"
#include "RawHttp.h"
#include "StatsFixture.h"
#include "TestMain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

namespace {

// A player whose name is markup and SQL: it must come back as text, everywhere.
const QByteArray HostileName = "<script>alert(1)</script>' OR '1'='1; DROP TABLE Players;--";
const QByteArray HostileToken = HostileName + "<901><STEAM_1:0:9990001>";
const QByteArray VictimToken = "Victim & <b>co</b><902><STEAM_1:0:9990002>";

QList<QByteArray> hostileLines()
{
    return {"\"" + HostileToken + "<>\" entered the game",
            "\"" + VictimToken + "<>\" entered the game",
            "\"" + HostileToken + "<TERRORIST>\" [0 0 0] killed \"" + VictimToken +
                "<CT>\" [10 0 0] with \"ak47\" (headshot)",
            "\"" + HostileToken + "<TERRORIST>\" [0 0 0] killed \"" + VictimToken +
                "<CT>\" [10 0 0] with \"deagle\""};
}

// "player|count" per Players value, as the statistics tables say, read by plain SQL.
QHash<QString, qint64> countsBy(const QSqlDatabase &db, const QString &sql)
{
    QHash<QString, qint64> counts;
    QSqlQuery query(db);
    if (!query.exec(sql))
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toLongLong());
    return counts;
}

const QString KillsSql = QStringLiteral(
    "SELECT p.Player, COUNT(*) FROM Scores s JOIN Types t ON t.Record = s.Type JOIN Players p ON "
    "p.Record = s.Killer WHERE t.Type = 'kill' GROUP BY p.Player");
const QString DeathsSql = QStringLiteral(
    "SELECT p.Player, COUNT(*) FROM Scores s JOIN Types t ON t.Record = s.Type JOIN Players p ON "
    "p.Record = CASE WHEN t.Type = 'suicide' THEN s.Killer ELSE s.Victim END WHERE t.Type IN "
    "('kill', 'teamkill', 'suicide') GROUP BY p.Player");

struct Engine
{
    QSqlDatabase db;
    std::unique_ptr<StatsProcess> stats;
};

// Same-site links of a page, as a browser reads them (entities decoded).
QStringList links(const QByteArray &html)
{
    static const QRegularExpression attribute(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    QStringList found;
    for (const QRegularExpressionMatch &match : attribute.globalMatch(QString::fromUtf8(html))) {
        QString link = match.captured(1);
        link.replace(QLatin1String("&amp;"), QLatin1String("&"))
            .replace(QLatin1String("&#39;"), QLatin1String("'"))
            .replace(QLatin1String("&quot;"), QLatin1String("\""));
        if (link.startsWith(QLatin1Char('/')) && !link.startsWith(QLatin1String("//")))
            found << link;
    }
    return found;
}

// A page opened in headless Chromium: whether it started, the DOM, what the page wrote on the
// browser's console.
struct Browser
{
    bool started = false;
    QString dom, console;
};

Browser openInChromium(const QString &chromium, const QString &url)
{
    QTemporaryDir profile;
    QProcess process;
    process.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                             "--user-data-dir=" + profile.path(), "--enable-logging=stderr",
                             "--v=0", "--virtual-time-budget=3000", "--dump-dom", url});
    Browser result;
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        result.console = "no answer within 90 s";
        return result;
    }
    result.started = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    result.dom = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString &line : QString::fromUtf8(process.readAllStandardError()).split('\n')) {
        if (line.contains("CONSOLE") || line.contains("Refused") || !result.started)
            result.console += line + '\n';
    }
    return result;
}

} // namespace

// Logs a real CS:GO server wrote, with a player of our own whose name is markup and SQL,
// replayed through the real program and Ledgerwell into SQLite and PostgreSQL; the pages
// and the API served by varnock_stats over them must show the figures plain SQL finds there.
class TestStats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Receiver receiver(m_dir.filePath("receiver"), QStringLiteral(LEDGERWELL_PATH));
        const QString file = m_dir.filePath("stats.db");
        QFile empty(file);
        QVERIFY(empty.open(QIODevice::WriteOnly)); // the program creates no database file
        empty.close();
        QStringList connections{"Provider=SQLite;Data Source=" + file};
        if (m_pg.configured()) {
            QVERIFY2(m_pg.ready(), qPrintable(m_pg.error()));
            connections << m_pg.connString();
        }
        QVERIFY2(receiver.start(connections), qPrintable(receiver.errors()));
        const QList<QByteArray> lines = replayLines(
            QStringLiteral(REALLOGS_CORPUS "/csgo/vlf1991-kotnq2flog.log"), hostileLines());
        QVERIFY(lines.size() > 4000);
        for (const quint16 port : receiver.ports())
            sendLines(lines, port);

        QSqlDatabase sqlite = QSqlDatabase::addDatabase("QSQLITE", "check-sqlite");
        sqlite.setDatabaseName(file);
        QVERIFY(sqlite.open());
        m_engines["sqlite"].db = sqlite;
        if (m_pg.ready())
            m_engines["postgres"].db = m_pg.direct();
        for (auto &[name, engine] : m_engines) {
            QTRY_COMPARE_WITH_TIMEOUT(logRows(engine.db), qint64(lines.size()), 60000);
        }
        QVERIFY(receiver.stop());
        for (int i = 0; i < connections.size(); ++i) {
            Engine &engine = m_engines[i == 0 ? "sqlite" : "postgres"];
            engine.stats = std::make_unique<StatsProcess>(QStringList{connections.at(i)});
            QVERIFY2(engine.stats->waitCaughtUp(), qPrintable(engine.stats->errors()));
        }
    }

    void rankingsAgreeWithScores_data() { engineRows(); }
    void rankingsAgreeWithScores()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QHash<QString, qint64> kills = countsBy(engine.db, KillsSql);
        const QHash<QString, qint64> deaths = countsBy(engine.db, DeathsSql);
        QVERIFY(kills.size() >= 10);
        const qint64 mostKills = *std::max_element(kills.cbegin(), kills.cend());

        const QJsonArray byRating = engine.stats->get("/api/rankings?size=100").json().toArray();
        const QJsonArray byKills =
            engine.stats->get("/api/rankings?sort=kills&size=100").json().toArray();
        QVERIFY(byRating.size() >= 10);
        QCOMPARE(byKills.size(), byRating.size());
        QCOMPARE(byKills.first()["kills"].toInteger(), mostKills);
        QCOMPARE(kills.value(byKills.first()["player"].toString()), mostKills);
        for (const QJsonArray *list : {&byRating, &byKills}) {
            const char *key = list == &byRating ? "rating" : "kills";
            for (qsizetype i = 0; i < list->size(); ++i) {
                const QJsonObject row = list->at(i).toObject();
                const QString player = row["player"].toString();
                QCOMPARE(row["kills"].toInteger(), kills.value(player));
                QCOMPARE(row["deaths"].toInteger(), deaths.value(player));
                QVERIFY(qAbs(row["kd"].toDouble() -
                             double(kills.value(player)) / qMax<qint64>(1, deaths.value(player))) <
                        0.001);
                if (i > 0)
                    QVERIFY2(list->at(i - 1)[key].toDouble() >= row[key].toDouble(), key);
            }
        }
        // Nobody with a kill or a death is left out.
        QSet<QString> ranked;
        for (const QJsonValue &row : byRating)
            ranked.insert(row["player"].toString());
        for (const QString &player : kills.keys() + deaths.keys())
            QVERIFY2(ranked.contains(player) || byRating.size() == 100, qPrintable(player));
    }

    // The pages of a ranking, read one after another, are the whole ranking once, in order,
    // numbered on; the page count agrees with it, and a search still finds within it.
    void pagesSplitTheRanking_data() { engineRows(); }
    void pagesSplitTheRanking()
    {
        CURRENT_ENGINE(engine, m_engines);
        for (const QString sort : {"rating", "kd", "kills"}) {
            const QString base = "/api/rankings?sort=" + sort;
            const QJsonArray whole = engine.stats->get(base + "&size=100").json().toArray();
            QVERIFY(whole.size() >= 3 && whole.size() < 100);
            QJsonArray paged;
            for (int page = 1; page <= (whole.size() + 6) / 7 + 1; ++page) {
                for (const QJsonValue row :
                     engine.stats->get(base + "&size=7&page=" + QString::number(page))
                         .json()
                         .toArray())
                    paged.append(row);
            }
            QCOMPARE(paged, whole);
            for (qsizetype i = 0; i < whole.size(); ++i)
                QCOMPARE(whole.at(i)["rank"].toInteger(), i + 1);
            const QByteArray html = engine.stats->get("/?size=7&sort=" + sort).body;
            QVERIFY2(html.contains(QStringLiteral("of %1 · %2 players")
                                       .arg((whole.size() + 6) / 7)
                                       .arg(whole.size())
                                       .toUtf8()),
                     qPrintable(sort));
            const QString name = whole.last()["name"].toString();
            const QJsonArray found =
                engine.stats->get(base + "&q=" + QUrl::toPercentEncoding(name)).json().toArray();
            QVERIFY2(!found.isEmpty() && found.first()["name"].toString().contains(name),
                     qPrintable(name));
        }
    }

    void playerPageShowsHisWeapons_data() { engineRows(); }
    void playerPageShowsHisWeapons()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QJsonObject top = engine.stats->get("/api/rankings?sort=kills&size=1")
                                    .json()
                                    .toArray()
                                    .first()
                                    .toObject();
        const QJsonObject player =
            engine.stats->get("/api/player?id=" + QString::number(top["id"].toInteger()))
                .json()
                .toObject();
        QCOMPARE(player["player"], top["player"]);
        const QHash<QString, qint64> expected = countsBy(
            engine.db, QStringLiteral("SELECT w.Weapon, COUNT(*) FROM Scores s JOIN Types t ON "
                                      "t.Record = s.Type JOIN Weapons w ON w.Record = s.Weapon "
                                      "WHERE t.Type = 'kill' AND s.Killer = %1 GROUP BY w.Weapon")
                           .arg(top["id"].toInteger()));
        QHash<QString, qint64> shown;
        for (const QJsonValue &weapon : player["weapons"].toArray()) {
            if (weapon["kills"].toInteger() > 0)
                shown.insert(weapon["weapon"].toString(), weapon["kills"].toInteger());
        }
        QCOMPARE(shown, expected);
        QVERIFY(!player["names"].toArray().isEmpty());
        QVERIFY(!player["history"].toArray().isEmpty());
        QVERIFY(!player["opponents"].toArray().isEmpty());
        const HttpAnswer page =
            engine.stats->get("/player?id=" + QString::number(top["id"].toInteger()));
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("<svg class=\"chart\""));
        QVERIFY(page.body.contains("<polyline class=\"rating\""));
    }

    void hostileNameIsShownAsText_data() { engineRows(); }
    void hostileNameIsShownAsText()
    {
        CURRENT_ENGINE(engine, m_engines);
        const QJsonArray found = engine.stats->get("/api/rankings?q=DROP+TABLE").json().toArray();
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first()["name"].toString(), QString::fromUtf8(HostileName));
        QCOMPARE(found.first()["kills"].toInteger(), 2);
        const QString id = QString::number(found.first()["id"].toInteger());
        const QByteArray escapedName = "&lt;script&gt;alert(1)&lt;/script&gt;&#39; OR "
                                       "&#39;1&#39;=&#39;1; DROP TABLE Players;--";
        for (const QString &path : {QStringLiteral("/?q=DROP%20TABLE"), "/player?id=" + id}) {
            const HttpAnswer page = engine.stats->get(path);
            QCOMPARE(page.status, 200);
            QVERIFY2(page.body.contains(escapedName), qPrintable(path));
            QVERIFY2(!page.body.contains("<script"), qPrintable(path));
            QVERIFY2(!page.body.contains("<b>co</b>"), qPrintable(path));
        }
        QVERIFY(engine.stats->get("/player?id=" + id).body.contains("Victim &amp; &lt;b&gt;co"));
        QSqlQuery players(engine.db);
        QVERIFY(players.exec("SELECT COUNT(*) FROM Players") && players.next());
        QVERIFY(players.value(0).toInt() > 10);
    }

    void everyPageAnswers_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        for (const char *engine : {"sqlite", "postgres"}) {
            const auto row = [&](const char *path, int status) {
                QTest::addRow("%s %s", engine, path) << QString(engine) << QString(path) << status;
            };
            for (const char *path :
                 {"/", "/?sort=kd&page=2&size=5", "/?scope=mod:csgo", "/weapons", "/maps",
                  "/servers", "/games", "/live", "/player?id=1", "/api", "/api/databases",
                  "/api/rankings", "/api/scopes", "/api/player?id=1", "/api/weapons", "/api/maps",
                  "/api/servers", "/api/games", "/api/live"})
                row(path, 200);
            row("/style.css", 200);
            row("/nothing-here", 404);
            row("/api/player?id=999999999", 404);
            row("/player?id=abc", 400);
            row("/?page=0", 400);
            row("/api/rankings?size=1000", 400);
            row("/?scope=server:x", 400);
            row("/?db=7", 400);
            row("/api/rankings?sort=bogus", 400);
            row("/?sort=kills%27", 400);
        }
    }
    void everyPageAnswers()
    {
        QFETCH(QString, engine);
        QFETCH(QString, path);
        QFETCH(int, status);
        if (!m_engines.count(engine))
            QSKIP("No PostgreSQL test server (VARNOCK_TEST_PG_* unset); scripts/test starts one");
        const HttpAnswer answer = m_engines[engine].stats->get(path);
        QCOMPARE(answer.status, status);
        QVERIFY(answer.policy.contains("default-src 'none'"));
        if (path.startsWith("/api")) {
            QCOMPARE(answer.contentType, QByteArray("application/json"));
            QVERIFY(!answer.json().isUndefined());
            QVERIFY(!QJsonDocument::fromJson(answer.body).isNull());
        } else if (path != "/style.css") {
            QCOMPARE(answer.contentType, QByteArray("text/html; charset=utf-8"));
            QVERIFY(answer.body.trimmed().endsWith("</html>"));
        }
        if (status == 200 && path.startsWith("/api/")) {
            const QJsonValue value = answer.json();
            QVERIFY2(!value.toArray().isEmpty() || !value.toObject().isEmpty(), answer.body);
        }
    }

    // What a client that is no browser may send, raw, and what it must get.
    void httpHoldsItsLimits_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("allow");
        QTest::addColumn<bool>("closed"); // the server ends the connection after answering
        const QByteArray host = "Host: 127.0.0.1\r\n";
        QTest::newRow("GET") << "GET /api/live HTTP/1.1\r\n" + host + "\r\n"
                             << 200 << QByteArray() << false;
        QTest::newRow("HTTP/1.0 ends")
            << QByteArray("GET /api/live HTTP/1.0\r\n\r\n") << 200 << QByteArray() << true;
        QTest::newRow("Connection: close")
            << "GET /api/live HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n"
            << 200 << QByteArray() << true;
        QTest::newRow("POST, its body unread")
            << "POST / HTTP/1.1\r\n" + host + "Content-Length: 50000000\r\n\r\nabc" << 405
            << QByteArray("GET, HEAD") << true;
        QTest::newRow("DELETE") << "DELETE /api/live HTTP/1.1\r\n" + host + "\r\n"
                                << 405 << QByteArray("GET, HEAD") << true;
        QTest::newRow("GET with a body")
            << "GET / HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nabc" << 413 << QByteArray()
            << true;
        QTest::newRow("URL of 100 KB")
            << "GET /?q=" + QByteArray(100000, 'a') + " HTTP/1.1\r\n" + host + "\r\n"
            << 414 << QByteArray() << true;
        QTest::newRow("headers of 100 KB")
            << "GET / HTTP/1.1\r\n" + host + "X-Filler: " + QByteArray(100000, 'a') + "\r\n\r\n"
            << 431 << QByteArray() << true;
    }
    void httpHoldsItsLimits()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, allow);
        QFETCH(bool, closed);
        const quint16 port = QUrl(m_engines["sqlite"].stats->url()).port();
        const RawResponse response = await(rawExchange(port, {request}, 5000));
        QVERIFY(response.connected);
        QCOMPARE(response.status(), status);
        QCOMPARE(response.header("Allow"), allow);
        if (closed) {
            RawResponse more = await(rawExchange(port, {request, request}, 3000));
            QCOMPARE(more.answers.size(), 1); // no second answer on that connection
        } else {
            const RawResponse twice = await(rawExchange(port, {request, request}, 5000));
            QCOMPARE(twice.answers.size(), 2); // kept alive
        }
    }

    void headAnswersWithoutBody()
    {
        const quint16 port = QUrl(m_engines["sqlite"].stats->url()).port();
        const int fd = rawConnect(port);
        const QByteArray head = "HEAD /api/live HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
        QVERIFY(::send(fd, head.constData(), size_t(head.size()), 0) > 0);
        QByteArray answer;
        char chunk[4096];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
            answer.append(chunk, n);
        ::close(fd);
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
        QVERIFY(answer.endsWith("\r\n\r\n"));
        QVERIFY(answer.toLower().contains("content-length: "));
    }

    // One client holding many connections leaves room for everyone else.
    void oneAddressCannotHoldTheServer()
    {
        const quint16 port = QUrl(m_engines["sqlite"].stats->url()).port();
        std::vector<int> held;
        for (int i = 0; i < 100; ++i)
            held.push_back(rawConnect(port));
        // Past the limit for one address, connections are closed unanswered.
        RawResponse refused = await(rawExchange(port, {"GET /api/live HTTP/1.1\r\n\r\n"}, 3000));
        QCOMPARE(refused.answers.size(), 0);
        const int other = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000002); // 127.0.0.2: another client
        QCOMPARE(::bind(other, reinterpret_cast<sockaddr *>(&from), sizeof from), 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(other, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
        const QByteArray get = "GET /api/live HTTP/1.1\r\nHost: x\r\n\r\n";
        QVERIFY(::send(other, get.constData(), size_t(get.size()), 0) > 0);
        RawResponse served;
        rawRead(other, served, 1, 10000);
        ::close(other);
        QCOMPARE(served.status(), 200);
        // And a connection that sends nothing is closed in the end.
        RawResponse idle;
        rawRead(held.front(), idle, 1, 30000);
        QVERIFY(idle.closedByServer);
        for (const int fd : held)
            ::close(fd);
        // Once they are closed, this address is served again (the next case needs it).
        QTRY_COMPARE_WITH_TIMEOUT(m_engines["sqlite"].stats->get("/api/live").status, 200, 10000);
    }

    // Links followed from the front page (up to 300, three pages of each path expanded) lead
    // nowhere broken; in headless Chromium those pages report nothing on the browser's console
    // (a blocked style or script would be reported there).
    void linksAndBrowser()
    {
        StatsProcess &stats = *m_engines["sqlite"].stats;
        QStringList queue{QStringLiteral("/")}, broken;
        QSet<QString> seen{QStringLiteral("/")};
        QMap<QString, QString> pages; // path -> a link to it
        QHash<QString, int> expanded;
        for (qsizetype i = 0; i < queue.size(); ++i) {
            const HttpAnswer answer = stats.get(queue.at(i));
            if (answer.status != 200) {
                broken << QStringLiteral("%1 (%2)").arg(queue.at(i)).arg(answer.status);
                continue;
            }
            const QString path = queue.at(i).section(QLatin1Char('?'), 0, 0);
            if (!answer.contentType.startsWith("text/html") || ++expanded[path] > 3)
                continue;
            pages.insert(path, queue.at(i));
            for (const QString &next : links(answer.body)) {
                if (!seen.contains(next) && seen.size() < 300) {
                    seen.insert(next);
                    queue << next;
                }
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join('\n')));
        for (const char *path : {"/", "/player", "/game", "/weapons", "/maps", "/servers", "/games",
                                 "/live", "/awards", "/compare"})
            QVERIFY2(pages.contains(path), path);

        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/setup installs it); browser part skipped");
        if (const Browser probe = openInChromium(chromium, "about:blank"); !probe.started)
            QSKIP(qPrintable("chromium cannot start here; browser part skipped: " + probe.console));
        for (auto it = pages.cbegin(); it != pages.cend(); ++it) {
            const Browser page = openInChromium(chromium, stats.url() + it.value());
            QVERIFY2(page.started, qPrintable(it.value() + ": " + page.console));
            QVERIFY2(page.dom.contains("</main>"), qPrintable(it.value()));
            QVERIFY2(!page.console.contains("CONSOLE") && !page.console.contains("Refused"),
                     qPrintable(it.value() + ": " + page.console));
        }
    }

    void failuresAreMessages_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString notDb = m_dir.filePath("notes.txt");
        QFile notes(notDb);
        notes.open(QIODevice::WriteOnly);
        notes.write("these are no tables\n");
        QTest::newRow("listen nonsense") << QStringList{"--listen", "nowhere"} << "--listen wants";
        QTest::newRow("listen port")
            << QStringList{"--listen", "127.0.0.1:70000"} << "--listen wants";
        QTest::newRow("unknown option") << QStringList{"--colour"} << "unknown option";
        QTest::newRow("missing file")
            << QStringList{"--database", "Provider=SQLite;Data Source=" + m_dir.filePath("no.db")}
            << "there is no database file";
        QTest::newRow("not a database")
            << QStringList{"--database", "Provider=SQLite;Data Source=" + notDb}
            << "no SQLite database";
        QTest::newRow("unknown provider")
            << QStringList{"--database", "Provider=Oracle;Data Source=x"} << "not the provider";
        QVERIFY(m_portHolder.listen(QHostAddress::LocalHost, 0));
        QTest::newRow("port in use")
            << QStringList{"--listen",
                           QStringLiteral("127.0.0.1:%1").arg(m_portHolder.serverPort()),
                           "--database",
                           "Provider=SQLite;Data Source=" + m_dir.filePath("stats.db")}
            << "cannot listen on";
    }
    void failuresAreMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QProcess stats;
        stats.start(QStringLiteral(STATS_EXECUTABLE), arguments);
        QVERIFY(stats.waitForFinished(20000));
        QCOMPARE(stats.exitStatus(), QProcess::NormalExit);
        QVERIFY(stats.exitCode() != 0);
        const QString errors = QString::fromUtf8(stats.readAllStandardError());
        QVERIFY2(errors.contains(message), qPrintable(errors));
    }

private:
    QTemporaryDir m_dir;
    PgTestDatabase m_pg;
    std::map<QString, Engine> m_engines;
    QTcpServer m_portHolder;
};

VARNOCK_TEST_MAIN(TestStats)
#include "tst_stats.moc"
