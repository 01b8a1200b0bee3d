#include "TestMain.h"

#include "ScriptedConnection.h"

#include "database/LogonString.h"
#include "database/StatisticsSchema.h"

#include <QTest>

namespace {

QString slotsText(const TypeSlots &types)
{
    return QStringList{types.integer, types.single, types.date, types.text, types.longBinary}.join(
        QLatin1Char('|'));
}

} // namespace

class TestDatabaseTexts : public QObject
{
    Q_OBJECT

private slots:
    void logonString_data()
    {
        QTest::addColumn<QString>("connString");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        addRow("bob without password", "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=C:\\a.mdb",
               "bob", "",
               "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;User ID=bob;"
               "Data Source=C:\\a.mdb");
        addRow("User ID exchanged in place",
               "Provider=P;Persist Security Info=False;User ID=Admin;Data Source=x", "bob", "",
               "Provider=P;Persist Security Info=False;User ID=bob;Data Source=x");
        addRow("password follows the exchanged User ID",
               "Provider=P;User ID=Administrator;Data Source=x", "bob", "pw",
               "Provider=P;Persist Security Info=False;User ID=bob;User Password=pw;"
               "Data Source=x");
        addRow("no semicolon at all", "Provider=P", "bob", "",
               "Provider=P;Persist Security Info=False;User ID=bob");
        addRow("Persist Security Info=True kept",
               "Provider=P;Persist Security Info=True;Data Source=x", "bob", "",
               "Provider=P;Persist Security Info=True;User ID=bob;Data Source=x");
        addRow("user and password typed", "Provider=P;Data Source=x", "bob", "pw",
               "Provider=P;Persist Security Info=False;User Password=pw;User ID=bob;"
               "Data Source=x");
        addRow("nothing typed", "Provider=P;Data Source=x", "", "",
               "Provider=P;Persist Security Info=False;Data Source=x");
        addRow("password only, exchanged",
               "Provider=P;Persist Security Info=False;User Password=old;Data Source=x", "", "new",
               "Provider=P;Persist Security Info=False;User Password=new;Data Source=x");
        addRow("element at the start is not found", "User ID=Admin;Data Source=x", "bob", "",
               "User ID=Admin;Persist Security Info=False;User ID=bob;Data Source=x");
    }
    void logonString()
    {
        QFETCH(QString, connString);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QCOMPARE(::logonString(connString, user, password), expected);
    }

    void statements()
    {
        const QStringList expected = {
            "Create Table Cvars (Record I Constraint CU1 Unique, Cvar C (50), Val C (250), "
            "Date_Time D)",
            "Create Table Games (Record I Constraint CU2 Unique, StdLog_Ver C (50), Patch_Name C "
            "(50), Game_Start_Date_Time D, Game_End_Date_Time D, Game_Flags I)",
            "Create Table Games_Cvars (Record I Constraint CU3 Unique, Game I, Cvar I)",
            "Create Table Games_Maps (Record I Constraint CU4 Unique, Game I, Map I)",
            "Create Table Games_Players_Cvars (Record I Constraint CU5 Unique, Game I, Player I, "
            "Cvar I)",
            "Create Table Games_Players_Teams (Record I Constraint CU6 Unique, Game I, Player I, "
            "Team I)",
            "Create Table Logs (Record I Constraint CU7 Unique, Log_IP C (50), Log_Port I, "
            "Log_Data B, Log_Date D)",
            "Create Table Logs_Games (Record I Constraint CU8 Unique, Log I, Game I)",
            "Create Table Maps (Record I Constraint CU9 Unique, Map C (128), Date_Time D)",
            "Create Table Players (Record I Constraint CU10 Unique, Player C (50), Date_Time D)",
            "Create Table Scores (Record I Constraint CU11 Unique, Killer I, Victim I, Type I, "
            "Weapon I, Score I, Offset S)",
            "Create Table Servers (Record I Constraint CU12 Unique, Server_Name C (128), "
            "Server_IP C (16), Server_Port C (6), Packet_Number I, Date_Time D)",
            "Create Table Servers_Cvars (Record I Constraint CU13 Unique, Server I, Cvar I)",
            "Create Table Servers_Games (Record I Constraint CU14 Unique, Server I, Game I)",
            "Create Table Teams (Record I Constraint CU15 Unique, Team C (50), Date_Time D)",
            "Create Table Types (Record I Constraint CU16 Unique, Type C (50), Date_Time D)",
            "Create Table Weapons (Record I Constraint CU17 Unique, Weapon C (50), Date_Time D)",
        };
        const QStringList made = createTableStatements({"I", "S", "D", "C", "B"});
        QCOMPARE(made.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(made.at(i), expected.at(i));
            // The table names are the ones the statements create, in the same order.
            QCOMPARE(statisticsTableNames().at(i), expected.at(i).section(' ', 2, 2));
        }
    }

    void typeDiscovery_data()
    {
        QTest::addColumn<QList<DbRecord>>("rows");
        QTest::addColumn<QString>("expected");
        const QList<DbRecord> full{
            providerType("I", 3, true, false),   providerType("S", 4, true, false),
            providerType("D", 7, true, false),   providerType("TS", 135, true, false),
            providerType("C", 129, true, false), providerType("B", 128, false, true)};
        addRow("one of each", full, "I|S|D|C|B");
        addRow("later adChar wins", full + QList<DbRecord>{providerType("C2", 129, true, false)},
               "I|S|D|C2|B");
        addRow("timestamp when no date", QList<DbRecord>{providerType("TS", 135, true, false)},
               "||TS||");
        addRow("date before timestamp in the list",
               QList<DbRecord>{providerType("TS", 135, true, false),
                               providerType("D", 7, true, false)},
               "||D||");
        addRow("flags must match",
               QList<DbRecord>{
                   providerType("I", 3, false, false), providerType("LongC", 129, false, true),
                   providerType("ShortB", 128, true, false), providerType("C", 129, true, false),
                   providerType("I2", 3, true, true)},
               "|||C|");
        addRow("values that are not there",
               QList<DbRecord>{providerType("I", 3, QVariant(), false),
                               providerType("B", 128, false, QVariant())},
               "||||");
    }
    void typeDiscovery()
    {
        QFETCH(QList<DbRecord>, rows);
        QFETCH(QString, expected);
        const Result<TypeSlots> types = typeSlotsFrom(rows);
        QVERIFY(types);
        QCOMPARE(slotsText(*types), expected);
    }
};

VARNOCK_TEST_MAIN(TestDatabaseTexts)
#include "tst_database_texts.moc"
