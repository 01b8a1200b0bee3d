#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <optional>

#include <sys/socket.h>

// A socket-level value the kernel attached to a datagram read (SO_RXQ_OVFL's drop count,
// SO_TIMESTAMPNS's arrival time); nothing when none came.
template <typename T> std::optional<T> socketControl(const msghdr &header, int type)
{
    for (const cmsghdr *c = CMSG_FIRSTHDR(&header); c;
         c = CMSG_NXTHDR(const_cast<msghdr *>(&header), const_cast<cmsghdr *>(c))) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == type &&
            c->cmsg_len >= CMSG_LEN(sizeof(T))) {
            T value;
            std::memcpy(&value, CMSG_DATA(c), sizeof value);
            return value;
        }
    }
    return std::nullopt;
}

// The arrival time a datagram came with, in realtime nanoseconds; 0 when none.
inline std::int64_t arrivalStampNs(const msghdr &header)
{
    const std::optional<timespec> stamp = socketControl<timespec>(header, SCM_TIMESTAMPNS);
    return stamp ? std::int64_t(stamp->tv_sec) * 1000000000 + stamp->tv_nsec : 0;
}
