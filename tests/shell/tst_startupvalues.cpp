#include "TestMain.h"

#include "shell/CommandLine.h"
#include "shell/LayoutValues.h"
#include "shell/Program.h"
#include "shell/WindowLayout.h"
#include "state/MainModule.h"

#include <QTest>

class TestStartupValues : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("maxCon");
        QTest::addColumn<int>("rawLogging");
        QTest::addColumn<QString>("cfgFile");
        addRow("all three, name lower-cased", "maxcon=3 cfgfile=Site2.CFG logout=0", true, 3, 0,
               "site2.cfg");
        addRow("upper-case options", "MAXCON=4 LOGOUT=2", true, 4, 2, "connections.cfg");
        addRow("maxcon= at the end", "logout=0 maxcon=", true, 10, 0, "connections.cfg");
        addRow("inside another word", "xmaxcon=5", true, 5, 1, "connections.cfg");
        addRow("zero", "maxcon=0", true, 1, 1, "connections.cfg");
        addRow("not a number", "maxcon=abc", true, 1, 1, "connections.cfg");
        addRow("rounded", "maxcon=2.5 logout=5.5", true, 2, 6, "connections.cfg");
        addRow("logout beyond 16 bits", "logout=70000", false, 10, 1, "connections.cfg");
        addRow("first occurrence counts", "maxcon=2 maxcon=7", true, 2, 1, "connections.cfg");
        // One socket element per connection, and their indexes are 16-bit.
        addRow("as many as there are socket elements", "maxcon=32767", true, 32767, 1,
               "connections.cfg");
        addRow("more than there are socket elements", "maxcon=32768", false, 10, 1,
               "connections.cfg");
    }
    void commandLine()
    {
        QFETCH(QString, commandLine);
        QFETCH(bool, ok);
        QFETCH(int, maxCon);
        QFETCH(int, rawLogging);
        QFETCH(QString, cfgFile);
        MainModule state;
        const Status status = applyCommandLine(state, commandLine);
        QCOMPARE(status.ok(), ok);
        if (!ok)
            return;
        QCOMPARE(state.MaxCon, maxCon);
        QCOMPARE(int(state.RawLogging), rawLogging);
        QCOMPARE(state.CfgFile, cfgFile);
        QCOMPARE(state.CmdLine, commandLine.toLower());
    }

    void metricsAddress_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("address"); // empty: refused with a reason
        QTest::addColumn<int>("port");
        addRow("a port alone stays on this host", "--metrics=9105", "127.0.0.1", 9105);
        addRow("every address", "--metrics=0.0.0.0:9105", "0.0.0.0", 9105);
        addRow("IPv6 in brackets", "--metrics=[::1]:0", "::1", 0);
        addRow("a host name", "--metrics=localhost:9105", "", 0);
        addRow("port out of range", "--metrics=65536", "", 0);
        addRow("IPv6 without brackets", "--metrics=::1", "", 0);
        addRow("nothing", "--metrics=", "", 0);
    }
    void metricsAddress()
    {
        QFETCH(QString, argument);
        QFETCH(QString, address);
        QFETCH(int, port);
        const ProgramOptions options = readProgramOptions({argument, "maxcon=3"}, false);
        QCOMPARE(options.commandLine, QStringLiteral("maxcon=3"));
        QCOMPARE(options.metrics.has_value(), !address.isEmpty());
        QCOMPARE(options.invalid.contains(argument), address.isEmpty());
        if (options.metrics) {
            QCOMPARE(options.metrics->host.toString(), address);
            QCOMPARE(int(options.metrics->port), port);
        }
    }

    void numberTexts_data()
    {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        addRow("whole", "C", 4800.0, "4800");
        addRow("fraction", "C", 1230 * 1.05, "1291.5");
        addRow("decimal comma", "de_DE", 1230 * 1.05, "1291,5");
        addRow("no grouping", "en_US", 1234567.0, "1234567");
        addRow("15 digits", "C", 1.0 / 3.0, "0.333333333333333");
    }
    void numberTexts()
    {
        QFETCH(QString, localeName);
        QFETCH(double, value);
        QFETCH(QString, text);
        const QLocale locale(localeName);
        QCOMPARE(LayoutValues::numberText(value, locale), text);
        // Read back with the same separator, the text comes out the same.
        const std::optional<double> readBack = LayoutValues::readNumber(text, locale);
        QVERIFY(readBack.has_value());
        QCOMPARE(LayoutValues::numberText(*readBack, locale), text);
    }

    void notANumberIsRefused()
    {
        QVERIFY(!LayoutValues::readNumber(QStringLiteral("abc"), QLocale::c()).has_value());
        QVERIFY(
            !LayoutValues::readNumber(QString(254, QLatin1Char(' ')), QLocale::c()).has_value());
        QCOMPARE(LayoutValues::readNumber(QStringLiteral("1291.5"), QLocale::c()),
                 std::optional<double>(1291.5));
    }

    void clientSplit_data()
    {
        QTest::addColumn<double>("height");
        QTest::addColumn<qint64>("label");
        QTest::addColumn<qint64>("list");
        addRow("design height", 3195.0, qint64(798), qint64(2397));
        addRow("3198", 3198.0, qint64(799), qint64(2399));
        addRow("tie rounds to even before dividing", 3.5, qint64(1), qint64(2));
    }
    void clientSplit()
    {
        QFETCH(double, height);
        QFETCH(qint64, label);
        QFETCH(qint64, list);
        const ClientSplit split = splitClientArea(height);
        QCOMPARE(split.labelHeight, label);
        QCOMPARE(split.listHeight, list);
    }
};

VARNOCK_TEST_MAIN(TestStartupValues)
#include "tst_startupvalues.moc"
