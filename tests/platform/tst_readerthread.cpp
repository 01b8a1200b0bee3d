#include "TestMain.h"

#include "platform/DatagramReader.h"
#include "platform/ReaderPause.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <thread>

#include <sys/resource.h>

namespace {

// The nice value of the process's thread with this name, read from /proc; -100 when none.
int niceOfThread(const QByteArray &name)
{
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name ||
            !stat.open(QIODevice::ReadOnly))
            continue;
        // The fields after the name, which ends at the last ')': nice is the 19th in all.
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2).split(' ').value(16).toInt();
    }
    return -100;
}

} // namespace

// How the thread that reads the sockets keeps the kernel's small buffer from overflowing: it
// pauses only as long as the last rate allows, and the threads that do the heavy work give way.
class TestReaderThread : public QObject
{
    Q_OBJECT

private slots:
    void pauseFollowsTheRateJustSeen_data()
    {
        QTest::addColumn<qint64>("read");
        QTest::addColumn<qint64>("sinceNs");
        QTest::addColumn<qint64>("pauseNs");
        QTest::addColumn<qint64>("room");
        addRow("nothing read: wait for the next", qint64(0), qint64(300000), qint64(0), 32LL);
        addRow("a trickle: the longest pause", qint64(3), qint64(260000),
               qint64(ReaderPause::LongestSmallNs), 32LL);
        addRow("200,000/s: the room's worth", qint64(64), qint64(320000), qint64(160000), 32LL);
        addRow("a burst: the shortest", qint64(512), qint64(100000),
               qint64(ReaderPause::ShortestNs), 32LL);
        addRow("a clock that went back", qint64(10), qint64(-5), qint64(ReaderPause::ShortestNs),
               32LL);
        // Several sockets' room: as long as a burst takes to fill it, and never longer than any.
        addRow("a trickle into a large room", qint64(3), qint64(260000), qint64(4096000), 2048LL);
        addRow("a trickle into the largest room", qint64(3), qint64(260000),
               qint64(ReaderPause::LongestNs), 65536LL);
    }
    void pauseFollowsTheRateJustSeen()
    {
        QFETCH(qint64, read);
        QFETCH(qint64, sinceNs);
        QFETCH(qint64, pauseNs);
        QFETCH(qint64, room);
        QCOMPARE(ReaderPause::after(read, sinceNs, room), pauseNs);
    }

    void threadsStartedAfterTheReaderGiveWay()
    {
        DatagramReader::shared();
        int later = -100;
        std::thread([&] { later = ::getpriority(PRIO_PROCESS, 0); }).join();
        // Ten steps below the reader, as far as the lowest priority (19) allows.
        QTRY_VERIFY(niceOfThread("varnock-reader") != -100); // it names itself once it runs
        const int reader = niceOfThread("varnock-reader");
        if (reader == 19)
            QSKIP("started at the lowest priority: nothing can give way");
        QCOMPARE(later, std::min(reader + 10, 19));
    }
};

VARNOCK_TEST_MAIN(TestReaderThread)
#include "tst_readerthread.moc"
