#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

// A database of its own on the test PostgreSQL server that scripts/test starts (the
// VARNOCK_TEST_PG_* variables), dropped again at the end.
class PgTestDatabase
{
public:
    PgTestDatabase()
        : m_host(qEnvironmentVariable("VARNOCK_TEST_PG_HOST"))
        , m_port(qEnvironmentVariable("VARNOCK_TEST_PG_PORT"))
        , m_user(qEnvironmentVariable("VARNOCK_TEST_PG_USER"))
        , m_password(qEnvironmentVariable("VARNOCK_TEST_PG_PASSWORD"))
        , m_name(QStringLiteral("varnock_t_") + QUuid::createUuid().toString(QUuid::Id128).left(16))
    {
        if (!configured())
            return;
        m_error = adminExec(QStringLiteral("CREATE DATABASE %1").arg(m_name));
        m_created = m_error.isEmpty();
    }

    ~PgTestDatabase()
    {
        for (const QString &connection : std::as_const(m_direct))
            QSqlDatabase::removeDatabase(connection);
        if (m_created)
            adminExec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    }

    // Whether the test run started a server at all.
    bool configured() const { return !m_host.isEmpty() && !m_port.isEmpty(); }
    bool ready() const { return m_created; }
    QString error() const { return m_error; }

    QString name() const { return m_name; }
    QString host() const { return m_host; }
    QString port() const { return m_port; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }

    // The connection string of the program's PostgreSQL provider for this database.
    QString connString(const QString &extra = QString()) const
    {
        return QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3;"
                              "User ID=%4;Password=%5")
                   .arg(m_host, m_port, m_name, m_user, m_password) +
               extra;
    }

    // A Qt SQL connection straight to the database, to look at what the program did.
    QSqlDatabase direct()
    {
        const QString connection = QStringLiteral("direct-") + QUuid::createUuid().toString();
        m_direct.append(connection);
        QSqlDatabase db = open(connection, m_name);
        return db;
    }

    // One column of a query's rows, as text.
    QStringList column(const QString &sql)
    {
        QSqlDatabase db = direct();
        QSqlQuery query(db);
        QStringList values;
        if (!query.exec(sql))
            return {QStringLiteral("query failed: ") + query.lastError().text()};
        while (query.next())
            values.append(query.value(0).toString());
        return values;
    }

private:
    QSqlDatabase open(const QString &connection, const QString &database) const
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(m_host);
        db.setPort(m_port.toInt());
        db.setUserName(m_user);
        db.setPassword(m_password);
        db.setDatabaseName(database);
        db.open();
        return db;
    }

    // "" when the statement ran on the server's postgres database.
    QString adminExec(const QString &sql) const
    {
        const QString connection = QStringLiteral("admin-") + QUuid::createUuid().toString();
        QString failure;
        {
            QSqlDatabase db = open(connection, QStringLiteral("postgres"));
            QSqlQuery query(db);
            if (!db.isOpen())
                failure = db.lastError().text();
            else if (!query.exec(sql))
                failure = query.lastError().text();
        }
        QSqlDatabase::removeDatabase(connection);
        return failure;
    }

    QString m_host, m_port, m_user, m_password, m_name, m_error;
    bool m_created = false;
    QStringList m_direct;
};

// Skips when no server was started for the run; fails when one was but is not usable.
#define REQUIRE_PG_DATABASE(db)                                                                    \
    do {                                                                                           \
        if (!(db).configured())                                                                    \
            QSKIP("No PostgreSQL test server (VARNOCK_TEST_PG_* unset); scripts/test starts "      \
                  "one");                                                                          \
        QVERIFY2((db).ready(), qPrintable((db).error()));                                          \
    } while (false)
