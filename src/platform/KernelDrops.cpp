#include "KernelDrops.h"

#include "SocketControl.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <sys/stat.h>

bool askKernelDropCounts(int fd)
{
    const int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0;
}

std::optional<quint32> kernelDropCountOf(const msghdr &header)
{
    // A socket without drops gets no count, so a datagram without one stands for zero only
    // when the socket never dropped: the caller keeps the last count it saw.
    return socketControl<quint32>(header, SO_RXQ_OVFL);
}

std::map<quint64, quint64> kernelDropsTable()
{
    std::map<quint64, quint64> drops;
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            bool inodeOk = false;
            bool dropsOk = false;
            const quint64 inode = fields.size() >= 13 ? fields.at(9).toULongLong(&inodeOk) : 0;
            const quint64 count = inodeOk ? fields.at(12).toULongLong(&dropsOk) : 0;
            if (dropsOk && inode != 0)
                drops[inode] = count;
        }
    }
    return drops;
}

std::optional<quint64> kernelDropsInTable(quint64 socketInode)
{
    const std::map<quint64, quint64> drops = kernelDropsTable();
    const auto found = drops.find(socketInode);
    if (socketInode == 0 || found == drops.end())
        return std::nullopt;
    return found->second;
}

quint64 kernelDropsInTable(const std::map<quint64, quint64> &table,
                           const std::vector<quint64> &socketInodes)
{
    quint64 drops = 0;
    for (const quint64 inode : socketInodes) {
        if (const auto found = table.find(inode); inode != 0 && found != table.end())
            drops += found->second;
    }
    return drops;
}

quint64 kernelDropsInTable(const std::vector<quint64> &socketInodes)
{
    return kernelDropsInTable(kernelDropsTable(), socketInodes);
}

quint64 socketInode(int fd)
{
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return 0;
    return quint64(status.st_ino);
}
