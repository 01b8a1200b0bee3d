#include "TestMain.h"

#include "PgTestDatabase.h"
#include "TestFiles.h"

#include "platform/ConnectionString.h"
#include "platform/DbErrors.h"
#include "platform/SqlConnection.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString sqliteString(const QString &path, const QString &extra = QString())
{
    return QStringLiteral("Provider=SQLite;Data Source=") + path + extra;
}

// TABLE_NAME=TABLE_TYPE of every row, sorted.
QStringList tableList(const QList<DbRecord> &rows)
{
    QStringList values;
    for (const DbRecord &row : rows) {
        values.append(row.field(QStringLiteral("TABLE_NAME"))->toString() + QLatin1Char('=') +
                      row.field(QStringLiteral("TABLE_TYPE"))->toString());
    }
    values.sort();
    return values;
}

// The waiter's statement meets the holder's lock as Locked, inside a transaction that stays
// open, and goes through once the holder has committed.
void lockedUntilCommitted(SqlConnection &holder, SqlConnection &waiter, const QString &statement)
{
    QVERIFY(waiter.BeginTrans());
    const Status blocked = waiter.Execute(statement);
    QVERIFY(!blocked);
    QCOMPARE(blocked.error().number, DbErrors::Locked);
    QVERIFY2(blocked.error().description.contains(QLatin1String("locked")),
             qPrintable(blocked.error().description));
    QVERIFY(holder.CommitTrans());
    QVERIFY(waiter.Execute(statement));
    QVERIFY(waiter.CommitTrans());
}

} // namespace

class TestDbConnection : public QObject
{
    Q_OBJECT

private slots:
    void openFailures_data()
    {
        QTest::addColumn<QString>("connString");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");

        addRow("unknown provider", "Provider=Microsoft.ACE.OLEDB.99;Data Source=x",
               DbErrors::ProviderNotFound, "Microsoft.ACE.OLEDB.99");
        addRow("no provider", "Data Source=x", DbErrors::ProviderNotFound, "names no Provider");
        addRow("not a database", "Provider=SQLite;Data Source=<text>", DbErrors::OpenFailed,
               "not a database");
        addRow("bad busy timeout", "Provider=SQLite;Data Source=<empty>;Busy Timeout=soon",
               DbErrors::OpenFailed, "Busy Timeout");
        addRow("postgres bad port", "Provider=PostgreSQL;Data Source=127.0.0.1:99999",
               DbErrors::OpenFailed, "99999");
        addRow("odbc unknown data source", "Provider=MSDASQL;Data Source=varnock_no_such_dsn",
               DbErrors::OpenFailed, "varnock_no_such_dsn");
        // A file that is not there is never created, whichever file provider is named.
        for (const char *provider :
             {"Microsoft.Jet.OLEDB.3.51", "Microsoft.Jet.OLEDB.4.0", "SQLite"})
            addRow(provider,
                   QStringLiteral("Provider=%1;Persist Security Info=False;"
                                  "Data Source=<missing>")
                       .arg(QLatin1String(provider)),
                   DbErrors::OpenFailed, QStringLiteral("Could not find file '<missing>'."));
    }
    void openFailures()
    {
        QFETCH(QString, connString);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        QTemporaryDir dir;
        QFile text(dir.filePath(QStringLiteral("notes.txt")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray("These are notes, not a database. ").repeated(64));
        text.close();
        const QString missing = dir.filePath(QStringLiteral("test.mdb"));
        connString.replace(QLatin1String("<text>"), text.fileName())
            .replace(QLatin1String("<empty>"), emptyDatabase(dir.filePath("db.sqlite")))
            .replace(QLatin1String("<missing>"), missing);
        mentions.replace(QLatin1String("<missing>"), missing);

        const QStringList before = QSqlDatabase::connectionNames();
        SqlConnection connection;
        const Status opened = connection.Open(connString);
        QVERIFY(!opened);
        QCOMPARE(opened.error().number, number);
        QVERIFY2(opened.error().description.contains(mentions),
                 qPrintable(opened.error().description));
        QCOMPARE(QSqlDatabase::connectionNames(), before);
        QCOMPARE(connection.Close().error().number, DbErrors::ObjectClosed);
        QVERIFY(!QFile::exists(missing));
    }

    void transactions()
    {
        QTemporaryDir dir;
        const QString path = emptyDatabase(dir.filePath("db.sqlite"));
        SqlConnection connection;
        QCOMPARE(connection.BeginTrans().error().number, DbErrors::ObjectClosed);
        QVERIFY(connection.Open(sqliteString(path)));
        QCOMPARE(connection.CommitTrans().error().number, DbErrors::NoTransaction);
        QCOMPARE(connection.RollbackTrans().error().number, DbErrors::NoTransaction);

        QVERIFY(connection.BeginTrans());
        QVERIFY(connection.Execute(QStringLiteral("Create Table Kept (Record INTEGER)")));
        QVERIFY(connection.CommitTrans());
        QVERIFY(connection.BeginTrans());
        QVERIFY(connection.Execute(QStringLiteral("Create Table Dropped (Record INTEGER)")));
        QVERIFY(connection.RollbackTrans());
        // Left open: closing discards it.
        QVERIFY(connection.BeginTrans());
        QVERIFY(connection.Execute(QStringLiteral("Create Table Abandoned (Record INTEGER)")));
        QVERIFY(connection.Close());

        QVERIFY(connection.Open(sqliteString(path)));
        const Result<QList<DbRecord>> tables = connection.OpenSchema(SchemaKind::Tables);
        QVERIFY(tables);
        QCOMPARE(tableList(*tables), QStringList{QStringLiteral("Kept=TABLE")});
    }

    void sqliteStatementErrors_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("word");

        addRow("table exists", "Create Table Cvars (Record INTEGER)", DbErrors::Duplicate,
               "duplicate");
        addRow("view of that name", "Create Table Maps (Record INTEGER)", DbErrors::Duplicate,
               "duplicate");
        addRow("unique key", "Insert Into Cvars (Record) Values (1)", DbErrors::Duplicate,
               "duplicate");
        addRow("syntax", "Create Tabel X (Record INTEGER)", DbErrors::CommandFailed,
               "syntax error");
    }
    void sqliteStatementErrors()
    {
        QFETCH(QString, statement);
        QFETCH(int, number);
        QFETCH(QString, word);
        QTemporaryDir dir;
        SqlConnection connection;
        QVERIFY(connection.Open(sqliteString(emptyDatabase(dir.filePath("db.sqlite")))));
        QVERIFY(connection.Execute(
            QStringLiteral("Create Table Cvars (Record INTEGER Constraint CU1 Unique)")));
        QVERIFY(connection.Execute(QStringLiteral("Insert Into Cvars (Record) Values (1)")));
        QVERIFY(connection.Execute(QStringLiteral("Create View Maps As Select 1 As Map")));

        const Status done = connection.Execute(statement);
        QVERIFY(!done);
        QCOMPARE(done.error().number, number);
        QVERIFY2(done.error().description.contains(word), qPrintable(done.error().description));
        QVERIFY(!done.error().description.contains(QLatin1String("locked")));
    }

