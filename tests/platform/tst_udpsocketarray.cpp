#include "FreePort.h"
#include "TestMain.h"

#include "platform/SocketErrors.h"
#include "platform/UdpSocketArray.h"

#include <QTest>
#include <QUdpSocket>

class TestUdpSocketArray : public QObject
{
    Q_OBJECT

private slots:
    void templateElementIsPresentAndUnbound()
    {
        UdpSocketArray array;
        QCOMPARE(array.indexes(), QList<int>{0});
        QCOMPARE(array.element(0)->LocalPort(), quint16(0));
        QCOMPARE(array.element(0)->State(), int(UdpSocketElement::Closed));
        QCOMPARE(array.Unload(0).error().number, SocketErrors::CannotUnloadDesignElement);
    }

    void loadAndUnloadByIndex()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(3).ok());
        QCOMPARE(array.Load(3).error().number, SocketErrors::ElementAlreadyLoaded);
        QCOMPARE(array.indexes(), (QList<int>{0, 3}));
        QVERIFY(array.Unload(3).ok());
        QCOMPARE(array.Unload(3).error().number, SocketErrors::ElementDoesNotExist);
        QVERIFY(!array.at(3).ok());
        QVERIFY(!array.Load(32768).ok());
    }

    void asksForALargeReceiveBuffer()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        QVERIFY(array.element(1)->Bind(freePort()).ok());
        // The kernel doubles what it grants; without the privilege to pass the system limit
        // it still grants more than its default of about 200 KiB.
        QVERIFY2(array.element(1)->receiveBufferBytes() > 256 * 1024,
                 qPrintable(QString::number(array.element(1)->receiveBufferBytes())));
    }

    // Datagrams are read in batches underneath; each still arrives alone, in order, whole,
    // with its sender, however many wait at once and whatever their size.
    void everyDatagramArrivesAloneInOrder_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("one") << QList<int>{120};
        QTest::newRow("empty and largest") << QList<int>{0, 65507, 1, 0};
        QList<int> many;
        for (int i = 0; i < 200; ++i) // within the kernel's default buffer, for non-root runs
            many << (i * 37) % 600;
        QTest::newRow("200 waiting: several batches") << many;
    }
    void everyDatagramArrivesAloneInOrder()
    {
        QFETCH(QList<int>, sizes);
        UdpSocketArray array;
        QVERIFY(array.Load(2).ok());
        const quint16 port = freePort();
        QVERIFY(array.element(2)->Bind(port).ok());
        QList<QByteArray> received;
        QList<quint16> senders;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64 bytes) {
            QByteArray data;
            UdpSocketElement *element = array.element(index);
            QVERIFY(element->GetData(data).ok());
            QCOMPARE(data.size(), bytes);
            QCOMPARE(element->RemoteHostIP(), QStringLiteral("127.0.0.1"));
            received << data;
            senders << quint16(element->RemotePort());
        });
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
        QList<QByteArray> sent;
        for (int i = 0; i < sizes.size(); ++i) {
            QByteArray datagram(sizes.at(i), char('a' + i % 26));
            if (datagram.size() >= 4)
                datagram.replace(0, 4, QByteArray::number(i).rightJustified(4, '0'));
            QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, port),
                     qint64(datagram.size()));
            sent << datagram;
        }
        QTRY_COMPARE(received.size(), sent.size());
        QCOMPARE(received, sent);
        QCOMPARE(senders, QList<quint16>(sent.size(), sender.localPort()));
        QByteArray none;
        QCOMPARE(array.element(2)->GetData(none).error().number, SocketErrors::NoDataWaiting);
    }

    void closingInTheHandlerDropsTheRestOfTheBatch()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        const quint16 port = freePort();
        QVERIFY(array.element(1)->Bind(port).ok());
        int arrivals = 0;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64) {
            ++arrivals;
            array.element(index)->Close();
        });
        QUdpSocket sender;
        for (int i = 0; i < 5; ++i)
            sender.writeDatagram("x", QHostAddress::LocalHost, port);
        QTRY_COMPARE(arrivals, 1);
        QTest::qWait(50);
        QCOMPARE(arrivals, 1);
        QCOMPARE(array.element(1)->State(), int(UdpSocketElement::Closed));
        // The port is free again for the next Bind.
        QVERIFY(array.element(1)->Bind(port).ok());
    }

    void aHeldPortIsAddressInUse()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        QVERIFY(array.Load(2).ok());
        const quint16 port = freePort();
        QVERIFY(array.element(1)->Bind(port).ok());
        const Status second = array.element(2)->Bind(port);
        QCOMPARE(second.error().number, SocketErrors::AddressInUse);
        QCOMPARE(second.error().description, QStringLiteral("Address in use"));
        QCOMPARE(array.element(1)->Bind(freePort()).error().number,
                 SocketErrors::InvalidOperationAtCurrentState);
        QCOMPARE(array.element(2)->State(), int(UdpSocketElement::Closed));
    }
};

VARNOCK_TEST_MAIN(TestUdpSocketArray)
#include "tst_udpsocketarray.moc"
