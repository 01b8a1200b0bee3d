#pragma once

#include "ScriptedOperator.h"

#include "intake/ComponentLibrary.h"
#include "platform/ClassRegistry.h"
#include "platform/SqlConnection.h"
#include "settings/ProgPathModule.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>

// The folders and files of one start: the test's own XDG folders, emptied before each test,
// with the recording component registered, so the program folder is the default one under
// XDG_DATA_HOME.
namespace StartupFixture {

inline QString appPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Varnock_UDP");
}

inline QString settingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Halvemark/Varnock_UDP.ini");
}

inline bool reset()
{
    QDir(appPath()).removeRecursively();
    QFile::remove(settingsFile());
    QFile::remove(ClassRegistry::userFilePath());
    return registerComponentLibrary(QStringLiteral(RECORDING_COMPONENT_PATH), ClassRegistry()).ok();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An empty database file, as an installer places one.
inline bool createEmptyDatabase(const QString &path)
{
    return writeFile(path, QByteArray());
}

inline QStringList tablesOf(const QString &sqliteFile)
{
    const QString name = QUuid::createUuid().toString();
    QStringList tables;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(sqliteFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open())
            tables = db.tables(QSql::Tables);
    }
    QSqlDatabase::removeDatabase(name);
    tables.sort();
    return tables;
}

} // namespace StartupFixture
