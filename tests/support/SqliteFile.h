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
