#pragma once

#include "ScriptedOperator.h"
#include "SqliteFile.h"

#include "intake/ComponentLibrary.h"
#include "platform/ClassRegistry.h"
#include "settings/ProgPathModule.h"

#include <QStandardPaths>

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

// A line of connections.cfg for an SQLite database file.
inline QByteArray connectionLine(quint16 port, const QString &database,
                                 const QByteArray &logon = "False",
                                 const QByteArray &log = "/tmp/varnock-test.log")
{
    return "Port=" + QByteArray::number(port) +
           ",Database=Provider=SQLite;Data Source=" + database.toUtf8() + ",Logon=" + logon +
           ",Log=" + log + "\r\n";
}

} // namespace StartupFixture