    void sqliteBusyDatabaseIsLocked()
    {
        QTemporaryDir dir;
        const QString path = emptyDatabase(dir.filePath("db.sqlite"));
        SqlConnection holder;
        SqlConnection waiter;
        QVERIFY(holder.Open(sqliteString(path)));
        QVERIFY(waiter.Open(sqliteString(path, QStringLiteral(";Busy Timeout=100"))));
        QVERIFY(holder.BeginTrans());
        QVERIFY(holder.Execute(QStringLiteral("Create Table Held (Record INTEGER)")));

        // Readers are not held up by the writer.
        QVERIFY(waiter.OpenSchema(SchemaKind::Tables));

        lockedUntilCommitted(holder, waiter, QStringLiteral("Create Table Later (Record INTEGER)"));
    }

    void postgresLockIsLocked()
    {
        PgTestDatabase pg;
        REQUIRE_PG_DATABASE(pg);
        SqlConnection holder;
        SqlConnection waiter;
        QVERIFY(holder.Open(pg.connString()));
        QVERIFY(waiter.Open(pg.connString(QStringLiteral(";Busy Timeout=200"))));
        QVERIFY(holder.Execute(QStringLiteral("Create Table Held (Record integer)")));
        QVERIFY(holder.BeginTrans());
        QVERIFY(holder.Execute(QStringLiteral("Lock Table Held In Access Exclusive Mode")));

        lockedUntilCommitted(holder, waiter, QStringLiteral("Insert Into Held Values (1)"));
    }
};

VARNOCK_TEST_MAIN(TestDbConnection)
#include "tst_dbconnection.moc"
