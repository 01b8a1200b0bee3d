#include "TestMain.h"

#include "shell/MainForm.h"
#include "shell/MainModule.h"

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

    void menusAsTheOperatorKnowsThem()
    {
        MainModule state;
        MainForm form(state);
        QCOMPARE(captions(form.FileMenu()),
                 QStringList({"Raw Logging", "&Save Connnections", "-", "&Exit"}));
        QCOMPARE(captions(form.Tools()),
                 QStringList({"&Port", "&Database", "&Logon", "&Log", "-", "&Add", "&Delete"}));
        QCOMPARE(captions(form.menuBar()), QStringList({"&File", "&Tools"}));
        for (const QAction *action : form.findChildren<QAction *>()) {
            QVERIFY(action->shortcut().isEmpty());
            QVERIFY(action->isEnabled());
        }
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.windowIcon().availableSizes().value(0), QSize(32, 32));
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

    void rightClickPopsUpTheToolsMenu_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("popsUp");
        QTest::newRow("right") << int(Qt::RightButton) << true;
        QTest::newRow("left") << int(Qt::LeftButton) << false;
    }
    void rightClickPopsUpTheToolsMenu()
    {
        QFETCH(int, button);
        QFETCH(bool, popsUp);
        MainModule state;
        MainForm form(state);
        form.resize(500, 300);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // Below every row: no row under the mouse.
        QTest::mouseClick(form.ListView1()->viewport(), Qt::MouseButton(button), {},
                          QPoint(20, 60));
        QTRY_COMPARE(form.Tools()->isVisible(), popsUp);
        form.Tools()->hide();
    }

    void geometryRoundTripsInTwips()
    {
        MainModule state;
        MainForm form(state);
        form.setTopTwips(1500);
        form.setLeftTwips(3000);
        form.setHeightTwips(4500);
        form.setWidthTwips(6000);
        QCOMPARE(form.topTwips(), 1500.0);
        QCOMPARE(form.leftTwips(), 3000.0);
        QCOMPARE(form.heightTwips(), 4500.0);
        QCOMPARE(form.widthTwips(), 6000.0);
        form.setColumnWidthTwips(2, 1500);
        QCOMPARE(form.columnWidthTwips(2), 1500.0);
        form.setColumnWidthTwips(1, 0);
        QCOMPARE(form.columnWidthTwips(1), 0.0);
        QVERIFY(form.measureTwips(QStringLiteral("Logon")) > 0);
        QVERIFY(form.measureTwips(QStringLiteral("Logon Logon")) >
                form.measureTwips(QStringLiteral("Logon")));
    }

    void closingAndExitAreDistinct()
    {
        MainModule state;
        MainForm form(state);
        int closing = 0;
        int exits = 0;
        int saves = 0;
        connect(&form, &MainForm::closing, this, [&] { ++closing; });
        connect(&form, &MainForm::exitRequested, this, [&] { ++exits; });
        connect(&form, &MainForm::saveRequested, this, [&] { ++saves; });
        form.show();
        form.FileSave()->trigger();
        form.FileExit()->trigger();
        QCOMPARE(closing, 0);
        QVERIFY(form.close());
        QCOMPARE(closing, 1);
        QCOMPARE(exits, 1);
        QCOMPARE(saves, 1);
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
