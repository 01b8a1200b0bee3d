#include "TestMain.h"

#include "PgTestDatabase.h"
#include "ScriptedConnection.h"
#include "ScriptedOperator.h"

#include "database/CreateSchema.h"
#include "database/GuardedExecute.h"
#include "database/StatisticsSchema.h"
#include "platform/SqlConnection.h"
#include "state/MainModule.h"

#include <QSqlQuery>
#include <QTest>

namespace {

// The server's lock wait of an open connection, as it shows it.
QString lockTimeout(const QString &connectionName)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, false));
    return query.exec(QStringLiteral("SHOW lock_timeout")) && query.next()
               ? query.value(0).toString()
               : QStringLiteral("unknown");
}

} // namespace

class TestSchemaOnPostgres : public QObject
{
    Q_OBJECT

private slots:
    // Another session creating the same table holds what the statement needs until it ends;
    // the statement is refused as locked at once, each time, and No leaves the table alone.
    void tableLockedByAnotherSession()
    {
        PgTestDatabase pg;
        REQUIRE_PG_DATABASE(pg);
        SqlConnection other;
        QVERIFY(other.Open(pg.connString()));
        QVERIFY(other.BeginTrans());
        QVERIFY(other.Execute(QStringLiteral("Create Table Cvars (Other integer)")));

        auto script = std::make_shared<ConnectionScript>();
        auto real = std::make_unique<SqlConnection>();
        const SqlConnection &sql = *real;
        ScriptedConnection db(script, std::move(real));
        QVERIFY(db.Open(pg.connString()));
        ScriptedOperator op;
        op.answers = {OperatorInteraction::Answer::No};
        QString waitAtPrompt;
        op.whileOpen = [&](const QString &) { waitAtPrompt = lockTimeout(sql.connectionName()); };

        const Result<GuardedResult> done = GuardedExecute(
            db, QStringLiteral("Create Table Cvars (Record integer Constraint CU1 Unique)"), op);
        QVERIFY2(done, qPrintable(done ? QString() : done.error().description));
        QCOMPARE(*done, GuardedResult::Ignored);
        QCOMPARE(script->count("Execute"), 10);
        QCOMPARE(op.titles(), QStringList{"Record is Locked"});
        QVERIFY2(op.messages.first().text.startsWith("Database is temporarily locked"),
                 qPrintable(op.messages.first().text));
        QCOMPARE(waitAtPrompt, QStringLiteral("1ms"));
        QCOMPARE(lockTimeout(sql.connectionName()), QStringLiteral("3s"));

        QVERIFY(other.CommitTrans());
        QCOMPARE(pg.column("SELECT column_name FROM information_schema.columns WHERE table_name "
                           "= 'cvars'"),
                 QStringList{"other"});
    }

    void existingObjects_data()
    {
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<QStringList>("executed");
        QTest::addColumn<int>("commits");
        QTest::addColumn<int>("baseTables"); // afterwards
        addRow("one table dropped", QStringList{"DROP TABLE maps"}, QStringList{"Maps"}, 1, 17);
        // Quoted names keep their case: "Cvars" is not the table an unquoted Cvars names.
        addRow("only a quoted mixed-case name",
               QStringList{"DROP TABLE cvars", "CREATE TABLE \"Cvars\" (x integer)"},
               QStringList{"Cvars"}, 1, 18);
        // A view is no table; the server refuses the name as taken, twice, without a word.
        addRow("view in the table's place",
               QStringList{"DROP TABLE teams", "CREATE VIEW teams AS SELECT 1 AS team"},
               QStringList{"Teams", "Teams"}, 0, 16);
    }
    void existingObjects()
    {
        QFETCH(QStringList, change);
        QFETCH(QStringList, executed);
        QFETCH(int, commits);
        QFETCH(int, baseTables);
        PgTestDatabase pg;
        REQUIRE_PG_DATABASE(pg);
        MainModule state;
        state.ConnStrings[1] = pg.connString();
        ScriptedOperator op;
        QVERIFY(CreateSchema(state, 1, op, newSqlConnection).status);
        for (const QString &sql : change)
            QCOMPARE(pg.column(sql), QStringList());

        auto script = std::make_shared<ConnectionScript>();
        const SchemaOutcome outcome =
            CreateSchema(state, 1, op, scriptedFactory(script, newSqlConnection));
        QVERIFY(outcome.status);
        QVERIFY(op.messages.isEmpty());
        const QStringList names = statisticsTableNames();
        const QStringList statements =
            createTableStatements({"integer", "real", "timestamp", "varchar", "bytea"});
        QStringList expected;
        for (const QString &table : executed)
            expected.append(statements.at(names.indexOf(table)));
        QCOMPARE(script->executed(), expected);
        QCOMPARE(script->count("CommitTrans"), commits);
        QCOMPARE(pg.column("SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                           "current_schema() AND table_type = 'BASE TABLE'"),
                 QStringList{QString::number(baseTables)});
    }
};

VARNOCK_TEST_MAIN(TestSchemaOnPostgres)
#include "tst_database_postgres.moc"
