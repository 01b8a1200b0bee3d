// Sends numbered datagrams as fast as one thread can to a port bound as the program binds its
// ports, reads them through the program's reader thread, and counts what came out of order,
// was dropped by the kernel or refused. Run it as an unprivileged user with a small
// net.core.rmem_max to measure a port of several sockets:
//   varnock_port_order [COUNT]
#include "platform/DatagramBlock.h"
#include "platform/DatagramReader.h"
#include "platform/DatagramSocket.h"
#include "platform/UdpSocketElement.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    DatagramSocket socket;
    if (const Status bound =
            socket.bind(0, UdpSocketElement::ReceiveBufferBytes, UdpSocketElement::PortBufferBytes);
        !bound) {
        std::fprintf(stderr, "port_order: %s\n", qPrintable(bound.error().description));
        return 1;
    }
    DatagramReader &reader = DatagramReader::shared();
    const auto inbox = std::make_shared<DatagramInbox>(reader.budget());
    const quint64 id = reader.start(socket.descriptors(), inbox);
    std::thread sender([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(socket.localPort());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        char text[100];
        std::memset(text, 'x', sizeof text);
        for (long i = 0; i < count; ++i) {
            std::snprintf(text, sizeof text, "%ld ", i);
            ::sendto(fd, text, sizeof text, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
        ::close(fd);
    });
    long read = 0;
    long outOfOrder = 0;
    long last = -1;
    DatagramBlock block;
    DatagramView datagram;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until &&
           read + long(inbox->kernelDrops() + inbox->refused()) < count) {
        if (!inbox->take(block)) {
            ::usleep(1000);
            continue;
        }
        while (block.next(datagram)) {
            const long number = std::atol(datagram.data);
            outOfOrder += number <= last ? 1 : 0;
            last = number;
            ++read;
        }
    }
    sender.join();
    reader.stop(id);
    std::printf("sockets=%zu\nbuffer_bytes=%d\nsent=%ld\nread=%ld\nkernel_drops=%llu\n"
                "refused=%llu\nout_of_order=%ld\n",
                socket.descriptors().size(), socket.receiveBufferBytes(), count, read,
                static_cast<unsigned long long>(inbox->kernelDrops()),
                static_cast<unsigned long long>(inbox->refused()), outOfOrder);
    return outOfOrder == 0 ? 0 : 2;
}
