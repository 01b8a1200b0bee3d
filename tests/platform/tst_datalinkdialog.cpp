#include "ModalSteps.h"
#include "ScriptedConnection.h"
#include "ScriptedOperator.h"
#include "TestMain.h"

#include "platform/ConnectionString.h"
#include "platform/DataLinkDialog.h"
#include "platform/SqlConnection.h"
#include "platform/WidgetsOperator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

Q_DECLARE_METATYPE(DataLinkFields)

namespace {

DataLinkFields sqlite(const QString &file)
{
    DataLinkFields fields;
    fields.file = file;
    return fields;
}

DataLinkFields server(const QString &host, const QString &port, const QString &database)
{
    DataLinkFields fields;
    fields.provider = DataLinkProvider::PostgresServer;
    fields.host = host;
    fields.port = port;
    fields.database = database;
    return fields;
}

DataLinkFields odbc(const QString &dsn)
{
    DataLinkFields fields;
    fields.provider = DataLinkProvider::OdbcSource;
    fields.dsn = dsn;
    return fields;
}

DataLinkFields withLogon(DataLinkFields fields, const QString &user, const QString &password,
                         bool allowSaving = false)
{
    fields.user = user;
    fields.password = password;
    fields.allowSavingPassword = allowSaving;
    return fields;
}

const QList<DataLinkProvider> AllProviders = {
    DataLinkProvider::SqliteFile, DataLinkProvider::PostgresServer, DataLinkProvider::OdbcSource};

void chooseServer(DataLinkDialog &dialog)
{
    dialog.provider()->setCurrentIndex(
        dialog.provider()->findData(int(DataLinkProvider::PostgresServer)));
}

// The Data Link dialog as Tools, Add opens it; the steps act on it once it shows.
Result<std::optional<QString>> promptThrough(const std::function<void(DataLinkDialog *)> &act,
                                             const QString &programFolder = QString())
{
    QWidget window;
    WidgetsOperator op(&window);
    whenShown({{"DataLinkDialog", [&](QDialog *d) { act(static_cast<DataLinkDialog *>(d)); }}});
    return op.promptNewDataLink(newSqlConnection, programFolder);
}

} // namespace

// The Data Link Properties dialog: the connection strings it makes, what it refuses, its Test
// Connection and its new database file.
class TestDataLinkDialog : public QObject
{
    Q_OBJECT

private slots:
    void connectionStrings_data()
    {
        QTest::addColumn<DataLinkFields>("fields");
        QTest::addColumn<QString>("expected");
        addRow("database file", sqlite("/d/a.db"),
               "Provider=SQLite;Persist Security Info=False;Data Source=/d/a.db");
        addRow("user and password, saving allowed", withLogon(sqlite("/d/a.db"), "bob", "pw", true),
               "Provider=SQLite;Persist Security Info=True;User ID=bob;User Password=pw;"
               "Data Source=/d/a.db");
        addRow("server without port", withLogon(server("db.local", "", "stats"), "u", "p"),
               "Provider=PostgreSQL;Persist Security Info=False;User ID=u;User Password=p;"
               "Data Source=db.local;Initial Catalog=stats");
        addRow("IPv6 server with port", server("::1", "5433", "stats"),
               "Provider=PostgreSQL;Persist Security Info=False;Data Source=[::1]:5433;"
               "Initial Catalog=stats");
        addRow("ODBC data source", odbc("Stats DSN"),
               "Provider=MSDASQL;Persist Security Info=False;Data Source=Stats DSN");
        addRow("values the providers would read otherwise are quoted",
               withLogon(sqlite("/d/a;b.db"), " bob", "\"pw\""),
               "Provider=SQLite;Persist Security Info=False;User ID=\" bob\";"
               "User Password=\"\"\"pw\"\"\";Data Source=\"/d/a;b.db\"");
    }
    void connectionStrings()
    {
        QFETCH(DataLinkFields, fields);
        QFETCH(QString, expected);
        QCOMPARE(dataLinkProblem(fields), QString());
        const QString made = dataLinkConnectionString(fields);
        QCOMPARE(made, expected);
        // The providers read back exactly what was typed.
        const ConnectionString read = ConnectionString::parse(made);
        QCOMPARE(read.value("User ID"), fields.user);
        QCOMPARE(read.value("User Password"), fields.password);
        if (fields.provider == DataLinkProvider::SqliteFile)
            QCOMPARE(read.value("Data Source"), fields.file);
    }

    void refusedFields_data()
    {
        QTest::addColumn<DataLinkFields>("fields");
        QTest::addColumn<QString>("problem");
        addRow("no file", sqlite(" "), "Choose the database file.");
        addRow("comma in the file", sqlite("/d/a,b.db"), "The database file can not contain \",\"");
        addRow("field name in the user", withLogon(sqlite("/d/a.db"), "Log=x", ""),
               "The user name can not contain \"Log=\"");
        addRow("';' in the password", withLogon(sqlite("/d/a.db"), "bob", "p;w"),
               "The password can not contain \";\"");
        addRow("no server", server("", "", "stats"), "Name the server.");
        addRow("port not a number", server("h", "x", "d"),
               "The port must be a number from 1 to 65535, not \"x\".");
        addRow("no data source name", odbc(""), "Name the data source.");
    }
    void refusedFields()
    {
        QFETCH(DataLinkFields, fields);
        QFETCH(QString, problem);
        QVERIFY2(dataLinkProblem(fields).startsWith(problem), qPrintable(dataLinkProblem(fields)));
    }

