#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// Small tmpfs mounts for the faults a user meets on a real disk: a full device, a read-only
// file system. Mounting needs root; the mounts live in a mount namespace of the test process's
// own, so they vanish with it even when it is killed.

// Whether this process may mount; call once from the main thread before any mount.
inline bool enterPrivateMountNamespace()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return false;
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

class ScratchMount
{
public:
    ScratchMount(const QString &folder, qint64 bytes)
        : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        if (::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;
    ~ScratchMount()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }
    bool makeReadOnly()
    {
        return ::mount(nullptr, m_folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) ==
               0;
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
    QString m_error;
};
