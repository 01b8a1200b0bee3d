#pragma once

#include "TestFiles.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>

// Runs statements on an SQLite file by a connection of the test's own and returns the first
// column of the last one's rows, or "failed: <statement>". A missing file is never created.
inline QStringList sqliteRun(const QString &path, const QStringList &statements)
{
    if (!QFileInfo::exists(path))
        return {QStringLiteral("<missing>")};
    const QString name = QUuid::createUuid().toString();
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        for (const QString &sql : statements) {
            values.clear();
            if (!query.exec(sql)) {
                values = QStringList{QStringLiteral("failed: ") + sql};
                break;
            }
            while (query.next())
                values.append(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

// The tables of an SQLite file, sorted.
inline QStringList tablesOf(const QString &path)
{
    return sqliteRun(path, {QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                           "AND name NOT LIKE 'sqlite_%' ORDER BY name")});
}

// A second connection to an SQLite file that holds the file's write lock until it is
// released, as another program in the middle of writing does.
class SqliteWriteLock
{
public:
    explicit SqliteWriteLock(const QString &path)
        : m_name(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_held = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~SqliteWriteLock()
    {
        release();
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    SqliteWriteLock(const SqliteWriteLock &) = delete;
    SqliteWriteLock &operator=(const SqliteWriteLock &) = delete;

    bool held() const { return m_held; }
    // Ends the transaction without a trace.
    void release() { end(QStringLiteral("ROLLBACK")); }

private:
    void end(const QString &statement)
    {
        if (m_held)
            QSqlQuery(QSqlDatabase::database(m_name, false)).exec(statement);
        m_held = false;
    }

    QString m_name;
    bool m_held = false;
};
