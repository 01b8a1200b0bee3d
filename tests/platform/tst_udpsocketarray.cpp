#include "FreePort.h"
#include "ReaderBudget.h"
#include "TestMain.h"

#include "platform/DatagramReader.h"
#include "platform/SocketErrors.h"
#include "platform/UdpSocketArray.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <memory>
#include <vector>

// `array` with element n loaded and bound to a free `port`.
#define BOUND(array, n, port)                                                                      \
    UdpSocketArray array;                                                                          \
    QVERIFY(array.Load(n).ok());                                                                   \
    const quint16 port = freePort();                                                               \
    QVERIFY(array.element(n)->Bind(port).ok())

class TestUdpSocketArray : public QObject
{
    Q_OBJECT

private slots:
    // The element the form holds from the start, and elements loaded and unloaded by index.
    void elementsByIndex()
    {
        UdpSocketArray array;
        QCOMPARE(array.indexes(), QList<int>{0});
        QCOMPARE(array.element(0)->LocalPort(), quint16(0));
        QCOMPARE(array.element(0)->State(), int(UdpSocketElement::Closed));
        QCOMPARE(array.Unload(0).error().number, SocketErrors::CannotUnloadDesignElement);
        QVERIFY(array.Load(3).ok());
        QCOMPARE(array.Load(3).error().number, SocketErrors::ElementAlreadyLoaded);
        QCOMPARE(array.indexes(), (QList<int>{0, 3}));
        QVERIFY(array.Unload(3).ok());
        QCOMPARE(array.Unload(3).error().number, SocketErrors::ElementDoesNotExist);
        QVERIFY(!array.at(3).ok());
        QVERIFY(!array.Load(32768).ok());
    }

    // A bound element has a large receive buffer, holds its port against the next element
    // and refuses a second Bind.
    void aBoundElement()
    {
        BOUND(array, 1, port);
        // The kernel doubles what it grants; without the privilege to pass the system limit
        // it still grants more than its default of about 200 KiB.
        QVERIFY2(array.element(1)->receiveBufferBytes() > 256 * 1024,
                 qPrintable(QString::number(array.element(1)->receiveBufferBytes())));
        QVERIFY(array.Load(2).ok());
        QCOMPARE(array.element(2)->Bind(port).error().number, SocketErrors::AddressInUse);
        QCOMPARE(array.element(2)->State(), int(UdpSocketElement::Closed));
        QCOMPARE(array.element(1)->Bind(freePort()).error().number,
                 SocketErrors::InvalidOperationAtCurrentState);
    }

