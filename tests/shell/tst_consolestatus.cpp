#include "TestMain.h"

#include "shell/ConsoleStatus.h"
#include "state/StatusLine.h"

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>

class TestConsoleStatus : public QObject
{
    Q_OBJECT

private slots:
    void burstsAreSummarisedPerPort()
    {
        FILE *out = std::tmpfile();
        QVERIFY(out);
        StatusLine status;
        {
            ConsoleStatus console(status, out);
            status.setCaption(QStringLiteral("Varnock_UDP is receiving."));
            for (int i = 1; i <= 1000; ++i) {
                status.setCaption(arrival(28000, i));
                if (i % 2 == 0)
                    status.setCaption(arrival(28001, i));
            }
            for (int i = 1; i <= 3; ++i) // two held back: the fewest a summary counts
                status.setCaption(arrival(28002, i));
            status.setCaption(QStringLiteral("Error # 1:something"));
            // The held-back announcements come out once their second is over.
            QTRY_COMPARE_WITH_TIMEOUT(lines(out).size(), 8, 5000);
        }
        const QStringList printed = lines(out);
        QCOMPARE(printed.at(0), QStringLiteral("Varnock_UDP is receiving."));
        QCOMPARE(printed.at(1), arrival(28000, 1));
        QCOMPARE(printed.at(2), arrival(28001, 2));
        QCOMPARE(printed.at(3), arrival(28002, 1));
        QCOMPARE(printed.at(4), QStringLiteral("Error # 1:something"));
        const QStringList summaries = printed.mid(5);
        QVERIFY(summaries.contains(arrival(28000, 1000) +
                                   " (999 datagrams on this port since the previous line)"));
        QVERIFY(summaries.contains(arrival(28001, 1000) +
                                   " (499 datagrams on this port since the previous line)"));
        QVERIFY(summaries.contains(arrival(28002, 3) +
                                   " (2 datagrams on this port since the previous line)"));
        std::fclose(out);
    }

    void flushWritesWhatIsHeldBack()
    {
        FILE *out = std::tmpfile();
        StatusLine status;
        ConsoleStatus console(status, out);
        status.setCaption(arrival(7777, 1));
        status.setCaption(arrival(7777, 2));
        QCOMPARE(lines(out).size(), 1);
        console.flush();
        QCOMPARE(lines(out), QStringList({arrival(7777, 1), arrival(7777, 2)}));
        std::fclose(out);
    }

private:
    static QString arrival(int port, int n)
    {
        return QStringLiteral(
                   "Log recieved on port %1 at 12/4/26 6:44:50 AM from IP Address: 127.0.0.1:5000 "
                   "containing %2 bytes of data.")
            .arg(port)
            .arg(n);
    }
    static QStringList lines(FILE *out)
    {
        std::fflush(out);
        std::rewind(out);
        QString text;
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, out))
            text += QString::fromUtf8(buffer);
        std::fseek(out, 0, SEEK_END);
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

VARNOCK_TEST_MAIN(TestConsoleStatus)
#include "tst_consolestatus.moc"
