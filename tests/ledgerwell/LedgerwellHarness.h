#pragma once

#include "database/StatisticsSchema.h"

#include "Framed.h"
#include "LedgerwellCounters.h"
#include "PgTestDatabase.h"

#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "state/MainModule.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUdpSocket>

#include <memory>

QList<QByteArray> fixtureLines(const QString &name);

// A database of the test's own, with the statistics tables made the way the program makes
// them: an SQLite file, or a PostgreSQL database on the test server.
class TestDatabase
{
public:
    enum class Engine { Sqlite, Postgres };

    // A fresh database; for PostgreSQL without a test server the test is skipped, and when
    // the database cannot be made it fails. Either way the caller gets nothing and returns.
    static std::unique_ptr<TestDatabase> make(Engine engine, const QString &folder,
                                              const QStringList &without = {});
    ~TestDatabase();

    QString connectionString() const { return m_connectionString; }
    QSqlDatabase db() const { return m_db; }
    qint64 count(const QString &table) const;
    QList<qint64> counts() const; // every statistics table, in the program's order
    // Rows as text: NULL, numbers, dates "yyyy-MM-dd HH:mm:ss", bytes as x<hex>.
    QList<QStringList> rows(const QString &sql) const;
    QString value(const QString &sql) const;
    bool execute(const QString &sql, QString &error) const;

private:
    TestDatabase() = default;

    std::unique_ptr<PgTestDatabase> m_pg;
    QString m_sqliteConnection;
    QString m_connectionString;
    QSqlDatabase m_db;
};

using Engine = TestDatabase::Engine;

// A fresh database named `db` for the test, which ends here when there is none.
#define TEST_DATABASE(db, ...)                                                                     \
    const std::unique_ptr<TestDatabase> db = TestDatabase::make(__VA_ARGS__);                      \
    if (!db)                                                                                       \
    return

inline QString engineName(Engine engine)
{
    return engine == Engine::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgres");
}

// A data table of one column, the engine, with a row for each.
inline void addEngineRows()
{
    QTest::addColumn<Engine>("engine");
    for (const Engine engine : {Engine::Sqlite, Engine::Postgres})
        QTest::newRow(qPrintable(engineName(engine))) << engine;
}

// Statistics table counts after hl1_match.log, in the program's table order (Cvars, Games,
// Games_Cvars, Games_Maps, Games_Players_Cvars, Games_Players_Teams, Logs, Logs_Games, Maps,
// Players, Scores, Servers, Servers_Cvars, Servers_Games, Teams, Types, Weapons), one
// datagram per line (53):
// Cvars 15: 4 server cvar values (mp_timelimit twice), 5 names (Bob's new name Robert
//   included), 3 addresses, say and say_team, one empty disconnect reason.
// Games 2 (each opened by Loading map, ended by Log file closed); Games_Cvars 3 + 1 (the
//   cvars the server lists while each game is open); Games_Players_Cvars 11 + 4;
//   Games_Players_Teams 4 + 3.
// Logs 53; Logs_Games 52 (from the first Loading map on, every line belongs to a game).
// Players 4 (Bob and Robert share a Steam id; the bot is known by name); Scores 22 (7 of
// them teams joined); Types 12; Weapons 5.
inline const QList<qint64> Hl1Counts = {15, 2, 4, 2, 15, 7, 53, 52, 2, 4, 22, 1, 4, 2, 2, 12, 5};

// The parts of the program a datagram goes through: the program-wide state with its socket
// array and connection list, the component factory and the datagram intake, with
// Ledgerwell.so registered as the scoring component.
class ProgramUnderTest
{
public:
    ProgramUnderTest();
    ~ProgramUnderTest();

    QString registrationError() const { return m_registrationError; }
    // Adds connection n on a free port, as start-up does; returns the port (0 on failure).
    quint16 addConnection(int n, const QString &connectionString, const QString &logPath);
    MainModule &state() { return *m_state; }
    DatagramIntake &intake() { return *m_intake; }
    // As at a stop: the component writes or keeps what it holds and starts afresh with the
    // next datagram. The datagrams it could not write.
    qint64 finishComponent() { return m_factory->finish(); }

private:
    std::unique_ptr<MainModule> m_state;
    std::unique_ptr<ScoringComponentFactory> m_factory;
    std::unique_ptr<DatagramIntake> m_intake;
    QString m_registrationError;
};

// `program`, with Ledgerwell registered and connection 1 to the TestDatabase db on `port`;
// the test ends here when either fails.
#define ONE_CONNECTION(program, port, db, log)                                                     \
    ProgramUnderTest program;                                                                      \
    QVERIFY2(program.registrationError().isEmpty(), qPrintable(program.registrationError()));      \
    const quint16 port = program.addConnection(1, (db).connectionString(), log);                   \
    QVERIFY(port)

// A game server: one UDP socket on 127.0.0.1.
class GameServer
{
public:
    GameServer();
    bool send(const QByteArray &datagram, quint16 port);
    bool sendHl1(const QList<QByteArray> &lines, quint16 port); // one datagram a line
    // One datagram, waited for until the component has committed it.
    bool sendCommitted(const QByteArray &datagram, quint16 port);

private:
    QUdpSocket m_socket;
};

LedgerwellCounterSet ledgerwellCounters();
// Waits until the component has received `datagrams` more than `before` and nothing is
// waiting to be committed.
bool waitUntilCommitted(const LedgerwellCounterSet &before, quint64 datagrams,
                        int timeoutMs = 30000);
QString readFile(const QString &path);
// The log file without Ledgerwell's own notes: the raw lines, each ended with "\n".
QString rawLines(const QString &logPath);
