#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Every test process gets its own settings and data folders, never the user's real files,
// and runs without a screen unless a platform was named.
inline void prepareTestEnvironment(const QTemporaryDir &home)
{
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// One row of a data table, its values in column order; keeps a row on a line or two where a
// chain of << would take one per value.
template <typename... Values> void addRow(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

#define VARNOCK_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QTemporaryDir home;                                                                        \
        prepareTestEnvironment(home);                                                              \
        QApplication app(argc, argv);                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
