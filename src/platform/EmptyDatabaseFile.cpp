#include "EmptyDatabaseFile.h"

#include "DbErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QUrl>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Writes the engine's header into the empty file at path, which the engine otherwise leaves
// empty until the first table.
Status writeHeader(const QString &path)
{
    const QString connection = QStringLiteral("varnock-new-") + QUuid::createUuid().toString();
    Status written;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        QUrl url = QUrl::fromLocalFile(path);
        url.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!db.open()) {
            written = DbErrors::openFailed(db.lastError().text());
        } else {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("PRAGMA user_version = 0")))
                written = DbErrors::commandFailed(query.lastError().text());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return written;
}

// Moves from to to unless to exists; errno tells why not.
bool moveWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without that rename: a second name, then the first one goes.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

} // namespace

Status createEmptyDatabaseFile(const QString &path)
{
    const QFileInfo target(path);
    if (target.exists())
        return DbErrors::openFailed(
            QStringLiteral("'%1' already exists; a new database file needs a new name.").arg(path));
    if (!target.dir().exists())
        return DbErrors::openFailed(
            QStringLiteral("The folder '%1' does not exist.").arg(target.absolutePath()));

    QTemporaryFile temporary(target.dir().filePath(QStringLiteral(".new-database-XXXXXX")));
    if (!temporary.open())
        return DbErrors::openFailed(QStringLiteral("Can not create a file in '%1': %2")
                                        .arg(target.absolutePath(), temporary.errorString()));
    temporary.close();
    if (const Status header = writeHeader(temporary.fileName()); !header)
        return header;
    temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                             QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // A file that appeared meanwhile is never replaced.
    if (!moveWithoutReplacing(temporary.fileName(), target.absoluteFilePath()))
        return DbErrors::openFailed(QStringLiteral("Can not create '%1': %2")
                                        .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    temporary.setAutoRemove(false);
    return {};
}
