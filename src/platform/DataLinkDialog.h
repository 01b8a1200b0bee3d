#pragma once

#include "DataLinkFields.h"
#include "DbConnection.h"

#include <QDialog>

class OperatorInteraction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// "Data Link Properties": the provider (a database file, a PostgreSQL server, an ODBC data
// source), its fields, the user name and password, whether the password may be saved, and
// Test Connection. OK hands back the connection string; Cancel hands back nothing. Fields that
// could not be kept are refused with the reason and the dialog stays open.
class DataLinkDialog : public QDialog
{
    Q_OBJECT

public:
    // providers: those offered, in this order; testWith makes the connection that Test
    // Connection opens and closes; op shows the dialog's messages.
    DataLinkDialog(const QList<DataLinkProvider> &providers, DbConnectionFactory testWith,
                   OperatorInteraction &op, QWidget *parent = nullptr);

    // The program folder: where Browse starts while the file field is empty, and the folder of
    // a file name typed without one.
    void setStartFolder(const QString &folder) { m_startFolder = folder; }

    // The connection string of what the fields hold now.
    QString connectionString() const;
    DataLinkFields fields() const;

    QComboBox *provider() const { return m_provider; }
    QLineEdit *file() const { return m_file; }
    QPushButton *browse() const { return m_browse; }
    QCheckBox *createNew() const { return m_createNew; }
    QLineEdit *host() const { return m_host; }
    QLineEdit *port() const { return m_port; }
    QLineEdit *database() const { return m_database; }
    QLineEdit *dsn() const { return m_dsn; }
    QLineEdit *user() const { return m_user; }
    QLineEdit *password() const { return m_password; }
    QCheckBox *allowSaving() const { return m_allowSaving; }
    QPushButton *testConnection() const { return m_testConnection; }
    QPushButton *ok() const { return m_ok; }
    QPushButton *cancel() const { return m_cancel; }

    static QString title();

private:
    QWidget *filePage();
    QWidget *credentialsPart();
    void showProvider();
    void alignLabels();
    void orderTabs();
    bool testNewFile(const QString &file);
    QWidget *serverPage();
    QWidget *odbcPage();
    // Refuses fields that can not be kept and creates the new database file when asked;
    // false (after a message) keeps the dialog open.
    bool prepare();
    void onBrowse();
    void onTestConnection();
    void onOk();

    QList<DataLinkProvider> m_providers;
    DbConnectionFactory m_testWith;
    OperatorInteraction &m_op;
    QComboBox *m_provider;
    QStackedWidget *m_pages;
    QLineEdit *m_file = nullptr;
    QPushButton *m_browse = nullptr;
    QCheckBox *m_createNew = nullptr;
    QLineEdit *m_host = nullptr;
    QLineEdit *m_port = nullptr;
    QLineEdit *m_database = nullptr;
    QLineEdit *m_dsn = nullptr;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QCheckBox *m_allowSaving;
    QWidget *m_credentials = nullptr;
    QString m_startFolder;
    QPushButton *m_testConnection;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};

// The providers whose database drivers are installed, in the dialog's order.
QList<DataLinkProvider> installedDataLinkProviders();
