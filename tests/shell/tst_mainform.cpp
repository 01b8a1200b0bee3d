#include "TestMain.h"

#include "shell/MainForm.h"
#include "shell/MainModule.h"

#include <QAction>
#include <QTest>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void rawLoggingSwitch_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("afterClicks");
        QTest::newRow("from the command line value 5") << 5 << QList<int>{1, 0, 1};
        QTest::newRow("default 1") << 1 << QList<int>{0, 1};
        QTest::newRow("off") << 0 << QList<int>{1, 0};
        QTest::newRow("negative") << -1 << QList<int>{1, 0};
    }
    void rawLoggingSwitch()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, afterClicks);
        MainModule state;
        state.RawLogging = qint16(start);
        MainForm form(state);
        QCOMPARE(form.FileRaw()->isChecked(), start != 0);
        for (int expected : afterClicks) {
            form.FileRaw()->trigger();
            QCOMPARE(int(state.RawLogging), expected);
            QCOMPARE(form.FileRaw()->isChecked(), expected != 0);
        }
    }

    void statusLineFollowsState()
    {
        MainModule state;
        MainForm form(state);
        state.Label1.setCaption(QStringLiteral("Log recieved on port 28000"));
        QCOMPARE(form.Label1()->text(), QStringLiteral("Log recieved on port 28000"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Halvemark Corvel UDP"));
    }

    void statusLineTakesTopQuarter()
    {
        MainModule state;
        MainForm form(state);
        form.resize(600, 400);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int client = form.centralWidget()->height();
        QVERIFY(qAbs(form.Label1()->height() - client / 4) <= 1);
        QCOMPARE(form.ListView1()->y(), form.Label1()->height());
        QCOMPARE(form.ListView1()->y() + form.ListView1()->height(), client);
        QCOMPARE(form.ListView1()->width(), form.centralWidget()->width());
    }
};

VARNOCK_TEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
