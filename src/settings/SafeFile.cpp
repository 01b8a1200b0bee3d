#include "SafeFile.h"

#include "FileErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString CanNotWrite = QStringLiteral("Can not write");
const QString CanNotRead = QStringLiteral("Can not read");

// Closes the descriptor on every way out; close() itself is checked where it can report a
// lost write.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // 0 or the errno of close().
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// The temporary file goes unless it has become the file.
class TemporaryName
{
public:
    TemporaryName() = default;
    TemporaryName(const TemporaryName &) = delete;
    TemporaryName &operator=(const TemporaryName &) = delete;
    ~TemporaryName()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

    void set(const QByteArray &path) { m_path = path; }
    const QByteArray &path() const { return m_path; }
    void keep() { m_path.clear(); }

private:
    QByteArray m_path;
};

// A symbolic link keeps pointing at the file it pointed at; the file behind it is replaced.
QString resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? info.symLinkTarget() : target;
}

// Temporaries of an earlier write that was killed before its rename; only this program
// writes these files, so none of them is still in use.
void removeLeftoverTemporaries(const QFileInfo &target)
{
    QDir folder = target.absoluteDir();
    const QStringList leftovers = folder.entryList(
        {QStringLiteral(".%1.*.tmp").arg(target.fileName())}, QDir::Files | QDir::Hidden);
    for (const QString &leftover : leftovers)
        folder.remove(leftover);
}

// Creates a fresh temporary beside the target; its name starts with "." so it stays out of
// the operator's way. 0666 lets the umask decide, as for any new file.
int createTemporary(const QString &target, TemporaryName &name)
{
    const QFileInfo info(target);
    removeLeftoverTemporaries(info);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray candidate = QFile::encodeName(
            QStringLiteral("%1/.%2.%3.tmp")
                .arg(info.absolutePath(), info.fileName(),
                     QString::number(QRandomGenerator::global()->generate(), 36)));
        const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name.set(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// 0 or the errno of the failed write. A write that takes nothing means the device is full.
int writeAll(int fd, const QString &path, const QByteArray &contents, const WriteHooks &hooks)
{
    qint64 done = 0;
    while (done < contents.size()) {
        qint64 chunk = contents.size() - done;
        if (hooks.deviceTakes)
            chunk = qBound<qint64>(0, hooks.deviceTakes(path, chunk), chunk);
        const ssize_t written =
            chunk > 0 ? ::write(fd, contents.constData() + done, size_t(chunk)) : 0;
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        done += written;
    }
    return 0;
}

// Makes the rename itself durable. Some file systems cannot sync a folder; the file is in
// place by then either way, so this is done as well as the system allows.
void syncFolder(const QString &target)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

void reach(const WriteHooks &hooks, const QString &path, WriteStage stage)
{
    if (hooks.reached)
        hooks.reached(path, stage);
}

} // namespace

Status replaceFileContents(const QString &path, const QByteArray &contents, const WriteHooks &hooks)
{
    const QString target = resolvedTarget(path);
    const auto failure = [&path](int osError) {
        return fileError(osError, CanNotWrite, path, FileAccess::Writing);
    };

    TemporaryName temporary;
    FileDescriptor fd(createTemporary(target, temporary));
    if (!fd.valid())
        return failure(errno);
    reach(hooks, path, WriteStage::Opened);

    // The replacement keeps the permissions of the file it replaces.
    struct stat old;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0 &&
        ::fchmod(fd.get(), old.st_mode & 07777) != 0)
        return failure(errno);

    if (const int error = writeAll(fd.get(), path, contents, hooks))
        return failure(error);
    if (::fsync(fd.get()) != 0)
        return failure(errno);
    if (const int error = fd.close())
        return failure(error);
    reach(hooks, path, WriteStage::Written);

    if (::rename(temporary.path().constData(), QFile::encodeName(target).constData()) != 0)
        return failure(errno);
    temporary.keep();
    syncFolder(target);
    reach(hooks, path, WriteStage::Renamed);
    return {};
}

Result<QByteArray> readFileContents(const QString &path)
{
    const auto failure = [&path](int osError) {
        return fileError(osError, CanNotRead, path, FileAccess::Reading);
    };
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return failure(errno);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0)
        return failure(errno);
    if (S_ISDIR(info.st_mode))
        return failure(EISDIR);

    QByteArray contents;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return failure(errno);
        }
        if (got == 0)
            break;
        contents.append(buffer, got);
    }
    return contents;
}
