#include "TestMain.h"

#include "SpillFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    std::string damage;
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
// segment by segment, and a record cut short by a crash is left out, not misread.
class TestKeptRows : public QObject
{
    Q_OBJECT

private slots:
    void readsBackWhatWasKept_data()
    {
        QTest::addColumn<int>("cutBytes");
        QTest::addColumn<int>("batches");
        QTest::addColumn<bool>("damaged");
        addRow("whole file", 0, 3, false);
        addRow("last record cut short", 5, 2, true);
        addRow("only its checksum cut", 8, 2, true);
    }
    void readsBackWhatWasKept()
    {
        QFETCH(int, cutBytes);
        QFETCH(int, batches);
        QFETCH(bool, damaged);
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

        const Read read = readBack(path);
        QCOMPARE(read.segments, 2);
        QCOMPARE(int(read.batches.size()), batches);
        QCOMPARE(!read.damage.empty(), damaged);
        const RowBatch &back = read.batches.front();
        QCOMPARE(back.datagrams(), 2u);
        QCOMPARE(back.logPaths(), std::vector<std::string>{"/logs/a.log"});
        QCOMPARE(int(back.steps().size()), 2);
        QCOMPARE(back.values(back.steps()[0])[0].kind, Value::Kind::Ref);
        QCOMPARE(back.values(back.steps()[0])[0].integer, std::int64_t(7));
        QVERIFY(back.values(back.steps()[0])[1].bytes == allBytes);
        QCOMPARE(back.values(back.steps()[1])[1].bytes, std::string("writer"));
    }
};

VARNOCK_TEST_MAIN(TestKeptRows)
#include "tst_ledgerwell_keptrows.moc"
