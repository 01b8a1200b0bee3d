#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// Whole files as the tests write and read them. A missing file reads as "<missing>", so that
// "no file" is told apart from an empty one.
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
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// An empty file, which the embedded engine takes as an empty database; returns its path.
inline QString emptyDatabase(const QString &path)
{
    writeFile(path, QByteArray());
    return path;
}
