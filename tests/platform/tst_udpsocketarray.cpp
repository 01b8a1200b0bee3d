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
};

VARNOCK_TEST_MAIN(TestUdpSocketArray)
#include "tst_udpsocketarray.moc"
