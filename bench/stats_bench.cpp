// Fills an SQLite statistics database with many players and Scores rows, as Ledgerwell
// would have written them, starts varnock_stats on it and times the rankings page and API
// over HTTP. Prints figures; asserts nothing.
//
//   varnock_stats_bench [--players N] [--scores N] [--requests N] [--file PATH] [--reuse]
//                       [--fill-only]

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QTextStream out(stdout);

struct Statement
{
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &handle, nullptr); }
    ~Statement() { sqlite3_finalize(handle); }
    Statement &bind(int i, qint64 v)
    {
        sqlite3_bind_int64(handle, i, v);
        return *this;
    }
    Statement &bind(int i, double v)
    {
        sqlite3_bind_double(handle, i, v);
        return *this;
    }
    Statement &bind(int i, const QByteArray &v)
    {
        sqlite3_bind_text(handle, i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    void run()
    {
        sqlite3_step(handle);
        sqlite3_reset(handle);
    }
    sqlite3_stmt *handle = nullptr;
};

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        out << "SQL failed: " << error << " in " << sql << Qt::endl;
        sqlite3_free(error);
        std::exit(1);
    }
}

// The 17 tables as the program creates them on SQLite, and Ledgerwell's two of them used here.
const char *Schema = R"sql(
CREATE TABLE Cvars (Record INTEGER CONSTRAINT CU1 UNIQUE, Cvar VARCHAR (50), Val VARCHAR (250), Date_Time DATETIME);
CREATE TABLE Games (Record INTEGER CONSTRAINT CU2 UNIQUE, StdLog_Ver VARCHAR (50), Patch_Name VARCHAR (50), Game_Start_Date_Time DATETIME, Game_End_Date_Time DATETIME, Game_Flags INTEGER);
CREATE TABLE Games_Cvars (Record INTEGER CONSTRAINT CU3 UNIQUE, Game INTEGER, Cvar INTEGER);
CREATE TABLE Games_Maps (Record INTEGER CONSTRAINT CU4 UNIQUE, Game INTEGER, Map INTEGER);
CREATE TABLE Games_Players_Cvars (Record INTEGER CONSTRAINT CU5 UNIQUE, Game INTEGER, Player INTEGER, Cvar INTEGER);
CREATE TABLE Games_Players_Teams (Record INTEGER CONSTRAINT CU6 UNIQUE, Game INTEGER, Player INTEGER, Team INTEGER);
CREATE TABLE Logs (Record INTEGER CONSTRAINT CU7 UNIQUE, Log_IP VARCHAR (50), Log_Port INTEGER, Log_Data BLOB, Log_Date DATETIME);
CREATE TABLE Logs_Games (Record INTEGER CONSTRAINT CU8 UNIQUE, Log INTEGER, Game INTEGER);
CREATE TABLE Maps (Record INTEGER CONSTRAINT CU9 UNIQUE, Map VARCHAR (128), Date_Time DATETIME);
CREATE TABLE Players (Record INTEGER CONSTRAINT CU10 UNIQUE, Player VARCHAR (50), Date_Time DATETIME);
CREATE TABLE Scores (Record INTEGER CONSTRAINT CU11 UNIQUE, Killer INTEGER, Victim INTEGER, Type INTEGER, Weapon INTEGER, Score INTEGER, Offset REAL);
CREATE TABLE Servers (Record INTEGER CONSTRAINT CU12 UNIQUE, Server_Name VARCHAR (128), Server_IP VARCHAR (16), Server_Port VARCHAR (6), Packet_Number INTEGER, Date_Time DATETIME);
CREATE TABLE Servers_Cvars (Record INTEGER CONSTRAINT CU13 UNIQUE, Server INTEGER, Cvar INTEGER);
CREATE TABLE Servers_Games (Record INTEGER CONSTRAINT CU14 UNIQUE, Server INTEGER, Game INTEGER);
CREATE TABLE Teams (Record INTEGER CONSTRAINT CU15 UNIQUE, Team VARCHAR (50), Date_Time DATETIME);
CREATE TABLE Types (Record INTEGER CONSTRAINT CU16 UNIQUE, Type VARCHAR (50), Date_Time DATETIME);
CREATE TABLE Weapons (Record INTEGER CONSTRAINT CU17 UNIQUE, Weapon VARCHAR (50), Date_Time DATETIME);
CREATE TABLE Ledgerwell_Kills (Record INTEGER PRIMARY KEY, Score INTEGER, Game INTEGER, Headshot INTEGER, Flags TEXT, Killer_Position TEXT, Victim_Position TEXT);
CREATE TABLE Ledgerwell_Results (Record INTEGER PRIMARY KEY, Game INTEGER, Kind TEXT, Team TEXT, Result TEXT, Score TEXT, Date_Time DATETIME);
)sql";

