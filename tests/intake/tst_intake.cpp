#include "IntakeBench.h"
#include "ReaderBudget.h"
#include "TestMain.h"

#include "intake/DroppedDatagram.h"
#include "state/TextFunctions.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Real datagrams on 127.0.0.1, handed to the real recording component loaded from its library.
class TestIntake : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m = std::make_unique<IntakeBench>();
        QCOMPARE(m->sender.state(), QAbstractSocket::BoundState);
        qunsetenv("RECORDING_COMPONENT_FAIL");
        QVERIFY(IntakeBench::registerRecordingComponent());
    }
    void cleanup() { m.reset(); }

    void everyDatagramReachesItsConnection()
    {
        const quint16 portA = m->listen(1, "Provider=SQLite;Data Source=/a.db", "/logs/a.log");
        const quint16 portB = m->listen(2, "Provider=SQLite;Data Source=/b.db", "/logs/b.log");
        m->state.RawLogging = 5;

        QList<QByteArray> sent;
        sent << QByteArray() << QByteArray(1, 'L') << QByteArray(312, 'x');
        for (int i = 0; i < 1000; ++i)
            sent << QByteArray("L 12/04/2026 - 06:44:50: burst ") + QByteArray::number(i);
        sent << QByteArray(65000, '\x7f');
        for (const QByteArray &datagram : sent) {
            send(datagram, portA);
            send(datagram, portB);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m->intake.handedOver(), quint64(2 * sent.size()), 20000);
        QCOMPARE(m->intake.dropped(), quint64(0));

        const QList<RecordedInstance> instances = m->recorded();
        QCOMPARE(instances.size(), 2 * sent.size());
        QMap<QString, QList<QByteArray>> payloadsByPort;
        for (int i = 0; i < instances.size(); ++i) {
            const RecordedInstance &instance = instances.at(i);
            QStringList expected = IntakeBench::Calls;
            if (i + 1 < instances.size())
                expected << "Release"; // replaced by the next datagram's instance
            QCOMPARE(instance.members(), expected);
            const QString port = instance.value("ListenPort");
            const bool isA = port == QString::number(portA);
            QVERIFY(isA || port == QString::number(portB));
            QCOMPARE(instance.value("ConnectionString"), m->state.ConnStrings.at(isA ? 1 : 2));
            QCOMPARE(instance.value("LogPath"),
                     isA ? QStringLiteral("/logs/a.log") : QStringLiteral("/logs/b.log"));
            QCOMPARE(instance.value("SenderIP"), QStringLiteral("127.0.0.1"));
            QCOMPARE(instance.value("SenderPort"), QString::number(m->sender.localPort()));
            QCOMPARE(instance.value("RawMode"), QStringLiteral("5"));
            payloadsByPort[port].append(instance.payload());
        }
        QCOMPARE(payloadsByPort.value(QString::number(portA)), sent);
        QCOMPARE(payloadsByPort.value(QString::number(portB)), sent);

        const QRegularExpression arrival(
            QStringLiteral(
                "^Log recieved on port (%1|%2) at (.+) from IP Address: 127\\.0\\.0\\.1:%3 "
                "containing 65000 bytes of data\\.$")
                .arg(portA)
                .arg(portB)
                .arg(m->sender.localPort()));
        const QRegularExpressionMatch match = arrival.match(m->state.Label1.caption());
        QVERIFY2(match.hasMatch(), qPrintable(m->state.Label1.caption()));
        QVERIFY2(match.captured(2).contains(QString::number(QDate::currentDate().year())),
                 qPrintable(m->state.Label1.caption()));
    }

    // A flood beyond the reader's budget, while the program's thread is busy: what fits is
    // handed over, the rest is counted, and the status line says why, once a spell (the next
    // datagram's announcement follows it, as every datagram's does).
    void aFullBudgetIsShownInTheStatusLine_data()
    {
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QString>("megabytes");
        QTest::newRow("whole megabytes") << qint64(1024 * 1024) << "1";
        QTest::newRow("more than one turn of the loop") << qint64(3 * 1024 * 1024 / 2) << "1.50";
    }
    void aFullBudgetIsShownInTheStatusLine()
    {
        QFETCH(qint64, budget);
        QFETCH(QString, megabytes);
        const BudgetForTest limit(budget);
        const quint16 port = m->listen(2, "P=x", "/l");
        const QByteArray datagram(1000, 'd');
        const int kept = int(budget / readerCost(datagram.size()));
        const int sent = kept + 150;
        for (int i = 0; i < sent; ++i)
            send(datagram, port);
        const UdpSocketElement *element = m->state.udpPeerB.element(2);
        QSignalSpy captions(&m->state.Label1, &StatusLine::captionChanged);
        QVERIFY(waitBusy([&] { return element->refusedCount() == quint64(sent - kept); }));
        QTRY_COMPARE_WITH_TIMEOUT(m->intake.handedOver(), quint64(kept), 20000);
        QCOMPARE(m->intake.refusalSpells(), quint64(1));
        const QString refused =
            QStringLiteral("Datagrams on port %1 (connection 2) were refused: the program holds "
                           "%2 MB of datagrams not yet handed over.")
                .arg(port)
                .arg(megabytes);
        int told = 0;
        for (const QList<QVariant> &caption : captions)
            told += caption.at(0).toString() == refused ? 1 : 0;
        QCOMPARE(told, 1);
    }

    // The date and time text: the locale's short date with the year in full, a blank, its
    // long time without a zone.
    void arrivalDateAndTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        addRow("United States", "en_US", "12/4/2026 6:44:50 AM");
        addRow("Germany", "de_DE", "04.12.2026 06:44:50");
        addRow("United Kingdom", "en_GB", "04/12/2026 06:44:50");
    }
    void arrivalDateAndTime()
    {
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const QString text =
            ArrivalText().dateTimeText(QDateTime(QDate(2026, 12, 4), QTime(6, 44, 50)));
        QLocale::setDefault(before);
        QCOMPARE(text, expected);
    }

    void deletedAndSortedRowsKeepTheirNumbers()
    {
        const quint16 portA = m->listen(1, "first", "/a");
        const quint16 portB = m->listen(2, "second", "/b");
        const quint16 portC = m->listen(3, "third", "/c");
        m->state.ListView1.sortBy(ConnectionList::LogColumn,
                                  Qt::DescendingOrder); // con3, con2, con1

        // Delete connection 1 the way the Tools command does.
        m->state.ConnStrings[1].clear();
        m->state.udpPeerB.element(1)->Close();
        QVERIFY(m->state.udpPeerB.Unload(1).ok());
        QVERIFY(m->state.ListView1.remove(ConnKey(1)));
        // Nothing holds port A any more, so nothing can receive what is sent to it.
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, portA, QAbstractSocket::DontShareAddress));
        probe.close();

        send("to a", portA);
        send("to b", portB);
        send("to c", portC);
        QTRY_COMPARE(m->intake.handedOver(), quint64(2));
        const QList<RecordedInstance> instances = m->recorded();
        QCOMPARE(instances.size(), 2);
        QCOMPARE(instances.at(0).value("ConnectionString"), QStringLiteral("second"));
        QCOMPARE(instances.at(0).value("LogPath"), QStringLiteral("/b"));
        QCOMPARE(instances.at(0).payload(), QByteArray("to b"));
        QCOMPARE(instances.at(1).value("ConnectionString"), QStringLiteral("third"));
        QCOMPARE(instances.at(1).payload(), QByteArray("to c"));
    }

    void failuresDropOneDatagramAndKeepReceiving_data()
    {
        QTest::addColumn<QString>("member");
        for (const QString &member : IntakeBench::Calls.mid(1))
            addRow(qPrintable(member), member);
    }
    void failuresDropOneDatagramAndKeepReceiving()
    {
        QFETCH(QString, member);
        const quint16 port = m->listen(1, "P=x", "/l");
        qputenv("RECORDING_COMPONENT_FAIL", member.toLatin1());
        send("first", port);
        QTRY_COMPARE(m->intake.dropped(), quint64(1));
        QVERIFY2(m->state.Label1.caption().startsWith(
                     QStringLiteral("Error # -2147467259:Injected failure in %1").arg(member)),
                 qPrintable(m->state.Label1.caption()));
        QVERIFY(m->state.Label1.caption().contains(QString::number(port)));
        // The calls stop at the failing one.
        const RecordedInstance failed = m->recorded().first();
        QCOMPARE(failed.members().last(), member);

        qunsetenv("RECORDING_COMPONENT_FAIL");
        send("second", port);
        QTRY_COMPARE(m->intake.handedOver(), quint64(1));
        QVERIFY(m->state.Label1.caption().startsWith(QStringLiteral("Log recieved on port ")));
    }

    // The status line's drop message is one sentence, whatever the failure's text ends with.
    void droppedDatagramTexts_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        const QString tail =
            QStringLiteral(" while handling 312 bytes of data on port 28000 (connection 3); the "
                           "datagram was dropped.");
        addRow("a sentence of its own", "The connection string names no Provider.",
               "Error # -2147467259:The connection string names no Provider" + tail);
        addRow("no full stop", "Element not found: no connection row con3",
               "Error # -2147467259:Element not found: no connection row con3" + tail);
        addRow("full stop and blanks", "Ledgerwell ran out of memory.  \n",
               "Error # -2147467259:Ledgerwell ran out of memory" + tail);
        addRow("over two lines", "server closed the connection\nunexpectedly.",
               "Error # -2147467259:server closed the connection unexpectedly" + tail);
        addRow("markers of its own", "no row %3 in %1",
               "Error # -2147467259:no row %3 in %1" + tail);
    }
    void droppedDatagramTexts()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(droppedDatagramText(ErrorInfo{-2147467259, description}, 312,
                                     QStringLiteral("28000"), 3),
                 expected);
    }

    // A component that keeps the program waiting is told once a spell, then the status line
    // announces datagrams again.
    void slowComponentIsToldOncePerSpell_data()
    {
        QTest::addColumn<QByteArrayList>("payloads");
        QTest::addColumn<int>("notices");
        addRow("one slow datagram", QByteArrayList{"slow"}, 1);
        addRow("a spell of three", QByteArrayList{"slow 1", "slow 2", "slow 3"}, 1);
        addRow("a quick one ends the spell", QByteArrayList{"slow 1", "quick", "slow 2"}, 2);
        addRow("quick ones only", QByteArrayList{"quick 1", "quick 2"}, 0);
    }
    void slowComponentIsToldOncePerSpell()
    {
        QFETCH(QByteArrayList, payloads);
        QFETCH(int, notices);
        qputenv("RECORDING_COMPONENT_SLOW_MS", "600");
        const quint16 port = m->listen(1, "P=x", "/l");
        QStringList told;
        connect(&m->state.Label1, &StatusLine::captionChanged, this, [&](const QString &caption) {
            if (caption.startsWith(QStringLiteral("The scoring component took")))
                told << caption;
        });
        for (const QByteArray &payload : payloads)
            send(payload, port);
        QTRY_COMPARE_WITH_TIMEOUT(m->intake.handedOver(), quint64(payloads.size()), 20000);
        qunsetenv("RECORDING_COMPONENT_SLOW_MS");
        QCOMPARE(told.size(), notices);
        for (const QString &notice : told)
            QVERIFY2(notice.contains(QStringLiteral(" on port %1;").arg(port)), qPrintable(notice));

        send("quick at last", port);
        QTRY_COMPARE(m->intake.handedOver(), quint64(payloads.size() + 1));
        QVERIFY(m->state.Label1.caption().startsWith(QStringLiteral("Log recieved on port ")));
    }

    void unregisteredComponentIsReportedUntilRegistered()
    {
        QFile::remove(ClassRegistry::userFilePath());
        const quint16 port = m->listen(1, "P=x", "/l");
        send("lost", port);
        QTRY_COMPARE(m->intake.dropped(), quint64(1));
        QVERIFY2(m->state.Label1.caption().contains(
                     QStringLiteral("Class not registered: Ledgerwell.Score_Class")),
                 qPrintable(m->state.Label1.caption()));

        QVERIFY(IntakeBench::registerRecordingComponent());
        send("kept", port);
        QTRY_COMPARE(m->intake.handedOver(), quint64(1));
        QCOMPARE(m->recorded().first().payload(), QByteArray("kept"));
    }

private:
    void send(const QByteArray &datagram, quint16 port)
    {
        QCOMPARE(m->sender.writeDatagram(datagram, QHostAddress::LocalHost, port),
                 qint64(datagram.size()));
    }

    std::unique_ptr<IntakeBench> m;
};

VARNOCK_TEST_MAIN(TestIntake)
#include "tst_intake.moc"
