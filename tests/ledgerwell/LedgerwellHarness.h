#pragma once

#include "database/StatisticsSchema.h"

#include "LedgerwellCounters.h"

#include "intake/DatagramIntake.h"
#include "intake/ScoringComponentFactory.h"
#include "shell/MainModule.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QUdpSocket>

#include <memory>

// How game servers frame a log line.
namespace Framed {
QByteArray hl1(const QByteArray &line);    // FF FF FF FF "log " line "\n" NUL
QByteArray source(const QByteArray &line); // FF FF FF FF "R" line "\n" NUL
QByteArray secret(const QByteArray &line, const QByteArray &secret); // FF FF FF FF "S" ...
} // namespace Framed

QList<QByteArray> fixtureLines(const QString &name);

// A database of the test's own, with the statistics tables made the way the program makes
// them: an SQLite file, or a PostgreSQL database on the test server.
class TestDatabase
{
public:
    enum class Engine { Sqlite, Postgres };

    // Whether scripts/test started a PostgreSQL server for the tests.
    static bool postgresConfigured();
    static std::unique_ptr<TestDatabase> create(Engine engine, const QString &folder,
                                                QString &error, const QStringList &without = {});
    ~TestDatabase();

    Engine engine() const { return m_engine; }
    QString connectionString() const { return m_connectionString; }
    QSqlDatabase db() const;
    qint64 count(const QString &table) const;
    QList<qint64> counts() const; // every statistics table, in the program's order
    // Rows as text: NULL, numbers, dates "yyyy-MM-dd HH:mm:ss", bytes as x<hex>.
    QList<QStringList> rows(const QString &sql) const;
    QString value(const QString &sql) const;
    bool execute(const QString &sql, QString &error) const;

private:
    TestDatabase() = default;

    Engine m_engine = Engine::Sqlite;
    QString m_connectionName;
    QString m_connectionString;
    QString m_pgDatabase;
};

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

private:
    std::unique_ptr<MainModule> m_state;
    std::unique_ptr<ScoringComponentFactory> m_factory;
    std::unique_ptr<DatagramIntake> m_intake;
    QString m_registrationError;
};

// A game server: one UDP socket on 127.0.0.1.
class GameServer
{
public:
    GameServer();
    bool send(const QByteArray &datagram, quint16 port);
    quint16 port() const { return m_socket.localPort(); }

private:
    QUdpSocket m_socket;
};

LedgerwellCounterSet ledgerwellCounters();
// Waits until the component has received `datagrams` more than `before` and nothing is
// waiting to be committed.
bool waitUntilCommitted(const LedgerwellCounterSet &before, quint64 datagrams,
                        int timeoutMs = 30000);
QString readFile(const QString &path);
