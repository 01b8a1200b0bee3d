#include "TestMain.h"

#include "PgTestDatabase.h"
#include "ScriptedConnection.h"
#include "ScriptedOperator.h"

#include "database/Login.h"
#include "platform/SqlConnection.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ScriptedOperator::LoginStep)

namespace {

using Answer = OperatorInteraction::Answer;
using Step = ScriptedOperator::LoginStep;

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void trialOpenUsesTheLogonString_data()
    {
        QTest::addColumn<Step>("typed");
        QTest::addColumn<QString>("opened");
        addRow("nothing typed", Step{},
               "Provider=SQLite;Persist Security Info=False;Data Source=x");
        addRow("user and password", Step{"bob", "pw"},
               "Provider=SQLite;Persist Security Info=False;User Password=pw;User ID=bob;"
               "Data Source=x");
    }
    void trialOpenUsesTheLogonString()
    {
        QFETCH(Step, typed);
        QFETCH(QString, opened);
        ScriptedOperator op;
        op.loginSteps = {typed};
        auto script = std::make_shared<ConnectionScript>();
        QVERIFY(
            Login(QStringLiteral("Provider=SQLite;Data Source=x"), 1, op, scriptedFactory(script)));
        QCOMPARE(script->openedWith, QStringList{opened});
        QCOMPARE(script->calls, (QStringList{"Open", "Close"}));
        QVERIFY(op.messages.isEmpty());
    }

    void refusedLogonAsksToTryAgain_data()
    {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<bool>("loggedOn");
        QTest::addColumn<QList<LoginVerdict>>("verdicts");
        addRow("OK, then Cancel", QList<Answer>{Answer::Ok, Answer::Cancel}, false,
               QList<LoginVerdict>{LoginVerdict::Retry, LoginVerdict::Cancel});
        addRow("Cancel at once", QList<Answer>{Answer::Cancel}, false,
               QList<LoginVerdict>{LoginVerdict::Cancel});
        addRow("OK, then the database is there", QList<Answer>{Answer::Ok}, true,
               QList<LoginVerdict>{LoginVerdict::Retry, LoginVerdict::Accept});
    }
    void refusedLogonAsksToTryAgain()
    {
        QFETCH(QList<Answer>, answers);
        QFETCH(bool, loggedOn);
        QFETCH(QList<LoginVerdict>, verdicts);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("stats.db"));
        ScriptedOperator op;
        op.answers = answers;
        op.loginSteps = {Step{"bob", "first"}, Step{"bob", "second"}};
        // In the last row the database file appears while the operator reads the refusal.
        const DbConnectionFactory factory = [&, calls = 0]() mutable {
            if (++calls == 2 && loggedOn)
                QFile(path).open(QIODevice::WriteOnly);
            return newSqlConnection();
        };

        QCOMPARE(Login(QStringLiteral("Provider=SQLite;Data Source=") + path, 28000, op, factory),
                 loggedOn);
        QCOMPARE(op.verdicts, verdicts);
        for (const ScriptedOperator::Message &message : op.messages) {
            QCOMPARE(message.title, QStringLiteral("Logon Failed"));
            QCOMPARE(message.text, QStringLiteral("Logon is invalid.  Try again?"));
            QCOMPARE(message.buttons, OperatorInteraction::Buttons::OkCancel);
        }
        QCOMPARE(op.messages.size(), loggedOn ? 1 : answers.size());
    }

    void postgresCredentials()
    {
        PgTestDatabase pg;
        REQUIRE_PG_DATABASE(pg);
        const QString connString =
            QStringLiteral("Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3")
                .arg(pg.host(), pg.port(), pg.name());
        ScriptedOperator op;
        op.answers = {Answer::Ok};
        op.loginSteps = {Step{pg.user(), "not the password"}, Step{pg.user(), pg.password()}};

        QVERIFY(Login(connString, 28000, op, newSqlConnection));
        QCOMPARE(op.verdicts, (QList<LoginVerdict>{LoginVerdict::Retry, LoginVerdict::Accept}));
        QCOMPARE(op.titles(), QStringList{"Logon Failed"});
    }
};

VARNOCK_TEST_MAIN(TestLogin)
#include "tst_database_login.moc"
