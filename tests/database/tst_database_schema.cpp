#include "TestMain.h"

#include "ScriptedConnection.h"
#include "ScriptedOperator.h"
#include "SqliteFile.h"

#include "database/CreateSchema.h"
#include "database/StatisticsSchema.h"
#include "platform/DbErrors.h"
#include "platform/SqlConnection.h"
#include "state/MainModule.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ErrorInfo)

namespace {

using Answer = OperatorInteraction::Answer;

const TypeSlots Letters{"I", "S", "D", "C", "B"};
const TypeSlots SqliteTypes{"INTEGER", "REAL", "DATETIME", "VARCHAR", "BLOB"};

QList<DbRecord> letterTypes()
{
    return {providerType("I", 3, true, false), providerType("S", 4, true, false),
            providerType("D", 7, true, false), providerType("C", 129, true, false),
            providerType("B", 128, false, true)};
}

QList<DbRecord> tableRows(const QStringList &namesAndTypes)
{
    QList<DbRecord> rows;
    for (const QString &entry : namesAndTypes) {
        rows.append(DbRecord{{QStringLiteral("TABLE_NAME"), entry.section(QLatin1Char('='), 0, 0)},
                             {QStringLiteral("TABLE_TYPE"), entry.section(QLatin1Char('='), 1)}});
    }
    return rows;
}

QStringList allTables()
{
    QStringList entries;
    for (const QString &name : statisticsTableNames())
        entries.append(name + QStringLiteral("=TABLE"));
    return entries;
}

// The statement of each named table, in creation order.
QStringList statementsFor(const QStringList &tables, const TypeSlots &types)
{
    const QStringList names = statisticsTableNames();
    const QStringList statements = createTableStatements(types);
    QStringList wanted;
    for (const QString &table : tables)
        wanted.append(statements.at(names.indexOf(table)));
    return wanted;
}

std::shared_ptr<ConnectionScript> scriptWith(const QStringList &tables)
{
    auto script = std::make_shared<ConnectionScript>();
    script->providerTypes = letterTypes();
    script->tables = tableRows(tables);
    return script;
}

// Creates the tables for connection n, whose connection string is connString.
SchemaOutcome createOn(const QString &connString, ScriptedOperator &op,
                       const DbConnectionFactory &factory, qint32 n = 1)
{
    MainModule state;
    state.ConnStrings[n] = connString;
    return CreateSchema(state, n, op, factory);
}

SchemaOutcome createScripted(std::shared_ptr<ConnectionScript> script, ScriptedOperator &op,
                             qint32 n = 1)
{
    return createOn(QStringLiteral("Provider=SQLite;Data Source=x"), op,
                    scriptedFactory(std::move(script)), n);
}

// The connection string the first start writes for the database file at path.
QString jetString(const QString &path)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;"
                          "Data Source=") +
           path;
}

} // namespace

class TestCreateSchema : public QObject
{
    Q_OBJECT

private slots:
    void failuresBeforeTheStatementsEndIt_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("calls");

