#include "FreePort.h"
#include "TestMain.h"

#include "platform/ArrivalMerge.h"
#include "platform/DatagramBlock.h"
#include "platform/DatagramReader.h"
#include "platform/DatagramSocket.h"
#include "platform/KernelDrops.h"
#include "platform/SocketErrors.h"

#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <vector>

namespace {

// socket, arrival, read; a row of {-1, now} releases, one of {-2, socket} marks it left unread
using Adds = QList<QList<qint64>>;

constexpr qint64 Ms = 1000 * 1000;

// Binds a port whose sockets get bufferBytes each, with room for portBytes together.
quint16 bindGroup(DatagramSocket &socket, int bufferBytes, int portBytes)
{
    return socket.bind(0, bufferBytes, portBytes).ok() ? socket.localPort() : 0;
}

} // namespace

// A port whose sockets share it because one socket's buffer is too small: the datagrams still
// reach the program whole and in the order they arrived, and a port in use is still refused.
class TestPortSockets : public QObject
{
    Q_OBJECT

private slots:
    void mergeKeepsArrivalOrder_data()
    {
        QTest::addColumn<int>("sockets");
        QTest::addColumn<Adds>("steps");
        // Each datagram as its arrival and its socket's letter; releases apart by "|".
        QTest::addColumn<QString>("released");
        // Socket 1 has not shown anything past 20, so 30 waits for it.
        addRow("a socket that may still hold an earlier one holds back", 2,
               Adds{{0, 10, 0}, {0, 30, 0}, {1, 20, 0}, {-1, 0}}, QString("10a 20b"));
        addRow("every socket past it: out in arrival order", 2,
               Adds{{0, 30, 0}, {1, 10, 0}, {1, 40, 0}, {0, 50, 0}, {-1, 0}},
               QString("10b 30a 40b"));
        addRow(
            "a silent socket holds up nobody past the hold", 2,
            Adds{
                {0, 10, 0}, {0, 20, 1}, {-1, ArrivalMerge::HoldNs - 1}, {-1, ArrivalMerge::HoldNs}},
            QString("|10a"));
        addRow("the hold of a later one releases the earlier too", 3,
               Adds{{0, 20, 0}, {1, 10, 3 * Ms}, {-1, ArrivalMerge::HoldNs}}, QString("10b 20a"));
        // Socket 1 was left with datagrams unread, which may have arrived before 20.
        addRow("a socket left unread holds back past the hold", 2,
               Adds{{0, 20, 0}, {1, 10, 0}, {-2, 1}, {-1, ArrivalMerge::HoldNs}}, QString("10b"));
        addRow("stamps alike keep the order read", 2,
               Adds{{1, 10, 0}, {0, 10, 0}, {0, 11, 0}, {1, 12, 0}, {-1, 0}},
               QString("10b 10a 11a"));
    }
    void mergeKeepsArrivalOrder()
    {
        QFETCH(int, sockets);
        QFETCH(Adds, steps);
        QFETCH(QString, released);
        ArrivalMerge merge(sockets);
        QStringList releases;
        for (const QList<qint64> &step : steps) {
            if (step[0] == -2) {
                merge.setLeft(int(step[1]), true);
                continue;
            }
            if (step[0] < 0) {
                QStringList out;
                for (const DatagramView &d : merge.release(step[1]))
                    out << QString::fromLatin1(d.data, int(d.size));
                releases << out.join(' ');
                continue;
            }
            const QByteArray text = QByteArray::number(step[1]) + char('a' + step[0]);
            merge.add(int(step[0]), step[1], step[2], {text.constData(), text.size(), 0, 0});
        }
        QCOMPARE(releases.join('|'), released);
    }

    void floodArrivesWholeAndInOrder()
    {
        DatagramSocket socket;
        // Four sockets of 2 MiB: what is sent below fits even if the reader never ran.
        const quint16 port = bindGroup(socket, 1024 * 1024, 8 * 1024 * 1024);
        QVERIFY(port != 0);
        QCOMPARE(int(socket.descriptors().size()), 4);
        DatagramReader &reader = DatagramReader::shared();
        const auto inbox = std::make_shared<DatagramInbox>(reader.budget());
        const quint64 id = reader.start(socket.descriptors(), inbox);
        QVERIFY(id != 0);
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
        constexpr int Count = 8000;
        for (int i = 0; i < Count; ++i)
            sender.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, port);
        QTRY_COMPARE(inbox->received(), quint64(Count));
        int expected = 0;
        DatagramBlock block;
        DatagramView datagram;
        while (inbox->take(block)) {
            while (block.next(datagram)) {
                const QByteArray text(datagram.data, int(datagram.size));
                QCOMPARE(text, QByteArray::number(expected));
                ++expected;
            }
        }
        QCOMPARE(expected, Count);
        reader.stop(id);
    }

    void dropsOfEverySocketAdd()
    {
        DatagramSocket socket;
        const quint16 port = bindGroup(socket, 4096, 16 * 1024);
        QVERIFY(port != 0);
        QVERIFY(socket.descriptors().size() > 1);
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
        const auto send = [&](int count) {
            for (int i = 0; i < count; ++i)
                sender.writeDatagram(QByteArray(100, 'x'), QHostAddress::LocalHost, port);
        };
        send(1000); // nobody reads yet: every socket overflows
        std::vector<quint64> inodes;
        for (const int fd : socket.descriptors())
            inodes.push_back(socketInode(fd));
        const quint64 kernel = kernelDropsInTable(inodes);
        QVERIFY(kernel > 0);
        DatagramReader &reader = DatagramReader::shared();
        const auto inbox = std::make_shared<DatagramInbox>(reader.budget());
        const quint64 id = reader.start(socket.descriptors(), inbox);
        QVERIFY(id != 0);
        QTRY_COMPARE(inbox->received() + kernel, quint64(1000));
        // Each socket's count comes with its first datagram after the drops; one at a time,
        // these cause none.
        for (int i = 1; i <= 20; ++i) {
            send(1);
            QTRY_COMPARE(inbox->received() + kernel, quint64(1000 + i));
        }
        QTRY_COMPARE(inbox->kernelDrops(), kernel);
        reader.stop(id);
        DatagramBlock block;
        while (inbox->take(block))
            block = DatagramBlock();
    }

    void portInUseIsRefused_data()
    {
        QTest::addColumn<bool>("groupFirst");
        addRow("a port held by another program", false);
        addRow("a port held by sockets that share it", true);
    }
    void portInUseIsRefused()
    {
        QFETCH(bool, groupFirst);
        DatagramSocket first;
        DatagramSocket second;
        const quint16 port = freePort();
        QVERIFY(groupFirst ? first.bind(port, 4096, 64 * 1024).ok() : first.bind(port).ok());
        const Status bound = groupFirst ? second.bind(port) : second.bind(port, 4096, 64 * 1024);
        QVERIFY(!bound.ok());
        QCOMPARE(bound.error().number, SocketErrors::AddressInUse);
        QVERIFY(!second.isBound());
    }
};

VARNOCK_TEST_MAIN(TestPortSockets)
#include "tst_portsockets.moc"
