#include "TestMain.h"

#include "ScriptedConnection.h"
#include "ScriptedOperator.h"
#include "SqliteFile.h"

#include "database/GuardedExecute.h"
#include "platform/DbErrors.h"
#include "platform/SqlConnection.h"
#include "platform/SqliteProvider.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(FailurePlan)

namespace {

using Answer = OperatorInteraction::Answer;

const QString Statement = QStringLiteral("Create Table Cvars (Record I Constraint CU1 Unique)");

const ErrorInfo Lock{DbErrors::Locked, QStringLiteral("database is locked")};
const ErrorInfo LockAsDuplicateNumber{DbErrors::Duplicate, QStringLiteral("table is locked")};
const ErrorInfo Dup{DbErrors::Duplicate, QStringLiteral("duplicate object: Cvars")};
const ErrorInfo CapitalLocked{DbErrors::Locked, QStringLiteral("Record Locked by user")};
const ErrorInfo OtherNumberLocked{-2147217900, QStringLiteral("row is locked")};
const ErrorInfo Syntax{-2147217900, QStringLiteral("syntax error")};

FailurePlan fails(QList<ErrorInfo> first, std::optional<ErrorInfo> always = std::nullopt)
{
    return FailurePlan{std::move(first), std::move(always)};
}

QList<ErrorInfo> repeated(const ErrorInfo &error, int times)
{
    return QList<ErrorInfo>(times, error);
}

} // namespace

class TestGuardedExecute : public QObject
{
    Q_OBJECT

private slots:
    void retriesAndPrompts_data()
    {
        QTest::addColumn<FailurePlan>("begin");
        QTest::addColumn<FailurePlan>("execute");
        QTest::addColumn<FailurePlan>("commit");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<int>("result");
        // BeginTrans, Execute, CommitTrans, RollbackTrans calls.
        QTest::addColumn<QList<int>>("calls");
        // "lock" or "general" for each prompt shown.
        QTest::addColumn<QStringList>("prompts");

        const FailurePlan none;
        const QList<Answer> noAnswers;
        addRow("success at once", none, none, none, noAnswers, 0, QList<int>{1, 1, 1, 0},
               QStringList{});
        addRow("locked for good, No", none, fails({}, Lock), none, QList<Answer>{Answer::No}, 2,
               QList<int>{1, 10, 0, 1}, QStringList{"lock"});
        addRow("locked for good, Yes then No", none, fails({}, Lock), none,
               QList<Answer>{Answer::Yes, Answer::No}, 2, QList<int>{1, 20, 0, 1},
               QStringList{"lock", "lock"});
        addRow("locked 9 times then free", none, fails(repeated(Lock, 9)), none, noAnswers, 0,
               QList<int>{1, 10, 1, 0}, QStringList{});
        addRow("lock under the duplicate number", none, fails({}, LockAsDuplicateNumber), none,
               QList<Answer>{Answer::No}, 2, QList<int>{1, 10, 0, 1}, QStringList{"lock"});
        addRow("duplicate twice", none, fails({}, Dup), none, noAnswers, 1, QList<int>{1, 2, 0, 1},
               QStringList{});
        addRow("duplicate once, then executed", none, fails({Dup}), none, noAnswers, 0,
               QList<int>{1, 2, 1, 0}, QStringList{});
        addRow("capital Locked is another failure", none, fails({}, CapitalLocked), none,
               QList<Answer>{Answer::No}, 2, QList<int>{1, 2, 0, 1}, QStringList{"general"});
        addRow("locked under another number", none, fails({}, OtherNumberLocked), none,
               QList<Answer>{Answer::No}, 2, QList<int>{1, 2, 0, 1}, QStringList{"general"});
        addRow("5 locks then another failure", none,
               fails(repeated(Lock, 5) + QList<ErrorInfo>{Syntax}), none, QList<Answer>{Answer::No},
               2, QList<int>{1, 6, 0, 1}, QStringList{"general"});
        addRow("a lock after a failure gives up as duplicate", none, fails({Lock, Dup}), none,
               noAnswers, 1, QList<int>{1, 2, 0, 1}, QStringList{});
        addRow("Yes starts the count again", none, fails(repeated(Syntax, 3)), none,
               QList<Answer>{Answer::Yes}, 0, QList<int>{1, 4, 1, 0}, QStringList{"general"});
        addRow("counter not reset by a success", fails({Syntax}), fails({Syntax}), none,
               QList<Answer>{Answer::Yes}, 0, QList<int>{2, 2, 1, 0}, QStringList{"general"});
        addRow("commit retried alone", none, none, fails(repeated(Lock, 3)), noAnswers, 0,
               QList<int>{1, 1, 4, 0}, QStringList{});
        addRow("Cancel in the lock prompt", none, fails({}, Lock), none,
               QList<Answer>{Answer::Cancel}, 3, QList<int>{1, 10, 0, 0}, QStringList{"lock"});
        addRow("Cancel in the general prompt", none, none, fails({}, Syntax),
               QList<Answer>{Answer::Cancel}, 3, QList<int>{1, 1, 2, 0}, QStringList{"general"});
    }
    void retriesAndPrompts()
    {
        QFETCH(FailurePlan, begin);
        QFETCH(FailurePlan, execute);
        QFETCH(FailurePlan, commit);
        QFETCH(QList<Answer>, answers);
        QFETCH(int, result);
        QFETCH(QList<int>, calls);
        QFETCH(QStringList, prompts);

        auto script = std::make_shared<ConnectionScript>();
        script->begin = begin;
        script->execute = execute;
        script->commit = commit;
        ScriptedConnection db(script);
        ScriptedOperator op;
        op.answers = answers;
        op.fallbackAnswer = Answer::No;

        const Result<GuardedResult> done = GuardedExecute(db, Statement, op);
        QVERIFY(done);
        QCOMPARE(int(*done), result);
        QCOMPARE((QList<int>{script->count("BeginTrans"), script->count("Execute"),
                             script->count("CommitTrans"), script->count("RollbackTrans")}),
                 calls);
        QVERIFY(script->executed().count(Statement) == script->count("Execute"));
        QStringList shown;
        for (const ScriptedOperator::Message &message : op.messages) {
            QCOMPARE(message.title, QStringLiteral("Record is Locked"));
            QCOMPARE(message.buttons, OperatorInteraction::Buttons::YesNoCancel);
            shown.append(message.text.startsWith(QLatin1String("Database is temporarily locked"))
                             ? QStringLiteral("lock")
                             : QStringLiteral("general"));
        }
        QCOMPARE(shown, prompts);
        QVERIFY(op.answers.isEmpty());
    }

