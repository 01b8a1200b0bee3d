#include "TestMain.h"

#include "state/NumberText.h"
#include "state/TextFunctions.h"

#include <QTest>

class TestTextFunctions : public QObject
{
    Q_OBJECT

private slots:
    void numberRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("expected");
        addRow("plain", "28000", true, 28000);
        addRow("tie rounds down to even", "28000.5", true, 28000);
        addRow("tie rounds up to even", "28001.5", true, 28002);
        addRow("negative tie", "-2.5", true, -2);
        addRow("trailing text", "7777abc", true, 7777);
        addRow("no number", "abc", true, 0);
        addRow("empty", "", true, 0);
        addRow("leading blanks, sign", "   -42", true, -42);
        addRow("sign alone", "-", true, 0);
        addRow("leading point above half", ".75", true, 1);
        addRow("exponent", "1.5e3x", true, 1500);
        addRow("bare exponent letter", "12e", true, 12);
        addRow("signed exponent", "+25E-1", true, 2);
        addRow("blank inside stops", "12 34", true, 12);
        addRow("largest 32-bit", "2147483647", true, 2147483647);
        addRow("beyond 32-bit", "2147483648", false, 0);
        addRow("huge exponent", "1e999", false, 0);
    }
    void numberRule()
    {
        QFETCH(QString, text);
        QFETCH(bool, fits);
        QFETCH(int, expected);
        const std::optional<qint32> value = NumberText::toInt32(text);
        QCOMPARE(value.has_value(), fits);
        if (fits)
            QCOMPARE(*value, expected);
    }

    void connNumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("number");
        addRow("con12", "con12", 12);
        addRow("leading zero", "con07", 7);
        addRow("not a digit", "conx7", 0);
        addRow("blank before digits", "con 7", 0);
        addRow("sign", "con-7", 0);
        addRow("digits then text", "con3abc", 3);
    }
    void connNumber()
    {
        QFETCH(QString, key);
        QFETCH(int, number);
        QCOMPARE(ConnNumber(key), number);
    }

    void stripSegment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("expected");
        const QString persist = QStringLiteral(";Persist Security Info=");
        const QString password = QStringLiteral(";User Password=");
        addRow("middle segment", "Provider=X;Persist Security Info=False;Data Source=a", persist,
               "Provider=X;Data Source=a");
        addRow("last segment keeps its ;", "A;Persist Security Info=False", persist, "A;");
        addRow("case matters", "A;persist security info=False;B", persist,
               "A;persist security info=False;B");
        addRow("only the first", "A;User Password=x;B;User Password=y", password,
               "A;B;User Password=y");
    }
    void stripSegment()
    {
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(QString, expected);
        QCOMPARE(StripSegment(text, marker), expected);
    }

    void dataSourceOf_data()
    {
        QTest::addColumn<QString>("connString");
        QTest::addColumn<QString>("expected");
        addRow("last element", "P=x;Persist Security Info=False;Data Source=/v/t.mdb", "/v/t.mdb");
        addRow("at the very start", "Data Source=a.db;P=x", "");
        addRow("case matters", "P=x;data source=a.db", "");
    }
    void dataSourceOf()
    {
        QFETCH(QString, connString);
        QFETCH(QString, expected);
        QCOMPARE(DataSourceOf(connString), expected);
    }
};

VARNOCK_TEST_MAIN(TestTextFunctions)
#include "tst_textfunctions.moc"