void fill(const QString &file, qint64 players, qint64 scores)
{
    QFile::remove(file);
    sqlite3 *db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-400000;");
    exec(db, Schema);
    exec(db, "BEGIN");
    const QByteArray when = "2024-05-01 20:00:00";
    for (const char *type : {"kill", "attack", "assist", "suicide"})
        Statement(db, "INSERT INTO Types VALUES ((SELECT COUNT(*) + 1 FROM Types), ?, ?)")
            .bind(1, QByteArray(type))
            .bind(2, when)
            .run();
    for (int i = 1; i <= 20; ++i)
        Statement(db, "INSERT INTO Weapons VALUES (?, ?, ?)")
            .bind(1, qint64(i))
            .bind(2, "weapon_" + QByteArray::number(i))
            .bind(3, when)
            .run();
    for (int i = 1; i <= 10; ++i)
        Statement(db, "INSERT INTO Maps VALUES (?, ?, ?)")
            .bind(1, qint64(i))
            .bind(2, "de_map" + QByteArray::number(i))
            .bind(3, when)
            .run();
    for (int i = 1; i <= 4; ++i)
        Statement(db, "INSERT INTO Servers VALUES (?, ?, '127.0.0.1', ?, 0, ?)")
            .bind(1, qint64(i))
            .bind(2, "Server " + QByteArray::number(i))
            .bind(3, QByteArray::number(27014 + i))
            .bind(4, when)
            .run();
    exec(db, "INSERT INTO Teams VALUES (1, 'CT', '2024-05-01'), (2, 'TERRORIST', '2024-05-01')");
    {
        Statement player(db, "INSERT INTO Players VALUES (?, ?, ?)");
        Statement cvar(db, "INSERT INTO Cvars VALUES (?, 'name', ?, ?)");
        for (qint64 p = 1; p <= players; ++p) {
            player.bind(1, p)
                .bind(2, "STEAM_1:0:" + QByteArray::number(1000000 + p))
                .bind(3, when)
                .run();
            cvar.bind(1, p).bind(2, "Player " + QByteArray::number(p)).bind(3, when).run();
        }
    }
    constexpr int PerGame = 20, ScoresPerGame = 1000, RoundsPerGame = 20;
    const qint64 games = std::max<qint64>(1, scores / ScoresPerGame);
    Statement game(db, "INSERT INTO Games VALUES (?, '8012', 'csgo', ?, ?, 2)");
    Statement gameMap(db, "INSERT INTO Games_Maps VALUES (?, ?, ?)");
    Statement serverGame(db, "INSERT INTO Servers_Games VALUES (?, ?, ?)");
    Statement team(db, "INSERT INTO Games_Players_Teams VALUES (?, ?, ?, ?)");
    Statement name(db, "INSERT INTO Games_Players_Cvars VALUES (?, ?, ?, ?)");
    Statement score(db, "INSERT INTO Scores VALUES (?, ?, ?, ?, ?, ?, ?)");
    Statement kill(
        db, "INSERT INTO Ledgerwell_Kills (Record, Score, Game, Headshot) VALUES (?, ?, ?, ?)");
    Statement round(db, "INSERT INTO Ledgerwell_Results (Record, Game, Kind, Team, Date_Time) "
                        "VALUES (?, ?, 'round', ?, ?)");
    QRandomGenerator random(42);
    qint64 scoreRecord = 0, killRecord = 0, teamRecord = 0, nameRecord = 0, roundRecord = 0;
    for (qint64 g = 1; g <= games && scoreRecord < scores; ++g) {
        // Each of the four servers plays its games one after another, 2,000 s each.
        const QDateTime began = QDateTime(QDate(2024, 5, 1), QTime(20, 0)).addSecs(g / 4 * 2100);
        const auto text = [](const QDateTime &time) {
            return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
        };
        const QByteArray start = text(began);
        game.bind(1, g).bind(2, start).bind(3, text(began.addSecs(ScoresPerGame * 2))).run();
        gameMap.bind(1, g).bind(2, g).bind(3, qint64(1 + g % 10)).run();
        serverGame.bind(1, g).bind(2, qint64(1 + g % 4)).bind(3, g).run();
        std::vector<qint64> in;
        for (int i = 0; i < PerGame; ++i) {
            const qint64 p = 1 + qint64(random.bounded(quint64(players)));
            in.push_back(p);
            team.bind(1, ++teamRecord).bind(2, g).bind(3, p).bind(4, qint64(1 + i % 2)).run();
            name.bind(1, ++nameRecord).bind(2, g).bind(3, p).bind(4, p).run();
        }
        for (int s = 0; s < ScoresPerGame && scoreRecord < scores; ++s) {
            const int a = int(random.bounded(PerGame));
            const int b = (a + 1 + 2 * int(random.bounded(PerGame / 2 - 1))) % PerGame;
            const int dice = int(random.bounded(100));
            const qint64 type = dice < 60 ? 1 : dice < 90 ? 2 : dice < 98 ? 3 : 4;
            const qint64 killer = in[std::size_t(a)],
                         victim = type == 4 ? killer : in[std::size_t(b)];
            score.bind(1, ++scoreRecord)
                .bind(2, killer)
                .bind(3, victim)
                .bind(4, type)
                .bind(5, qint64(1 + random.bounded(20)))
                .bind(6, type == 2 ? qint64(random.bounded(100)) : qint64(1))
                .bind(7, double(s) * 2.0)
                .run();
            if (type == 1)
                kill.bind(1, ++killRecord)
                    .bind(2, scoreRecord)
                    .bind(3, g)
                    .bind(4, qint64(random.bounded(100) < 30))
                    .run();
        }
        for (int r = 0; r < RoundsPerGame; ++r)
            round.bind(1, ++roundRecord)
                .bind(2, g)
                .bind(3, QByteArray(r % 2 ? "CT" : "TERRORIST"))
                .bind(4, text(began.addSecs((r + 1) * ScoresPerGame * 2 / RoundsPerGame)))
                .run();
    }
    exec(db, "COMMIT");
    exec(db, "PRAGMA journal_mode=WAL");
    sqlite3_close(db);
}

