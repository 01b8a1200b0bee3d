#include "FreePort.h"
#include "TestMain.h"

#include "platform/DatagramBlock.h"
#include "platform/DatagramReader.h"
#include "platform/DatagramSocket.h"
#include "platform/KernelDrops.h"

#include <QTest>
#include <QUdpSocket>

#include <memory>

// The reader's count of what the kernel dropped, against the kernel's own counter for the
// socket, on a real socket with a small receive buffer filled while the reader is held up.
class TestKernelDrops : public QObject
{
    Q_OBJECT

private slots:
    void countMatchesTheKernels_data()
    {
        QTest::addColumn<int>("spells");
        addRow("one overflow", 1);
        addRow("overflows after a read: the increase is counted", 3);
    }
    void countMatchesTheKernels()
    {
        QFETCH(int, spells);
        DatagramSocket socket;
        const quint16 port = freePort();
        QVERIFY(socket.bind(port).ok());
        socket.askReceiveBuffer(4096); // holds a few dozen datagrams
        DatagramReader &reader = DatagramReader::shared();
        const auto inbox = std::make_shared<DatagramInbox>(reader.budget());
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
        const QByteArray payload(100, 'x');
        const auto send = [&](int count) {
            for (int i = 0; i < count; ++i)
                sender.writeDatagram(payload, QHostAddress::LocalHost, port);
            return quint64(count);
        };

        quint64 sent = 0;
        quint64 kernel = 0;
        for (int spell = 0; spell < spells; ++spell) {
            sent += send(400); // nobody reads the socket now
            const quint64 before = kernel;
            kernel = kernelDropsInTable(socketInode(socket.descriptor())).value_or(0);
            QVERIFY2(kernel > before, "the receive buffer should have overflowed");
            const quint64 id = reader.start(socket.descriptor(), inbox);
            QVERIFY(id != 0);
            QTRY_COMPARE(inbox->received(), sent - kernel);
            // The count comes with the first datagram queued after the drops.
            sent += send(1);
            QTRY_COMPARE(inbox->received(), sent - kernel);
            reader.stop(id);
            QCOMPARE(inbox->kernelDrops(), kernel);
            DatagramBlock block;
            while (inbox->take(block))
                block = DatagramBlock(); // the budget is given back
        }
    }

    void counterThatWrapsKeepsCounting()
    {
        DatagramInbox inbox(DatagramReader::shared().budget());
        inbox.noteKernelDrops(0xFFFFFFF0u);
        inbox.noteKernelDrops(5);
        inbox.noteKernelDrops(5); // the same count again: no new drops
        QCOMPARE(inbox.kernelDrops(), quint64(0xFFFFFFF0u) + 21);
    }
};

VARNOCK_TEST_MAIN(TestKernelDrops)
#include "tst_kerneldrops.moc"
