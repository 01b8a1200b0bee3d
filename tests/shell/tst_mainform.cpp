#include "TestMain.h"

#include "shell/MainForm.h"
#include "state/MainModule.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void rawLoggingSwitch_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("afterClicks");
        addRow("from the command line value 5", 5, QList<int>{1, 0, 1});
        addRow("off", 0, QList<int>{1, 0});
        addRow("negative", -1, QList<int>{1, 0});
    }
    void rawLoggingSwitch()
    {
        QFETCH(int, start);
        QFETCH(QList<int>, afterClicks);
        MainModule state;
        MainForm form(state);
        state.RawLogging = qint16(start); // start-up reads logout= after the window exists
        form.show();
        QCOMPARE(form.FileRaw()->isChecked(), start != 0);
        for (int expected : afterClicks) {
            form.FileRaw()->trigger();
            QCOMPARE(int(state.RawLogging), expected);
            QCOMPARE(form.FileRaw()->isChecked(), expected != 0);
        }
    }

    void statusLineFollowsStateInTheTopQuarter()
    {
        MainModule state;
        MainForm form(state);
        state.Label1.setCaption(QStringLiteral("Log recieved on port 28000"));
        QCOMPARE(form.Label1()->text(), QStringLiteral("Log recieved on port 28000"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Halvemark Corvel UDP"));
        form.resize(600, 400);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int client = form.centralWidget()->height();
        QVERIFY(qAbs(form.Label1()->height() - client / 4) <= 1);
        QCOMPARE(form.ListView1()->y(), form.Label1()->height());
        QCOMPARE(form.ListView1()->y() + form.ListView1()->height(), client);
        QCOMPARE(form.ListView1()->width(), form.centralWidget()->width());
    }

    // A caption per datagram must not mean a label layout per datagram.
    void statusLineTakesTheNewestCaptionOncePerFrame()
    {
        MainModule state;
        MainForm form(state);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int i = 1; i <= 1000; ++i)
            state.Label1.setCaption(QStringLiteral("caption %1").arg(i));
        QCOMPARE(state.Label1.caption(), QStringLiteral("caption 1000"));
        QCOMPARE(form.Label1()->text(), QStringLiteral("caption 1"));
        QTRY_COMPARE(form.Label1()->text(), QStringLiteral("caption 1000"));
    }

    void menusAsTheOperatorKnowsThem()
    {
        MainModule state;
        MainForm form(state);
        QCOMPARE(captions(form.FileMenu()),
                 QStringList({"Raw Logging", "&Save Connnections", "-", "&Exit"}));
        QCOMPARE(captions(form.Tools()),
                 QStringList({"&Port", "&Database", "&Logon", "&Log", "-", "&Add", "&Delete"}));
        QCOMPARE(captions(form.menuBar()), QStringList({"&File", "&Tools"}));
    }

    void columnClicksSortWithOneFlippingOrder()
    {
        MainModule state;
        state.ListView1.add({"con1", "9000", "db-b", "False", "/logs/b"});
        state.ListView1.add({"con2", "28000", "db-a", "True", "/logs/c"});
        state.ListView1.add({"con3", "10000", "db-c", "False", "/logs/a"});
        MainForm form(state);
        QHeaderView *header = form.ListView1()->header();
        emit header->sectionClicked(0); // Port ascending, compared as text
        QCOMPARE(keys(state), QStringList({"con3", "con2", "con1"}));
        emit header->sectionClicked(0); // Port descending
        QCOMPARE(keys(state), QStringList({"con1", "con2", "con3"}));
        emit header->sectionClicked(3); // Log ascending again
        QCOMPARE(keys(state), QStringList({"con3", "con1", "con2"}));
    }

    void rightClickPopsUpTheToolsMenu()
    {
        MainModule state;
        MainForm form(state);
        form.resize(500, 300);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Below every row: no row under the mouse.
        QTest::mouseClick(form.ListView1()->viewport(), Qt::RightButton, {}, QPoint(20, 60));
        QTRY_VERIFY(form.Tools()->isVisible());
        form.Tools()->hide();
    }

private:
    static QStringList captions(const QWidget *menu)
    {
        QStringList result;
        for (const QAction *action : menu->actions())
            result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return result;
    }
    static QStringList keys(const MainModule &state)
    {
        QStringList result;
        for (const ConnectionRow &row : state.ListView1.rows())
            result.append(row.key);
        return result;
    }
};

VARNOCK_TEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