    void testConnectionOpensAndClosesThroughTheFactory_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        addRow("existing file", true, "Test connection succeeded.");
        addRow("missing file", false,
               "Test connection failed.\r\nError # -2147467259:Could not find file '");
    }
    void testConnectionOpensAndClosesThroughTheFactory()
    {
        QFETCH(bool, exists);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath("a.db");
        if (exists)
            QFile(file).open(QIODevice::WriteOnly);
        auto script = std::make_shared<ConnectionScript>();
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, scriptedFactory(script, newSqlConnection), op);
        dialog.file()->setText(file);

        dialog.testConnection()->click();

        QCOMPARE(op.titles(), QStringList{"Data Link Properties"});
        QVERIFY2(op.messages.first().text.startsWith(message),
                 qPrintable(op.messages.first().text));
        QCOMPARE(script->openedWith, QStringList{dialog.connectionString()});
        QCOMPARE(script->calls, exists ? QStringList({"Open", "Close"}) : QStringList{"Open"});
        QVERIFY(dialog.isVisible() == false && dialog.result() == QDialog::Rejected);
    }

    void newFileNeverReplacesAnExistingOne()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("kept.db");
        QFile existing(file);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("kept");
        existing.close();
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        dialog.file()->setText(file);
        dialog.createNew()->setChecked(true);

        dialog.ok()->click();

        QCOMPARE(op.titles(), QStringList{"Data Link Properties"});
        QVERIFY(op.messages.first().text.startsWith("The new database file was not created.\r\n'" +
                                                    file + "' already exists"));
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("kept"));
    }

    void testingANewFileLeavesItToOk()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("new.db");
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        dialog.file()->setText(file);
        dialog.createNew()->setChecked(true);

        dialog.testConnection()->click();
        QVERIFY2(op.messages.first().text.startsWith("Test connection succeeded."),
                 qPrintable(op.messages.first().text));
        QVERIFY(!QFile::exists(file));

        dialog.ok()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(QFile::exists(file));
    }

    void aDatabaseFileTakesNoLogon()
    {
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        dialog.show();
        dialog.user()->setText("bob");
        dialog.password()->setText("pw");
        dialog.file()->setText("/d/a.db");
        QVERIFY(!dialog.user()->isVisible() && !dialog.allowSaving()->isVisible());
        QVERIFY(!dialog.connectionString().contains("User"));

        chooseServer(dialog);
        QVERIFY(dialog.user()->isVisible());
        dialog.host()->setText("h");
        dialog.database()->setText("d");
        QVERIFY(dialog.connectionString().contains("User ID=bob;User Password=pw"));
    }

    void fieldsLineUpAndLabelsUnderlineTheirKey()
    {
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        chooseServer(dialog);
        dialog.show();
        const auto left = [&](QWidget *field) { return field->mapTo(&dialog, QPoint()).x(); };
        QCOMPARE(left(dialog.host()), left(dialog.provider()));
        QCOMPARE(left(dialog.user()), left(dialog.provider()));
        // A label shows "&" as text unless it has a field to give the focus to.
        for (const QLabel *label : dialog.findChildren<QLabel *>()) {
            if (label->text().contains('&'))
                QVERIFY2(label->buddy(), qPrintable(label->text()));
        }
    }

    void tabGoesDownTheDialog()
    {
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        QStringList visited;
        QWidget *widget = dialog.provider();
        do {
            if (!widget->objectName().isEmpty() && widget->focusPolicy() & Qt::TabFocus)
                visited << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != dialog.provider());
        const QStringList expected = {
            "provider", "file", "browse",   "createNew",   "host",           "port", "database",
            "dsn",      "user", "password", "allowSaving", "testConnection", "ok",   "cancel"};
        QStringList seen;
        for (const QString &name : visited) {
            if (expected.contains(name))
                seen << name;
        }
        QCOMPARE(seen, expected);
    }

    void browseStartsInTheProgramFolder()
    {
        QTemporaryDir programFolder;
        ScriptedOperator op;
        DataLinkDialog dialog(AllProviders, newSqlConnection, op);
        dialog.setStartFolder(programFolder.path());
        QString shown;
        QTimer::singleShot(0, &dialog, [&shown] {
            if (auto *files = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                shown = files->directory().absolutePath();
                files->reject();
            }
        });
        dialog.browse()->click();
        QCOMPARE(shown, QDir(programFolder.path()).absolutePath());
    }

    void cancelAnswersNothing()
    {
        const Result<std::optional<QString>> answer =
            promptThrough([](DataLinkDialog *dialog) { dialog->cancel()->click(); });
        QVERIFY(answer.ok());
        QVERIFY(!answer->has_value());
    }
};

VARNOCK_TEST_MAIN(TestDataLinkDialog)
#include "tst_datalinkdialog.moc"
