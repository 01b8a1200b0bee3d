#include "ModalSteps.h"
#include "TestMain.h"

#include "platform/LoginDialog.h"
#include "platform/WidgetsOperator.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

QLineEdit *box(QDialog *dialog, const char *name)
{
    return dialog->findChild<QLineEdit *>(QLatin1String(name));
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void controlsAsTheOperatorKnowsThem()
    {
        LoginDialog dialog({QStringLiteral("Port: 28000"), QStringLiteral("Database: /d/a.db")},
                           [](const QString &, const QString &) { return LoginVerdict::Accept; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Database Logon"));
        const auto label = [&](const char *name) {
            auto *found = dialog.findChild<QLabel *>(QLatin1String(name));
            return found ? found->text() : QStringLiteral("<missing>");
        };
        QCOMPARE(label("Label1"), QStringLiteral("Port: 28000"));
        QCOMPARE(label("Label2"), QStringLiteral("Database: /d/a.db"));
        QCOMPARE(label("lblLabels(0)"), QStringLiteral("&User Name:"));
        QCOMPARE(label("lblLabels(1)"), QStringLiteral("&Password:"));
        QCOMPARE(dialog.txtPassword()->echoMode(), QLineEdit::Password);
        QVERIFY(dialog.cmdOK()->isDefault());
        // Tab order: user name, password, OK, Cancel.
        dialog.txtUserName()->setFocus();
        QCOMPARE(dialog.txtUserName()->nextInFocusChain(), dialog.txtPassword());
        QCOMPARE(dialog.txtPassword()->nextInFocusChain(), dialog.cmdOK());
        QCOMPARE(dialog.cmdOK()->nextInFocusChain(), dialog.cmdCancel());
    }

    void okRunsTheTestUntilItAccepts()
    {
        QStringList tried;
        int calls = 0;
        const LogonTest tryLogon = [&](const QString &user, const QString &password) {
            tried.append(user + QLatin1Char('/') + password);
            return ++calls == 1 ? LoginVerdict::Retry : LoginVerdict::Accept;
        };
        QString keptUser;
        whenShown({{nullptr,
                    [](QDialog *dialog) {
                        QTest::keyClicks(box(dialog, "txtUserName"), QStringLiteral("bob "));
                        QTest::keyClicks(box(dialog, "txtPassword"), QStringLiteral("wrong"));
                        QTest::keyClick(box(dialog, "txtPassword"), Qt::Key_Return);
                    }},
                   {nullptr, [&](QDialog *dialog) {
                        // After a refused logon the dialog stays with what was typed.
                        keptUser = box(dialog, "txtUserName")->text();
                        box(dialog, "txtPassword")->setText(QStringLiteral("right"));
                        dialog->findChild<QPushButton *>("cmdOK")->click();
                    }}});
        WidgetsOperator op;
        QVERIFY(op.login({QStringLiteral("Port: 1"), QStringLiteral("Database: ")}, tryLogon));
        QCOMPARE(keptUser, QStringLiteral("bob "));
        QCOMPARE(tried, (QStringList{"bob /wrong", "bob /right"}));
    }

    void endingWithoutAcceptance_data()
    {
        QTest::addColumn<QString>("how");
        addRow("Cancel button", "cancel");
        addRow("Esc", "escape");
        addRow("test gives up", "giveup");
        addRow("window closed", "close");
    }
    void endingWithoutAcceptance()
    {
        QFETCH(QString, how);
        int calls = 0;
        const LogonTest tryLogon = [&](const QString &, const QString &) {
            ++calls;
            return LoginVerdict::Cancel;
        };
        whenShown({{nullptr, [how](QDialog *dialog) {
                        if (how == QLatin1String("cancel"))
                            dialog->findChild<QPushButton *>("cmdCancel")->click();
                        else if (how == QLatin1String("escape"))
                            QTest::keyClick(box(dialog, "txtUserName"), Qt::Key_Escape);
                        else if (how == QLatin1String("giveup"))
                            QTest::keyClick(box(dialog, "txtUserName"), Qt::Key_Return);
                        else
                            dialog->close();
                    }}});
        WidgetsOperator op;
        QVERIFY(!op.login({}, tryLogon));
        QCOMPARE(calls, how == QLatin1String("giveup") ? 1 : 0);
    }

    void everyPromptStartsEmpty()
    {
        WidgetsOperator op;
        for (int round = 0; round < 2; ++round) {
            QString seen;
            whenShown({{nullptr, [&seen](QDialog *dialog) {
                            seen = box(dialog, "txtUserName")->text() +
                                   box(dialog, "txtPassword")->text();
                            QTest::keyClicks(box(dialog, "txtUserName"),
                                             QStringLiteral("left over"));
                            dialog->findChild<QPushButton *>("cmdOK")->click();
                        }}});
            QVERIFY(op.login(
                {}, [](const QString &, const QString &) { return LoginVerdict::Accept; }));
            QCOMPARE(seen, QString());
        }
    }
};

VARNOCK_TEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