// One GET over a fresh connection, as a browser without keep-alive makes it; the whole
// answer read. Milliseconds, or -1.
double timedGet(quint16 port, const QByteArray &path, QByteArray *body = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return -1;
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // The server may keep the connection open: the answer ends where Content-Length says.
    QByteArray answer;
    qsizetype expected = -1;
    while (expected < 0 || answer.size() < expected) {
        if (!socket.waitForReadyRead(30000))
            break;
        answer += socket.readAll();
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.toLower().indexOf("content-length:");
        if (expected < 0 && headEnd > 0 && length > 0 && length < headEnd)
            expected = headEnd + 4 +
                       answer.mid(length + 15, answer.indexOf("\r\n", length) - length - 15)
                           .trimmed()
                           .toLongLong();
    }
    if (body)
        *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.startsWith("HTTP/1.1 200") ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

void report(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) {
        return times[std::min(times.size() - 1, std::size_t(q * double(times.size())))];
    };
    out << QString::asprintf("%-34s n=%zu median %.1f ms  p95 %.1f ms  max %.1f ms\n", what,
                             times.size(), at(0.5), at(0.95), times.back());
    out.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qint64 players = 100000, scores = 10000000;
    int requests = 200;
    QString file = QStringLiteral("/tmp/varnock_stats_bench.db");
    bool reuse = false, fillOnly = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--players" && i + 1 < args.size())
            players = args[++i].toLongLong();
        else if (args[i] == "--scores" && i + 1 < args.size())
            scores = args[++i].toLongLong();
        else if (args[i] == "--requests" && i + 1 < args.size())
            requests = args[++i].toInt();
        else if (args[i] == "--file" && i + 1 < args.size())
            file = args[++i];
        else if (args[i] == "--reuse")
            reuse = true;
        else if (args[i] == "--fill-only")
            fillOnly = true;
        else {
            out << "usage: varnock_stats_bench [--players N] [--scores N] [--requests N] [--file "
                   "PATH] [--reuse] [--fill-only]\n";
            return 2;
        }
    }
    QElapsedTimer timer;
    if (!reuse || !QFile::exists(file)) {
        timer.start();
        fill(file, players, scores);
        out << QString::asprintf("filled %s: %lld players, %lld Scores rows in %.1f s\n",
                                 qPrintable(file), players, scores, double(timer.elapsed()) / 1000);
        out.flush();
    }
    if (fillOnly)
        return 0;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess stats;
    stats.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    timer.start();
    stats.start(QStringLiteral(STATS_EXECUTABLE),
                {"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--database",
                 "Provider=SQLite;Data Source=" + file});
    // When the writer had read how many Scores rows: its reading rate, apart from the index
    // builds before and the final store after.
    std::vector<std::pair<qint64, qint64>> progress;
    for (;;) {
        QByteArray body;
        if (timedGet(port, "/api/databases", &body) >= 0) {
            const QJsonObject state = QJsonDocument::fromJson(body).array().first().toObject();
            progress.emplace_back(timer.elapsed(), state.value("scores_read").toInteger());
            if (state.value("caught_up").toBool())
                break;
        }
        if (stats.state() == QProcess::NotRunning) {
            out << "varnock_stats ended\n";
            return 1;
        }
        QThread::msleep(500);
    }
    const auto first = std::find_if(progress.cbegin(), progress.cend(),
                                    [](const auto &seen) { return seen.second > 0; });
    const auto last = std::find_if(progress.cbegin(), progress.cend(), [&](const auto &seen) {
        return seen.second == progress.back().second;
    });
    const bool computed = first != progress.cend();
    out << QString::asprintf(computed
                                 ? "standings and ratings computed (indexes included) in %.1f s\n"
                                 : "standings read back from the database in %.1f s\n",
                             double(timer.elapsed()) / 1000);
    if (computed && last->first > first->first)
        out << QString::asprintf("Scores rows read at %.0f rows/s (from %.1f s to %.1f s, "
                                 "sampled every 0.5 s)\n",
                                 double(last->second - first->second) * 1000.0 /
                                     double(last->first - first->first),
                                 double(first->first) / 1000, double(last->first) / 1000);
    out.flush();
    for (const auto &[what, path] : std::vector<std::pair<const char *, QByteArray>>{
             {"GET /api/rankings", "/api/rankings"},
             {"GET / (rankings page, HTML)", "/"},
             {"GET /?sort=kills", "/?sort=kills"},
             {"GET /?sort=kd&page=500", "/?sort=kd&page=500"},
             {"GET /?sort=time&page=1990 (last)", "/?sort=time&page=1990"},
             {"GET /?q=Player 4711", "/?q=Player%204711"},
             {"GET /player?id=4711", "/player?id=4711"},
             {"GET /player?id=21955 (most games and kills)", "/player?id=21955"},
             {"GET /game?id=5000 (match page)", "/game?id=5000"},
             {"GET /api/game?id=5000", "/api/game?id=5000"},
             {"GET /awards", "/awards"},
             {"GET /compare?id=4711&vs=21955", "/compare?id=4711&vs=21955"},
             {"GET /live", "/live"}}) {
        std::vector<double> times;
        for (int i = 0; i < requests; ++i) {
            const double ms = timedGet(port, path);
            if (ms < 0) {
                out << what << ": failed\n";
                break;
            }
            times.push_back(ms);
        }
        if (!times.empty())
            report(what, times);
    }
    stats.terminate();
    stats.waitForFinished(10000);
    return 0;
}
