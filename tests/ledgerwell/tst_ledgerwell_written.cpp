#include "LedgerwellHarness.h"
#include "TestMain.h"

#include "ConnectionSettings.h"
#include "PgDatabase.h"
#include "SqliteDatabase.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace ledgerwell;

// What the PostgreSQL writer stores is what it was given, whether a table's rows go by COPY
// (many in a transaction) or as inserts (a few).
class TestLedgerwellWritten : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void valuesReadBackAsGiven_data()
    {
        QTest::addColumn<QByteArray>("text");  // Log_IP
        QTest::addColumn<QByteArray>("bytes"); // Log_Data
        QTest::addColumn<double>("real");      // Offset of Scores
        QTest::addColumn<QStringList>("stored");
        QByteArray everyByte;
        for (int c = 0; c < 256; ++c)
            everyByte += char(c);
        QTest::newRow("what COPY escapes")
            << QByteArray("a\\b\tc\nd\re\\N") << QByteArray("\\\t\n\r") << -0.25
            << QStringList{"a\\b\tc\nd\re\\N", "27015", "x5c090a0d", "-0.25"};
        QTest::newRow("every byte value, UTF-8 text")
            << QByteArray("J\xc3\xb6rg \xe2\x9c\x93") << everyByte << 1e-7
            << QStringList{QString::fromUtf8("J\xc3\xb6rg \xe2\x9c\x93"), "27015",
                           "x" + QString::fromLatin1(everyByte.toHex()), "1e-07"};
        QTest::newRow("a text ends at a zero byte, empty bytes")
            << QByteArray("ab\0cd", 5) << QByteArray() << 0.0
            << QStringList{"ab", "27015", "x", "0"};
    }
    void valuesReadBackAsGiven()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(double, real);
        QFETCH(QStringList, stored);
        TEST_DATABASE(db, Engine::Postgres, m_dir.path());
        std::string error;
        const auto settings = parseConnectionString(db->connectionString().toStdString(), error);
        QVERIFY2(settings, error.c_str());
        const std::unique_ptr<PgDatabase> pg = PgDatabase::open(*settings, error);
        QVERIFY2(pg, error.c_str());
        QVERIFY(pg->refreshTables().empty());

        std::int64_t record = 0;
        for (const int rows : {1, 20}) { // inserts, then COPY
            RowBatch batch;
            for (int r = 0; r < rows; ++r) {
                ++record;
                batch.add(insertInto(Table::Logs), Value::of(record), Value::of(text.toStdString()),
                          Value::of(std::int64_t(27015)), Value::blob(bytes.toStdString()),
                          Value::of(std::string("2026-03-14 20:00:00")));
                batch.add(insertInto(Table::Scores), Value::of(record), Value::of(record),
                          Value::null(), Value::null(), Value::null(), Value::of(std::int64_t(1)),
                          Value::of(real));
            }
            RecordNumbers numbers;
            const WriteReport report = pg->write(batch, numbers);
            QCOMPARE(report.outcome, WriteReport::Outcome::Written);
            QCOMPARE(report.inserted, std::uint64_t(2 * rows));
        }
        QCOMPARE(db->rows("SELECT DISTINCT l.Log_IP, l.Log_Port, l.Log_Data, s.\"offset\" FROM "
                          "Logs l JOIN Scores s ON s.Record = l.Record"),
                 QList<QStringList>{stored});
        // Written the first time: a transaction tried again row by row would be rolled back.
        std::string flushed;
        QVERIFY(pg->query(
            "SELECT pg_stat_force_next_flush()", [](const Database::Row &) {}, flushed));
        QVERIFY(pg->query(
            "SELECT 1", [](const Database::Row &) {}, flushed));
        QCOMPARE(db->value("SELECT xact_rollback FROM pg_stat_database WHERE datname = "
                           "current_database()"),
                 QStringLiteral("0"));
    }

    // Rows refer to rows of their own transaction before either has a Record. References come
    // in increasing order; one that does not (lower than the first, or far beyond the rest)
    // must still find its row.
    void referencesFindTheirRowsInAnyOrder()
    {
        TEST_DATABASE(db, Engine::Sqlite, m_dir.path());
        std::string error;
        const auto settings = parseConnectionString(db->connectionString().toStdString(), error);
        QVERIFY2(settings, error.c_str());
        const std::unique_ptr<SqliteDatabase> sqlite = SqliteDatabase::open(settings->file, error);
        QVERIFY2(sqlite, error.c_str());
        QVERIFY(sqlite->refreshTables().empty());
        RowBatch batch;
        QList<QStringList> expected;
        for (const std::int64_t reference : {7, 8, 3, 9000, 9}) {
            const std::string ip = "10.0.0." + std::to_string(reference);
            batch.add(insertInto(Table::Logs), Value::record(-reference), Value::of(ip),
                      Value::of(std::int64_t(27015)), Value::blob("x"), Value::null());
            batch.add(insertInto(Table::Scores), Value::record(-(reference + 20000)),
                      Value::record(-reference), Value::null(), Value::null(), Value::null(),
                      Value::of(reference), Value::of(0.0));
            expected.append({QString::number(reference), QString::fromStdString(ip)});
        }
        RecordNumbers numbers;
        QCOMPARE(sqlite->write(batch, numbers).outcome, WriteReport::Outcome::Written);
        std::sort(expected.begin(), expected.end(), [](const QStringList &a, const QStringList &b) {
            return a[0].toInt() < b[0].toInt();
        });
        QCOMPARE(db->rows("SELECT s.Score, l.Log_IP FROM Scores s JOIN Logs l ON l.Record = "
                          "s.Killer ORDER BY s.Score"),
                 expected);
    }

private:
    QTemporaryDir m_dir;
};

VARNOCK_TEST_MAIN(TestLedgerwellWritten)
#include "tst_ledgerwell_written.moc"
