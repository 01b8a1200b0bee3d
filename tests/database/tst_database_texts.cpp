#include "TestMain.h"

#include "ScriptedOperator.h"

#include "database/ActivationMessages.h"
#include "database/LogonString.h"
#include "database/StatisticsSchema.h"
#include "platform/DbErrors.h"

#include <QTest>

namespace {

DbRecord providerType(const QString &name, int dataType, QVariant bestMatch, QVariant isLong)
{
    return DbRecord{{QStringLiteral("TYPE_NAME"), name},
                    {QStringLiteral("DATA_TYPE"), dataType},
                    {QStringLiteral("BEST_MATCH"), bestMatch},
                    {QStringLiteral("IS_LONG"), isLong}};
}

QString slotsText(const TypeSlots &types)
{
    return QStringList{types.integer, types.single, types.date, types.text, types.longBinary}.join(
        QLatin1Char('|'));
}

const TypeSlots Letters{QStringLiteral("I"), QStringLiteral("S"), QStringLiteral("D"),
                        QStringLiteral("C"), QStringLiteral("B")};

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

        QTest::newRow("bob without password")
            << "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=C:\\a.mdb"
            << "bob"
            << ""
            << "Provider=Microsoft.Jet.OLEDB.3.51;Persist Security Info=False;User ID=bob;"
               "Data Source=C:\\a.mdb";
        QTest::newRow("User ID exchanged in place")
            << "Provider=P;Persist Security Info=False;User ID=Admin;Data Source=x"
            << "bob"
            << ""
            << "Provider=P;Persist Security Info=False;User ID=bob;Data Source=x";
        QTest::newRow("password follows the exchanged User ID")
            << "Provider=P;User ID=Administrator;Data Source=x"
            << "bob"
            << "pw"
            << "Provider=P;Persist Security Info=False;User ID=bob;User Password=pw;"
               "Data Source=x";
        QTest::newRow("no semicolon at all")
            << "Provider=P"
            << "bob"
            << ""
            << "Provider=P;Persist Security Info=False;User ID=bob";
        QTest::newRow("Persist Security Info=True kept")
            << "Provider=P;Persist Security Info=True;Data Source=x"
            << "bob"
            << ""
            << "Provider=P;Persist Security Info=True;User ID=bob;Data Source=x";
        QTest::newRow("user and password typed")
            << "Provider=P;Data Source=x"
            << "bob"
            << "pw"
            << "Provider=P;Persist Security Info=False;User Password=pw;User ID=bob;"
               "Data Source=x";
        QTest::newRow("nothing typed") << "Provider=P;Data Source=x"
                                       << ""
                                       << ""
                                       << "Provider=P;Persist Security Info=False;Data Source=x";
        QTest::newRow("password only, exchanged")
            << "Provider=P;Persist Security Info=False;User Password=old;Data Source=x"
            << ""
            << "new"
            << "Provider=P;Persist Security Info=False;User Password=new;Data Source=x";
        QTest::newRow("Persist Security Info last")
            << "Provider=P;Data Source=x;Persist Security Info=False"
            << "bob"
            << "pw"
            << "Provider=P;Data Source=x;Persist Security Info=False;User Password=pw;"
               "User ID=bob";
        QTest::newRow("element at the start is not found")
            << "User ID=Admin;Data Source=x"
            << "bob"
            << ""
            << "User ID=Admin;Persist Security Info=False;User ID=bob;Data Source=x";
        QTest::newRow("typed text not trimmed")
            << "Provider=P;Data Source=x"
            << " bob "
            << " p w "
            << "Provider=P;Persist Security Info=False;User Password= p w ;User ID= bob ;"
               "Data Source=x";
    }
    void logonString()
    {
        QFETCH(QString, connString);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QCOMPARE(::logonString(connString, user, password), expected);
    }

    void statements_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("expected");

        const char *const expected[] = {
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
        const char *const tables[] = {"Cvars",
                                      "Games",
                                      "Games_Cvars",
                                      "Games_Maps",
                                      "Games_Players_Cvars",
                                      "Games_Players_Teams",
                                      "Logs",
                                      "Logs_Games",
                                      "Maps",
                                      "Players",
                                      "Scores",
                                      "Servers",
                                      "Servers_Cvars",
                                      "Servers_Games",
                                      "Teams",
                                      "Types",
                                      "Weapons"};
        for (int i = 0; i < 17; ++i) {
            QTest::addRow("%d %s", i + 1, tables[i])
                << i + 1 << QString::fromLatin1(tables[i]) << QString::fromLatin1(expected[i]);
        }
    }
    void statements()
    {
        QFETCH(int, n);
        QFETCH(QString, table);
        QFETCH(QString, expected);
        const QStringList statements = createTableStatements(Letters);
        QCOMPARE(statements.size(), StatisticsTableCount);
        QCOMPARE(statements.at(n - 1), expected);
        QCOMPARE(statisticsTableNames().at(n - 1), table);
    }

    void statementWithoutTypeNames()
    {
        // A kind the provider has no name for leaves an empty name, for the database to refuse.
        QCOMPARE(createTableStatements(TypeSlots{}).first(),
                 QStringLiteral("Create Table Cvars (Record  Constraint CU1 Unique, Cvar  (50), "
                                "Val  (250), Date_Time )"));
    }

    void typeDiscovery_data()
    {
        QTest::addColumn<QList<DbRecord>>("rows");
        QTest::addColumn<QString>("expected");

        const QList<DbRecord> full{
            providerType("I", 3, true, false),   providerType("S", 4, true, false),
            providerType("D", 7, true, false),   providerType("TS", 135, true, false),
            providerType("C", 129, true, false), providerType("B", 128, false, true)};
        QTest::newRow("one of each") << full << "I|S|D|C|B";
        QTest::newRow("later adChar wins")
            << (full + QList<DbRecord>{providerType("C2", 129, true, false)}) << "I|S|D|C2|B";
        QTest::newRow("timestamp when no date")
            << QList<DbRecord>{providerType("I", 3, true, false), providerType("S", 4, true, false),
                               providerType("TS", 135, true, false),
                               providerType("C", 129, true, false),
                               providerType("B", 128, false, true)}
            << "I|S|TS|C|B";
        QTest::newRow("date before timestamp in the list")
            << QList<DbRecord>{providerType("TS", 135, true, false),
                               providerType("D", 7, true, false)}
            << "||D||";
        QTest::newRow("flags must match")
            << QList<DbRecord>{providerType("I", 3, false, false),
                               providerType("LongC", 129, false, true),
                               providerType("ShortB", 128, true, false),
                               providerType("C", 129, true, false),
                               providerType("I2", 3, true, true)}
            << "|||C|";
        QTest::newRow("values that are not there")
            << QList<DbRecord>{providerType("I", 3, QVariant(), false),
                               providerType("B", 128, false, QVariant())}
            << "||||";
        QTest::newRow("nothing listed") << QList<DbRecord>{} << "||||";
    }
    void typeDiscovery()
    {
        QFETCH(QList<DbRecord>, rows);
        QFETCH(QString, expected);
        const Result<TypeSlots> types = typeSlotsFrom(rows);
        QVERIFY(types);
        QCOMPARE(slotsText(*types), expected);
    }

    void typeRowWithoutAField()
    {
        const Result<TypeSlots> types =
            typeSlotsFrom({providerType("I", 3, true, false),
                           DbRecord{{QStringLiteral("TYPE_NAME"), QStringLiteral("X")},
                                    {QStringLiteral("DATA_TYPE"), 3}}});
        QVERIFY(!types);
        QCOMPARE(types.error().number, DbErrors::ItemNotFound);
        QVERIFY(types.error().description.contains(QLatin1String("BEST_MATCH")));
    }

    void failureMessages_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");

        QTest::newRow("database")
            << true << -2147467259 << "Could not find file '/v/test.mdb'."
            << "Error # -2147467259:Could not find file '/v/test.mdb'. occured for connection to "
               "database Provider=Microsoft.Jet.OLEDB.3.51;Data Source=/v/test.mdb on port "
               "27961\r\n"
               "Port will be disabled until database connection is restored.\r\n"
               "Best solution is to delete the connection to port 27961 and create a new "
               "connection for that port.";
        QTest::newRow("socket")
            << false << 10048 << "Address in use"
            << "Error # 10048:Address in use occured on port 27961\r\n"
               "Port will be disabled until problem is corrected.\r\n"
               "Best solution is to delete the connection to port 27961 and create a new "
               "connection for that port.";
    }
    void failureMessages()
    {
        QFETCH(bool, database);
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(QString, expected);
        const ErrorInfo error{number, description};
        const QString port = QStringLiteral("27961");
        ScriptedOperator op;
        if (database) {
            showDatabaseFailure(
                op, error,
                QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=/v/test.mdb"), port);
        } else {
            showSocketFailure(op, error, port);
        }
        QCOMPARE(op.messages.size(), 1);
        QCOMPARE(op.messages.first().title, QStringLiteral("Error: Can not connect to database."));
        QCOMPARE(op.messages.first().buttons, OperatorInteraction::Buttons::Ok);
        QCOMPARE(op.messages.first().text, expected);
    }
};

VARNOCK_TEST_MAIN(TestDatabaseTexts)
#include "tst_database_texts.moc"