        addRow("open", "open", QStringList{"Open"});
        addRow("schema query", "schema", QStringList{"Open", "OpenSchema 22"});
        addRow("type row without a field", "types", QStringList{"Open", "OpenSchema 22"});
        addRow("table row without a field", "tables",
               QStringList{"Open", "OpenSchema 22", "OpenSchema 20"});
    }
    void failuresBeforeTheStatementsEndIt()
    {
        QFETCH(QString, failing);
        QFETCH(QStringList, calls);
        auto script = scriptWith({});
        const ErrorInfo refused{DbErrors::OpenFailed, QStringLiteral("refused")};
        if (failing == QLatin1String("open"))
            script->open = FailurePlan{{}, refused};
        else if (failing == QLatin1String("schema"))
            script->schema = FailurePlan{{}, refused};
        else if (failing == QLatin1String("types"))
            script->providerTypes.append(DbRecord{{QStringLiteral("TYPE_NAME"), "X"}});
        else
            script->tables.append(DbRecord{{QStringLiteral("TABLE_TYPE"), "TABLE"}});
        ScriptedOperator op;

        const SchemaOutcome outcome = createScripted(script, op);
        QVERIFY(!outcome.status);
        QVERIFY(!outcome.cancelled);
        QCOMPARE(outcome.status.error().number,
                 failing == QLatin1String("open") || failing == QLatin1String("schema")
                     ? DbErrors::OpenFailed
                     : DbErrors::ItemNotFound);
        QCOMPARE(script->calls, calls);
        QVERIFY(op.messages.isEmpty());
    }

    void cancelStopsAtOnce()
    {
        auto script = scriptWith(allTables().mid(0, 3)); // Cvars, Games, Games_Cvars exist
        script->execute = FailurePlan{{}, ErrorInfo{DbErrors::Locked, "database is locked"}};
        ScriptedOperator op;
        op.answers = {Answer::Yes, Answer::Cancel};

        const SchemaOutcome outcome = createScripted(script, op, 2);
        QVERIFY(outcome.cancelled);
        QVERIFY(outcome.status);
        QCOMPARE(op.messages.size(), 2);
        QCOMPARE(script->executed(),
                 QStringList(20, statementsFor({"Games_Maps"}, Letters).first()));
        QCOMPARE(script->count("CommitTrans"), 0);
        QCOMPARE(script->count("RollbackTrans"), 0);
        QCOMPARE(script->count("BeginTrans"), 1);
        QCOMPARE(script->calls.last(), QStringLiteral("Close"));
    }

    void failurePassedOnFromGuardedExecute()
    {
        auto script = scriptWith({});
        script->begin = FailurePlan{{}, ErrorInfo{-2147217900, "cannot begin"}};
        script->rollback =
            FailurePlan{{}, ErrorInfo{DbErrors::NoTransaction, "No transaction is active."}};
        ScriptedOperator op;
        op.answers = {Answer::No};

        const SchemaOutcome outcome = createScripted(script, op);
        QVERIFY(!outcome.status);
        QCOMPARE(outcome.status.error().number, DbErrors::NoTransaction);
        QCOMPARE(script->count("BeginTrans"), 2);
        QCOMPARE(script->count("Execute"), 0);
    }

    void sqliteEmptyDatabaseGetsAllTablesOnce()
    {
        QTemporaryDir dir;
        const QString path = emptyDatabase(dir.filePath(QStringLiteral("test.mdb")));
        auto script = std::make_shared<ConnectionScript>();
        ScriptedOperator op;

        const SchemaOutcome outcome =
            createOn(jetString(path), op, scriptedFactory(script, newSqlConnection));
        QVERIFY2(outcome.status,
                 qPrintable(outcome.status ? QString() : outcome.status.error().description));
        QVERIFY(op.messages.isEmpty());
        const QStringList expected = createTableStatements(SqliteTypes);
        QCOMPARE(script->executed(), expected);
        QCOMPARE(script->count("CommitTrans"), 17);

        // The engine keeps each statement as given, constraint names included.
        const QStringList names = statisticsTableNames();
        for (int i = 0; i < names.size(); ++i) {
            const QStringList stored = sqliteRun(
                path, {QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                      "name = '%1'")
                           .arg(names.at(i))});
            QCOMPARE(stored.size(), 1);
            QCOMPARE(stored.first().mid(13), expected.at(i).mid(13));
            QVERIFY(stored.first().contains(QStringLiteral("Constraint CU%1 Unique").arg(i + 1)));
            // Record is unique, so a second row with the same Record is refused.
            QCOMPARE(
                sqliteRun(path,
                          {QStringLiteral("INSERT INTO %1 (Record) VALUES (1)").arg(names.at(i)),
                           QStringLiteral("INSERT INTO %1 (Record) VALUES (1)").arg(names.at(i))}),
                QStringList{
                    QStringLiteral("failed: INSERT INTO %1 (Record) VALUES (1)").arg(names.at(i))});
        }
        QCOMPARE(sqliteRun(path, {"SELECT name FROM pragma_table_info('Scores')"}),
                 (QStringList{"Record", "Killer", "Victim", "Type", "Weapon", "Score", "Offset"}));
        QCOMPARE(sqliteRun(path, {"SELECT type FROM pragma_table_info('Logs')"}),
                 (QStringList{"INTEGER", "VARCHAR (50)", "INTEGER", "BLOB", "DATETIME"}));

        // A second activation finds every table and executes nothing.
        auto again = std::make_shared<ConnectionScript>();
        QVERIFY(createOn(jetString(path), op, scriptedFactory(again, newSqlConnection)).status);
        QCOMPARE(again->calls, (QStringList{"Open", "OpenSchema 22", "OpenSchema 20", "Close"}));
        QVERIFY(op.messages.isEmpty());
    }

    void sqliteLockedFileNoSkipsEachTable()
    {
        QTemporaryDir dir;
        const QString path = emptyDatabase(dir.filePath(QStringLiteral("test.mdb")));
        ScriptedOperator op;
        QVERIFY(createOn(jetString(path), op, newSqlConnection).status); // sets up the file
        QVERIFY(sqliteRun(path, {"DROP TABLE Games", "DROP TABLE Weapons"}).isEmpty());
        auto other = std::make_unique<SqliteWriteLock>(path);
        QVERIFY(other->held());
        op.fallbackAnswer = Answer::No;

        // Each missing table is put to the operator once; No leaves it missing and the work
        // goes on, with no failure for the caller to report.
        auto script = std::make_shared<ConnectionScript>();
        const SchemaOutcome locked =
            createOn(jetString(path), op, scriptedFactory(script, newSqlConnection));
        QVERIFY2(locked.status,
                 qPrintable(locked.status ? QString() : locked.status.error().description));
        QVERIFY(!locked.cancelled);
        QCOMPARE(op.titles(), QStringList(2, QStringLiteral("Record is Locked")));
        QCOMPARE(script->executed(),
                 QStringList(10, statementsFor({"Games"}, SqliteTypes).first()) +
                     QStringList(10, statementsFor({"Weapons"}, SqliteTypes).first()));
        QCOMPARE(script->count("RollbackTrans"), 2);
        QCOMPARE(script->calls.last(), QStringLiteral("Close"));

        // The next activation, with the file free, creates them.
        other.reset();
        op.messages.clear();
        QVERIFY(createOn(jetString(path), op, newSqlConnection).status);
        QVERIFY(op.messages.isEmpty());
        QCOMPARE(tablesOf(path).size(), 17);
    }
};

VARNOCK_TEST_MAIN(TestCreateSchema)
#include "tst_database_schema.moc"
