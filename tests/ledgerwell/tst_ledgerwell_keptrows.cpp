#include "TestMain.h"

#include "SpillFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace ledgerwell;

namespace {

RowBatch batchOf(int datagrams, const std::string &text)
{
    RowBatch batch;
    // A row referring to one not yet written, a number and a text with every byte value.
    batch.add(insertInto(Table::Weapons), Value{Value::Kind::Ref, 7, 0, {}}, Value::of(text));
    batch.add(insertInto(Table::Commits), Value::of(std::int64_t(datagrams)),
              Value::of(std::string("writer")), Value::of(std::string("2026-12-06 21:00:00")));
    for (int d = 0; d < datagrams; ++d)
        batch.countDatagram(RowBatch::Clock::now(), "/logs/a.log");
    return batch;
}

struct Read
{
    int segments = 0;
    std::vector<RowBatch> batches;
    spill::Damage damage;
};

Read readBack(const std::string &path)
{
    Read read;
    std::string error;
    spill::read(
        path, [&] { ++read.segments; },
        [&](RowBatch &&batch) { read.batches.push_back(std::move(batch)); }, read.damage, error);
    return read;
}

} // namespace

// The file that keeps rows from one run to the next: what is appended comes back as it was,
// segment by segment; a record cut short by a crash or damaged in the middle is left out, not
// misread, and reading goes on with the next intact one.
class TestKeptRows : public QObject
{
    Q_OBJECT

private slots:
    // Offsets: the segment mark takes bytes 0-7, the first record's length 8-11, its body
    // from 12 on.
    void readsBackWhatWasKept_data()
    {
        QTest::addColumn<int>("cutBytes");
        QTest::addColumn<int>("badByte"); // -1: none
        QTest::addColumn<QList<int>>("datagrams");
        QTest::addColumn<int>("stretches");
        QTest::newRow("whole file") << 0 << -1 << QList<int>{2, 3, 1} << 0;
        QTest::newRow("last record cut short") << 5 << -1 << QList<int>{2, 3} << 1;
        QTest::newRow("only its checksum cut") << 8 << -1 << QList<int>{2, 3} << 1;
        QTest::newRow("a bad byte in a record") << 0 << 40 << QList<int>{3, 1} << 1;
        QTest::newRow("a bad byte in a length") << 0 << 9 << QList<int>{3, 1} << 1;
        QTest::newRow("a bad segment mark") << 0 << 0 << QList<int>{1} << 1;
    }
    void readsBackWhatWasKept()
    {
        QFETCH(int, cutBytes);
        QFETCH(int, badByte);
        QFETCH(QList<int>, datagrams);
        QFETCH(int, stretches);
        QTemporaryDir dir;
        const std::string path = spill::pathFor(dir.path().toStdString(), "sqlite:/x/stats.db");
        std::string allBytes;
        for (int c = 0; c < 256; ++c)
            allBytes += char(c);
        const RowBatch first = batchOf(2, allBytes), second = batchOf(3, "ak47"),
                       third = batchOf(1, "");
        std::string error;
        QVERIFY(spill::append(path, {&first, &second}, error));
        QVERIFY(spill::append(path, {&third}, error)); // a second run's segment
        QFile file(QString::fromStdString(path));
        QVERIFY(file.resize(file.size() - cutBytes));
        if (badByte >= 0) {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            bytes[badByte] = char(bytes[badByte] ^ 0x5A);
            QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
            file.close();
        }

        const Read read = readBack(path);
        QList<int> readDatagrams;
        for (const RowBatch &batch : read.batches)
            readDatagrams << int(batch.datagrams());
        QCOMPARE(readDatagrams, datagrams);
        QCOMPARE(int(read.damage.stretches), stretches);
        QCOMPARE(read.damage.text.empty(), stretches == 0);
        QCOMPARE(read.segments, badByte == 0 ? 1 : 2);
        if (datagrams.first() != 2)
            return;
        const RowBatch &back = read.batches.front();
        QCOMPARE(back.logPaths(), std::vector<std::string>{"/logs/a.log"});
        QCOMPARE(int(back.steps().size()), 2);
        QCOMPARE(back.values(back.steps()[0])[0].kind, Value::Kind::Ref);
        QCOMPARE(back.values(back.steps()[0])[0].integer, std::int64_t(7));
        QVERIFY(back.values(back.steps()[0])[1].bytes == allBytes);
        QCOMPARE(back.values(back.steps()[1])[1].bytes, std::string("writer"));
    }

    // Rows kept by the version before Ledgerwell_Details, whose statements after the inserts
    // were numbered one lower, come back as the statements they were.
    void readsRowsOfTheVersionBefore()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("kept.rows").toStdString();
        RowBatch batch;
        batch.add(Statement::UpdateServer, Value::of(std::string("name")),
                  Value::of(std::int64_t(3)), Value::null(), Value::of(std::int64_t(1)));
        std::string error;
        QVERIFY(spill::append(path, {&batch}, error));
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        quint32 size = 0;
        std::memcpy(&size, bytes.constData() + 8, 4);
        bytes[7] = '1';
        bytes[16] = char(bytes[16] - 1); // the statement of the record's first step
        quint64 sum = 14695981039346656037ull;
        for (const char c : bytes.mid(12, size))
            sum = (sum ^ quint8(c)) * 1099511628211ull;
        std::memcpy(bytes.data() + 12 + size, &sum, 8);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();
        const Read read = readBack(path);
        QCOMPARE(int(read.batches.size()), 1);
        QVERIFY(read.batches.front().steps().front().statement == Statement::UpdateServer);
    }

    // A damaged file is kept aside under a name of its own, never over an earlier one.
    void keepsDamagedFileAside()
    {
        QTemporaryDir dir;
        const std::string path = dir.filePath("kept.rows").toStdString();
        std::string error;
        for (const char *expected : {"kept.rows.damaged", "kept.rows.damaged-2"}) {
            QFile file(QString::fromStdString(path));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(expected) > 0);
            file.close();
            QCOMPARE(spill::keepAside(path, error), dir.filePath(expected).toStdString());
            QVERIFY(!QFile::exists(QString::fromStdString(path)));
        }
        QFile earlier(dir.filePath("kept.rows.damaged"));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("kept.rows.damaged"));
    }
};

VARNOCK_TEST_MAIN(TestKeptRows)
#include "tst_ledgerwell_keptrows.moc"
