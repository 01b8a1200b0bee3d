#include "TestMain.h"

#include "shell/ConnectionList.h"
#include "shell/NumberText.h"
#include "shell/TextFunctions.h"
#include "shell/WindowLayout.h"

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
        QTest::newRow("plain") << "28000" << true << 28000;
        QTest::newRow("tie rounds down to even") << "28000.5" << true << 28000;
        QTest::newRow("tie rounds up to even") << "28001.5" << true << 28002;
        QTest::newRow("above half") << "2.51" << true << 3;
        QTest::newRow("trailing text") << "7777abc" << true << 7777;
        QTest::newRow("no number") << "abc" << true << 0;
        QTest::newRow("empty") << "" << true << 0;
        QTest::newRow("leading blanks") << "   42" << true << 42;
        QTest::newRow("sign") << "-3" << true << -3;
        QTest::newRow("plus sign") << "+3" << true << 3;
        QTest::newRow("sign alone") << "-" << true << 0;
        QTest::newRow("point alone") << "." << true << 0;
        QTest::newRow("leading point") << ".5" << true << 0;
        QTest::newRow("leading point above half") << ".75" << true << 1;
        QTest::newRow("exponent") << "1.5e3x" << true << 1500;
        QTest::newRow("bare exponent letter") << "12e" << true << 12;
        QTest::newRow("negative exponent") << "25E-1" << true << 2;
        QTest::newRow("blank inside stops") << "12 34" << true << 12;
        QTest::newRow("largest 32-bit") << "2147483647" << true << 2147483647;
        QTest::newRow("beyond 32-bit") << "2147483648" << false << 0;
        QTest::newRow("huge exponent") << "1e999" << false << 0;
        QTest::newRow("tiny exponent") << "1e-999" << true << 0;
        QTest::newRow("negative tie") << "-2.5" << true << -2;
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

    void sixteenBitRange()
    {
        QCOMPARE(NumberText::toInt16(QStringLiteral("32767")), std::optional<qint16>(32767));
        QCOMPARE(NumberText::toInt16(QStringLiteral("-32768")), std::optional<qint16>(-32768));
        QVERIFY(!NumberText::toInt16(QStringLiteral("70000")).has_value());
    }

    void connKeyAndNumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("number");
        QTest::newRow("con1") << "con1" << 1;
        QTest::newRow("con12") << "con12" << 12;
        QTest::newRow("leading zero") << "con07" << 7;
        QTest::newRow("not a digit") << "conx7" << 0;
        QTest::newRow("blank before digits") << "con 7" << 0;
        QTest::newRow("sign") << "con-7" << 0;
        QTest::newRow("nothing after con") << "con" << 0;
        QTest::newRow("digits then text") << "con3abc" << 3;
    }
    void connKeyAndNumber()
    {
        QFETCH(QString, key);
        QFETCH(int, number);
        QCOMPARE(ConnNumber(key), number);
    }

    void connKeyRoundTrip()
    {
        QCOMPARE(ConnKey(1), QStringLiteral("con1"));
        QCOMPARE(ConnKey(12), QStringLiteral("con12"));
        for (int n : {1, 9, 10, 99, 32767})
            QCOMPARE(ConnNumber(ConnKey(n)), n);
    }

    void stripSegment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("expected");
        const QString persist = QStringLiteral(";Persist Security Info=");
        QTest::newRow("middle segment")
            << "Provider=X;Persist Security Info=False;Data Source=C:\\a.mdb" << persist
            << "Provider=X;Data Source=C:\\a.mdb";
        QTest::newRow("last segment keeps its ;")
            << "A;Persist Security Info=False" << persist << "A;";
        QTest::newRow("no marker")
            << "Provider=X;Data Source=a" << persist << "Provider=X;Data Source=a";
        QTest::newRow("case matters")
            << "A;persist security info=False;B" << persist << "A;persist security info=False;B";
        QTest::newRow("only the first") << "A;User Password=x;B;User Password=y"
                                        << ";User Password="
                                        << "A;B;User Password=y";
        QTest::newRow("empty value") << "A;User Password=;B"
                                     << ";User Password="
                                     << "A;B";
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
        QTest::newRow("default string") << "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security "
                                           "Info=False;Data Source=/srv/v/test.mdb"
                                        << "/srv/v/test.mdb";
        QTest::newRow("followed by more") << "P=x;Data Source=a.db;User ID=u"
                                          << "a.db";
        QTest::newRow("at the very start") << "Data Source=a.db;P=x"
                                           << "";
        QTest::newRow("missing") << "Provider=x"
                                 << "";
        QTest::newRow("empty value") << "P=x;Data Source="
                                     << "";
        QTest::newRow("case matters") << "P=x;data source=a.db"
                                      << "";
    }
    void dataSourceOf()
    {
        QFETCH(QString, connString);
        QFETCH(QString, expected);
        QCOMPARE(DataSourceOf(connString), expected);
    }

    void clientSplit_data()
    {
        QTest::addColumn<double>("height");
        QTest::addColumn<qint64>("label");
        QTest::addColumn<qint64>("list");
        QTest::newRow("design height") << 3195.0 << qint64(798) << qint64(2397);
        QTest::newRow("3198") << 3198.0 << qint64(799) << qint64(2399);
        QTest::newRow("minimized") << 0.0 << qint64(0) << qint64(0);
        QTest::newRow("tie rounds to even before dividing") << 3.5 << qint64(1) << qint64(2);
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

    void sortingComparesText()
    {
        ConnectionList list;
        list.add({QStringLiteral("con1"), QStringLiteral("9000"), QStringLiteral("b"),
                  QStringLiteral("False"), QStringLiteral("/z")});
        list.add({QStringLiteral("con2"), QStringLiteral("28000"), QStringLiteral("a"),
                  QStringLiteral("True"), QStringLiteral("/a")});
        list.add({QStringLiteral("con3"), QStringLiteral("10000"), QStringLiteral("c"),
                  QStringLiteral("False"), QStringLiteral("/m")});
        list.sortBy(ConnectionList::PortColumn, Qt::AscendingOrder);
        QCOMPARE(keys(list), QStringList({"con3", "con2", "con1"})); // "10000" < "28000" < "9000"
        list.sortBy(ConnectionList::PortColumn, Qt::DescendingOrder);
        QCOMPARE(keys(list), QStringList({"con1", "con2", "con3"}));
        list.sortBy(ConnectionList::LogColumn, Qt::AscendingOrder);
        QCOMPARE(keys(list), QStringList({"con2", "con3", "con1"}));
        QCOMPARE(list.find(QStringLiteral("con1")), 2);
        // Rows added after a sort go to the end, unsorted.
        list.add({QStringLiteral("con4"), QStringLiteral("1"), {}, {}, QStringLiteral("/0")});
        QCOMPARE(keys(list).last(), QStringLiteral("con4"));
    }

private:
    static QStringList keys(const ConnectionList &list)
    {
        QStringList result;
        for (const ConnectionRow &row : list.rows())
            result.append(row.key);
        return result;
    }
};

VARNOCK_TEST_MAIN(TestTextFunctions)
#include "tst_textfunctions.moc"