    void promptTexts_data()
    {
        QTest::addColumn<FailurePlan>("execute");
        QTest::addColumn<QString>("expected");

        addRow("lock", fails({}, Lock),
               "Database is temporarily locked by another process.\r\n"
               "I can keep trying for a few more seconds.\r\n"
               "Click Yes to continue trying,\r\n"
               "Click No to ignore error# -2147467259: database is locked\r\n"
               "Click Cancel to stop processing the current log.");
        addRow("general", fails({}, Syntax),
               "An error occured...please make a note of the following information: \r\n"
               "Error # -2147217900\r\n"
               "syntax error\r\n"
               "I can keep trying for a couple more seconds.\r\n"
               "Click Yes to continue trying,\r\n"
               "Click No to ignore the error.\r\n"
               "Click Cancel to stop processing the current log.");
    }
    void promptTexts()
    {
        QFETCH(FailurePlan, execute);
        QFETCH(QString, expected);
        auto script = std::make_shared<ConnectionScript>();
        script->execute = execute;
        ScriptedConnection db(script);
        ScriptedOperator op;
        op.answers = {Answer::No};
        QVERIFY(GuardedExecute(db, Statement, op));
        QCOMPARE(op.messages.size(), 1);
        QCOMPARE(op.messages.first().text, expected);
    }

    // The paths of the lock prompt against a real file whose write lock a second connection
    // holds: the lock is met by the statement, inside the transaction, and no attempt waits for
    // the other writer.
    void lockedSqliteFile_data()
    {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<bool>("commitAtFirstPrompt"); // by the other writer
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("executes");
        QTest::addColumn<int>("rollbacks");
        QTest::addColumn<QStringList>("tables");

        const QStringList none;
        addRow("No ignores the error", QList<Answer>{Answer::No}, false,
               int(GuardedResult::Ignored), 10, 1, none);
        addRow("Yes once the other writer has committed", QList<Answer>{Answer::Yes}, true,
               int(GuardedResult::Executed), 11, 0, QStringList{"Cvars", "Written"});
        addRow("Yes while still locked, then No", QList<Answer>{Answer::Yes, Answer::No}, false,
               int(GuardedResult::Ignored), 20, 1, none);
        addRow("Cancel", QList<Answer>{Answer::Cancel}, false, int(GuardedResult::Cancelled), 10, 0,
               none);
    }

    void lockedSqliteFile()
    {
        QFETCH(QList<Answer>, answers);
        QFETCH(bool, commitAtFirstPrompt);
        QFETCH(int, result);
        QFETCH(int, executes);
        QFETCH(int, rollbacks);
        QFETCH(QStringList, tables);

        QTemporaryDir dir;
        const QString path = emptyDatabase(dir.filePath(QStringLiteral("test.mdb")));
        auto script = std::make_shared<ConnectionScript>();
        auto real = std::make_unique<SqlConnection>();
        const SqlConnection &sql = *real;
        ScriptedConnection db(script, std::move(real));
        // The connection string's busy timeout is left at its default.
        QVERIFY(db.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Persist Security "
                                       "Info=False;Data Source=") +
                        path));
        auto other = std::make_unique<SqliteWriteLock>(path);
        QVERIFY(other->held());

        ScriptedOperator op;
        op.answers = answers;
        QList<int> busyTimeoutAtPrompts;
        op.whileOpen = [&](const QString &) {
            busyTimeoutAtPrompts.append(sqliteBusyTimeout(sql.connectionName()));
            if (commitAtFirstPrompt)
                other->commitWrite();
        };

        const Result<GuardedResult> done = GuardedExecute(db, Statement, op);
        QVERIFY2(done, qPrintable(done ? QString() : done.error().description));
        QCOMPARE(int(*done), result);
        QCOMPARE(script->count("BeginTrans"), 1);
        QCOMPARE(script->count("Execute"), executes);
        QCOMPARE(script->count("RollbackTrans"), rollbacks);
        QCOMPARE(op.messages.size(), answers.size());
        for (const ScriptedOperator::Message &message : op.messages)
            QVERIFY2(message.text.startsWith(QLatin1String("Database is temporarily locked")),
                     qPrintable(message.text));

        // The engine was not left to wait for the other writer at any attempt, and the connection
        // waits as its connection string says again afterwards.
        QCOMPARE(busyTimeoutAtPrompts, QList<int>(answers.size(), 0));
        QCOMPARE(sqliteBusyTimeout(sql.connectionName()), SqliteProvider::DefaultBusyTimeoutMs);

        QVERIFY(db.Close());
        other.reset();
        QCOMPARE(tablesOf(path), tables);
    }
};

VARNOCK_TEST_MAIN(TestGuardedExecute)
#include "tst_database_guarded.moc"
