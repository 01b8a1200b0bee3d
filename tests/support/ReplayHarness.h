#pragma once

#include "PgTestDatabase.h"

#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>

#include <algorithm>
#include <memory>
#include <vector>

// What the suites that replay logs through the real program share: the databases it writes,
// reading back what it stored, and sending the logs at a pace the loopback does not drop.

// A query's rows, their columns joined by "|"; a single "query failed: ..." row when it fails.
inline QStringList storedRows(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return {QStringLiteral("query failed: ") + query.lastError().text() + " in " + sql};
    QStringList rows;
    while (query.next()) {
        QStringList row;
        for (int c = 0; c < query.record().count(); ++c)
            row << query.value(c).toString();
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

// The first column of the first row; -1 when there is none or the query fails.
inline qint64 storedNumber(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    return query.exec(sql) && query.next() ? query.value(0).toLongLong() : -1;
}

// A statistics database for the program to write, with the test's own connection to read
// it: an empty SQLite file (the program creates none) or a database on the PostgreSQL test
// server.
class ReplayDatabase
{
public:
    // Null when it cannot be made, the reason in `error`.
    static std::unique_ptr<ReplayDatabase> make(bool postgres, const QString &sqlitePath,
                                                QString &error)
    {
        std::unique_ptr<ReplayDatabase> database(new ReplayDatabase);
        if (postgres) {
            database->m_pg = std::make_unique<PgTestDatabase>();
            if (!database->m_pg->ready()) {
                error = database->m_pg->configured()
                            ? database->m_pg->error()
                            : QStringLiteral("no PostgreSQL test server (scripts/test starts one)");
                return nullptr;
            }
            database->m_connectionString = database->m_pg->connString();
            database->m_db = database->m_pg->direct();
            return database;
        }
        QFile empty(sqlitePath);
        if (!empty.open(QIODevice::WriteOnly)) {
            error = sqlitePath + ": " + empty.errorString();
            return nullptr;
        }
        database->m_sqlitePath = sqlitePath;
        database->m_connectionString = "Provider=SQLite;Data Source=" + sqlitePath;
        database->m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                   QUuid::createUuid().toString(QUuid::Id128));
        database->m_db.setDatabaseName(sqlitePath);
        database->m_db.open();
        return database;
    }

    QString connectionString() const { return m_connectionString; }
    QString sqlitePath() const { return m_sqlitePath; }
    QSqlDatabase db() const { return m_db; }
    QStringList rows(const QString &sql) const { return storedRows(m_db, sql); }
    qint64 number(const QString &sql) const { return storedNumber(m_db, sql); }
    // Waits until `lines` datagrams are archived in Logs.
    bool awaitLogs(qint64 lines, int timeoutMs) const
    {
        return QTest::qWaitFor(
            [&] { return number(QStringLiteral("SELECT COUNT(*) FROM Logs")) == lines; },
            timeoutMs);
    }

private:
    ReplayDatabase() = default;

    std::unique_ptr<PgTestDatabase> m_pg;
    QString m_sqlitePath;
    QString m_connectionString;
    QSqlDatabase m_db;
};

// Each stream of datagrams from a socket of its own to its port, the streams interleaved one
// datagram at a time, with a pause after every `burst` rounds: a pace at which neither the
// loopback nor the program drops any.
inline void sendInterleaved(const QList<QList<QByteArray>> &streams, const QList<quint16> &ports,
                            int burst = 20, int pauseMs = 10)
{
    std::vector<std::unique_ptr<QUdpSocket>> sockets;
    qsizetype rounds = 0;
    for (const QList<QByteArray> &stream : streams) {
        sockets.push_back(std::make_unique<QUdpSocket>());
        sockets.back()->bind(QHostAddress::LocalHost, 0);
        rounds = std::max(rounds, stream.size());
    }
    for (qsizetype round = 0; round < rounds; ++round) {
        for (qsizetype s = 0; s < streams.size(); ++s) {
            if (round < streams[s].size())
                sockets[s]->writeDatagram(streams[s][round], QHostAddress::LocalHost, ports[s]);
        }
        if (round % burst == burst - 1)
            QThread::msleep(pauseMs);
    }
}
