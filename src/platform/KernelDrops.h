#pragma once

#include <QtGlobal>

#include <map>
#include <optional>
#include <vector>

#include <sys/socket.h>

// What the kernel dropped on a UDP socket because its receive buffer was full: the program
// fell behind, or the buffer is small because net.core.rmem_max caps it.

// Asks the kernel to attach its drop count to every datagram read from fd.
bool askKernelDropCounts(int fd);
// The count attached to one datagram read: the socket's drops, since it was made, when that
// datagram was queued (32 bits, wrapping).
std::optional<quint32> kernelDropCountOf(const msghdr &header);
// The drop counters of the kernel's UDP tables (IPv4 and IPv6), by socket inode, for when no
// datagram brings the count.
std::map<quint64, quint64> kernelDropsTable();
std::optional<quint64> kernelDropsInTable(quint64 socketInode);
// The drops of a port's sockets together, as far as the table knows them.
quint64 kernelDropsInTable(const std::map<quint64, quint64> &table,
                           const std::vector<quint64> &socketInodes);
quint64 kernelDropsInTable(const std::vector<quint64> &socketInodes);
// The inode that names the socket in the kernel's tables; 0 when it cannot be read.
quint64 socketInode(int fd);