    // Datagrams are read in batches underneath; each still arrives alone, in order, whole,
    // with its sender, however many wait at once and whatever their size. Each sender has an
    // address of its own (all of 127/8 is this host), so a sender's address is never another's.
    void everyDatagramArrivesAloneInOrder_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("senderCount");
        QTest::newRow("one") << QList<int>{120} << 1;
        QTest::newRow("empty and largest") << QList<int>{0, 65507, 1, 0} << 2;
        QList<int> many;
        for (int i = 0; i < 200; ++i) // within the kernel's default buffer, for non-root runs
            many << (i * 37) % 600;
        QTest::newRow("200 waiting: several batches") << many << 3;
        // Past one block of the reader's memory, with the largest datagrams in between.
        QList<int> blocks;
        for (int i = 0; i < 40; ++i)
            blocks << (i % 5 == 4 ? 65507 : 1000 + i);
        QTest::newRow("several blocks") << blocks << 2;
    }
    void everyDatagramArrivesAloneInOrder()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, senderCount);
        BOUND(array, 2, port);
        QList<QByteArray> received;
        QList<QPair<QString, quint16>> senders;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64 bytes) {
            QByteArray data;
            UdpSocketElement *element = array.element(index);
            QVERIFY(element->GetData(data).ok());
            QCOMPARE(data.size(), bytes);
            received << data;
            senders << qMakePair(element->RemoteHostIP(), quint16(element->RemotePort()));
        });
        std::vector<std::unique_ptr<QUdpSocket>> from;
        for (int i = 0; i < senderCount; ++i) {
            from.push_back(std::make_unique<QUdpSocket>());
            QVERIFY(from.back()->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(i + 1)), 0));
        }
        QList<QByteArray> sent;
        QList<QPair<QString, quint16>> sentFrom;
        for (int i = 0; i < sizes.size(); ++i) {
            QByteArray datagram(sizes.at(i), char('a' + i % 26));
            if (datagram.size() >= 4)
                datagram.replace(0, 4, QByteArray::number(i).rightJustified(4, '0'));
            QUdpSocket &sender = *from.at(std::size_t((i * 7 / 3) % senderCount));
            QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, port),
                     qint64(datagram.size()));
            sent << datagram;
            sentFrom << qMakePair(sender.localAddress().toString(), sender.localPort());
            // Room for the reader to run where it shares this core and, without privileges,
            // the kernel's buffer holds only a few of the largest datagrams.
            if (datagram.size() > 16384 || i % 64 == 63)
                QThread::usleep(200);
        }
        QTRY_COMPARE(received.size(), sent.size());
        QCOMPARE(received, sent);
        QCOMPARE(senders, sentFrom);
        QByteArray none;
        QCOMPARE(array.element(2)->GetData(none).error().number, SocketErrors::NoDataWaiting);
    }

    // Close or Unload, in a handler or outside one, while the reader holds datagrams for the
    // element: none of them is announced afterwards (in a handler, none after the one it
    // handles), their memory goes back, the port is free at once, and a new Bind announces
    // only what arrives after it.
    void closingDropsWhatTheReaderHolds_data()
    {
        QTest::addColumn<bool>("unload");
        QTest::addColumn<bool>("inHandler");
        QTest::addColumn<int>("count");
        addRow("Close in the handler, within one batch", false, true, 5);
        addRow("Unload in the handler, within one batch", true, true, 5);
        addRow("Close in the handler, several batches held", false, true, 100);
        addRow("Unload in the handler, several batches held", true, true, 100);
        addRow("Close", false, false, 300);
        addRow("Unload", true, false, 300);
    }
    void closingDropsWhatTheReaderHolds()
    {
        QFETCH(bool, unload);
        QFETCH(bool, inHandler);
        QFETCH(int, count);
        BOUND(array, 1, port);
        const auto drop = [&] {
            if (unload)
                QVERIFY(array.Unload(1).ok());
            else
                array.element(1)->Close();
        };
        QList<QByteArray> received;
        QSignalSpy closed(&array, &UdpSocketArray::ElementClosed);
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64) {
            QByteArray data;
            QVERIFY(array.element(index)->GetData(data).ok());
            received << data;
            if (inHandler)
                drop();
        });
        QUdpSocket sender;
        for (int i = 0; i < count; ++i)
            sender.writeDatagram("datagram", QHostAddress::LocalHost, port);
        QVERIFY(waitBusy([&] { return heldBytes() == count * readerCost(8); }));
        if (inHandler)
            QTRY_COMPARE(received.size(), 1);
        else
            drop();
        QCOMPARE(heldBytes(), qint64(0));
        QCOMPARE(closed.count(), 1);
        QTest::qWait(50);
        QCOMPARE(received.size(), inHandler ? 1 : 0);
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
        probe.close();
        if (unload)
            return;
        QCOMPARE(array.element(1)->State(), int(UdpSocketElement::Closed));
        QVERIFY(array.element(1)->Bind(port).ok());
        sender.writeDatagram("after", QHostAddress::LocalHost, port);
        QTRY_COMPARE(received.size(), inHandler ? 2 : 1);
        QCOMPARE(received.last(), QByteArray("after"));
    }

    // A burst far beyond what the kernel's receive buffer holds, while the program's thread is
    // busy, is kept whole and in order: the reader thread takes it into the program's memory.
    void aBurstBeyondTheKernelBufferIsKept()
    {
        BOUND(array, 1, port);
        // The kernel charges a small datagram at least 768 bytes; twice what fits.
        const int count = 2 * array.element(1)->receiveBufferBytes() / 768;
        int received = 0, outOfOrder = 0;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64) {
            QByteArray data;
            array.element(index)->GetData(data);
            if (data.toInt() != received)
                ++outOfOrder;
            ++received;
        });
        QUdpSocket sender;
        for (int i = 0; i < count; ++i) {
            const QByteArray datagram = QByteArray::number(i).rightJustified(8, '0');
            if (sender.writeDatagram(datagram, QHostAddress::LocalHost, port) < 0)
                --i; // the sender's own buffer is full: again
            // Still busy (no events), but leaving the core now and then, so the reader runs
            // even where it has to share this one: the burst is the test, not the scheduler.
            if (i % 128 == 127)
                QThread::usleep(200);
        }
        QTRY_COMPARE_WITH_TIMEOUT(received, count, 60000);
        QCOMPARE(outOfOrder, 0);
        QCOMPARE(array.element(1)->refusedCount(), quint64(0));
    }

    // When the reader's budget is spent, it keeps reading and refuses what does not fit:
    // counted, said once per spell, and what fits is still handed over in order.
    void aFullBudgetRefusesAndSaysSoOncePerSpell_data()
    {
        QTest::addColumn<int>("budgetDatagrams");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("bursts");
        QTest::newRow("all fit") << 100 << 100 << 1;
        QTest::newRow("a fifth fits") << 20 << 100 << 1;
        QTest::newRow("nothing fits") << 0 << 10 << 1;
        QTest::newRow("two spells") << 20 << 100 << 2;
    }
    void aFullBudgetRefusesAndSaysSoOncePerSpell()
    {
        QFETCH(int, budgetDatagrams);
        QFETCH(int, sent);
        QFETCH(int, bursts);
        const int size = 100;
        const BudgetForTest budget(budgetDatagrams * readerCost(size));
        BOUND(array, 3, port);
        QList<int> received;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64) {
            QByteArray data;
            QVERIFY(array.element(index)->GetData(data).ok());
            received << data.left(8).toInt();
        });
        QSignalSpy refusing(&array, &UdpSocketArray::DatagramsRefused);
        QUdpSocket sender;
        const int kept = qMin(budgetDatagrams, sent);
        QList<int> expected;
        for (int burst = 0; burst < bursts; ++burst) {
            for (int i = 0; i < sent; ++i) {
                QByteArray datagram = QByteArray::number(burst * sent + i).rightJustified(8, '0');
                datagram.resize(size, 'r');
                sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
            }
            const quint64 refusedBefore = quint64(burst * (sent - kept));
            QVERIFY(waitBusy([&] {
                return heldBytes() == kept * readerCost(size) &&
                       array.element(3)->refusedCount() == refusedBefore + quint64(sent - kept);
            }));
            for (int i = 0; i < kept; ++i)
                expected << burst * sent + i;
            QTRY_COMPARE(received, expected);
            QTRY_COMPARE(heldBytes(), qint64(0));
        }
        const int spells = sent > kept ? bursts : 0;
        QTRY_COMPARE(refusing.count(), spells);
        QTest::qWait(20);
        QCOMPARE(refusing.count(), spells);
        QCOMPARE(array.element(3)->refusedCount(), quint64(bursts * (sent - kept)));
        for (const QList<QVariant> &signal : refusing)
            QCOMPARE(signal, (QList<QVariant>{3, port, budgetDatagrams * readerCost(size)}));
    }
};

VARNOCK_TEST_MAIN(TestUdpSocketArray)
#include "tst_udpsocketarray.moc"
