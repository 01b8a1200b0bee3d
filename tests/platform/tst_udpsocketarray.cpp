#include "FreePort.h"
#include "TestMain.h"

#include "platform/SocketErrors.h"
#include "platform/UdpSocketArray.h"

#include <QSignalSpy>
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

    void secondBindOfAPortFails()
    {
        UdpSocketArray array;
        const quint16 port = freePort();
        QVERIFY(array.Load(1).ok());
        QVERIFY(array.Load(2).ok());
        QVERIFY(array.element(1)->Bind(port).ok());
        QCOMPARE(array.element(1)->State(), int(UdpSocketElement::Open));
        QCOMPARE(array.element(1)->LocalPort(), port);
        const Status second = array.element(2)->Bind(port);
        QVERIFY(!second.ok());
        QCOMPARE(second.error().number, SocketErrors::AddressInUse);
        QCOMPARE(second.error().description, QStringLiteral("Address in use"));
        QCOMPARE(array.element(2)->LocalPort(), quint16(0));

        // Closing frees the port for the other element.
        array.element(1)->Close();
        QCOMPARE(array.element(1)->LocalPort(), quint16(0));
        QVERIFY(array.element(2)->Bind(port).ok());
    }

    void portHeldByAnotherProgramFails()
    {
        QUdpSocket other; // binds the way most programs do, with address reuse
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        QCOMPARE(array.element(1)->Bind(other.localPort()).error().number,
                 SocketErrors::AddressInUse);
    }

    void invalidPortsAreRefused_data()
    {
        QTest::addColumn<qint64>("port");
        QTest::newRow("zero") << qint64(0);
        QTest::newRow("negative") << qint64(-5);
        QTest::newRow("above 65535") << qint64(70000);
    }
    void invalidPortsAreRefused()
    {
        QFETCH(qint64, port);
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        QCOMPARE(array.element(1)->Bind(port).error().number, SocketErrors::InvalidPropertyValue);
    }

    void everyDatagramIsAnnouncedOnce()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(4).ok());
        QVERIFY(array.element(4)->Bind(freePort()).ok());
        QList<QByteArray> received;
        QList<int> indexes;
        connect(&array, &UdpSocketArray::DataArrival, this, [&](int index, qint64 bytes) {
            QByteArray data;
            QVERIFY(array.element(index)->GetData(data).ok());
            QCOMPARE(data.size(), bytes);
            QCOMPARE(array.element(index)->RemoteHostIP(), QStringLiteral("127.0.0.1"));
            received.append(data);
            indexes.append(index);
        });
        QUdpSocket sender;
        const QList<QByteArray> sent = {QByteArray("a"), QByteArray(312, 'x'), QByteArray(),
                                        QByteArray(65000, '\xff')};
        for (const QByteArray &datagram : sent)
            sender.writeDatagram(datagram, QHostAddress::LocalHost, array.element(4)->LocalPort());
        QTRY_COMPARE(received.size(), sent.size());
        QCOMPARE(received, sent);
        QCOMPARE(indexes, QList<int>(sent.size(), 4));
    }

    void unloadedElementReceivesNothing()
    {
        UdpSocketArray array;
        QVERIFY(array.Load(1).ok());
        QVERIFY(array.element(1)->Bind(freePort()).ok());
        const quint16 port = array.element(1)->LocalPort();
        QVERIFY(array.Unload(1).ok());
        // The port is free again at once.
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress));
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
};

VARNOCK_TEST_MAIN(TestUdpSocketArray)
#include "tst_udpsocketarray.moc"
