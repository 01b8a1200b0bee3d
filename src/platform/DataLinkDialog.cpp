#include "DataLinkDialog.h"

#include "EmptyDatabaseFile.h"
#include "OperatorInteraction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QString providerCaption(DataLinkProvider provider)
{
    switch (provider) {
    case DataLinkProvider::SqliteFile:
        return QStringLiteral("SQLite database file");
    case DataLinkProvider::PostgresServer:
        return QStringLiteral("PostgreSQL server");
    case DataLinkProvider::OdbcSource:
        return QStringLiteral("ODBC data source");
    }
    return QString();
}

QLineEdit *namedEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

QList<DataLinkProvider> installedDataLinkProviders()
{
    QList<DataLinkProvider> providers;
    const std::pair<DataLinkProvider, const char *> drivers[] = {
        {DataLinkProvider::SqliteFile, "QSQLITE"},
        {DataLinkProvider::PostgresServer, "QPSQL"},
        {DataLinkProvider::OdbcSource, "QODBC"},
    };
    for (const auto &[provider, driver] : drivers) {
        if (QSqlDatabase::isDriverAvailable(QLatin1String(driver)))
            providers.append(provider);
    }
    return providers;
}

QString DataLinkDialog::title()
{
    return QStringLiteral("Data Link Properties");
}

DataLinkDialog::DataLinkDialog(const QList<DataLinkProvider> &providers,
                               DbConnectionFactory testWith, OperatorInteraction &op,
                               QWidget *parent)
    : QDialog(parent)
    , m_providers(providers)
    , m_testWith(std::move(testWith))
    , m_op(op)
    , m_provider(new QComboBox(this))
    , m_pages(new QStackedWidget(this))
    , m_user(namedEdit("user", this))
    , m_password(namedEdit("password", this))
    , m_allowSaving(new QCheckBox(QStringLiteral("&Allow saving password"), this))
    , m_testConnection(new QPushButton(QStringLiteral("&Test Connection"), this))
    , m_ok(new QPushButton(QStringLiteral("OK"), this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("DataLinkDialog"));
    setWindowTitle(title());

    m_provider->setObjectName(QStringLiteral("provider"));
    // Every provider has its page; the list offers the installed ones.
    m_pages->addWidget(filePage());
    m_pages->addWidget(serverPage());
    m_pages->addWidget(odbcPage());
    for (const DataLinkProvider provider : m_providers)
        m_provider->addItem(providerCaption(provider), int(provider));
    const auto showPage = [this] {
        const QVariant provider = m_provider->currentData();
        if (provider.isValid())
            m_pages->setCurrentIndex(provider.toInt());
    };
    connect(m_provider, &QComboBox::currentIndexChanged, this, showPage);
    showPage();

    m_password->setEchoMode(QLineEdit::Password);
    m_allowSaving->setObjectName(QStringLiteral("allowSaving"));
    m_testConnection->setObjectName(QStringLiteral("testConnection"));
    m_testConnection->setAutoDefault(false);
    m_ok->setObjectName(QStringLiteral("ok"));
    m_ok->setDefault(true);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Provider:"), m_provider);
    auto *credentials = new QFormLayout;
    credentials->addRow(QStringLiteral("&User name:"), m_user);
    credentials->addRow(QStringLiteral("Pass&word:"), m_password);
    credentials->addRow(QString(), m_allowSaving);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_testConnection);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pages);
    layout->addLayout(credentials);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);

    connect(m_testConnection, &QPushButton::clicked, this, &DataLinkDialog::onTestConnection);
    connect(m_ok, &QPushButton::clicked, this, &DataLinkDialog::onOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget *DataLinkDialog::filePage()
{
    auto *page = new QWidget;
    m_file = namedEdit("file", page);
    m_browse = new QPushButton(QStringLiteral("&Browse..."), page);
    m_browse->setObjectName(QStringLiteral("browse"));
    m_browse->setAutoDefault(false);
    m_createNew = new QCheckBox(QStringLiteral("&Create a new empty database file"), page);
    m_createNew->setObjectName(QStringLiteral("createNew"));
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file);
    fileRow->addWidget(m_browse);
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addRow(QStringLiteral("Database &file:"), fileRow);
    layout->addRow(QString(), m_createNew);
    connect(m_browse, &QPushButton::clicked, this, &DataLinkDialog::onBrowse);
    return page;
}

QWidget *DataLinkDialog::serverPage()
{
    auto *page = new QWidget;
    m_host = namedEdit("host", page);
    m_port = namedEdit("port", page);
    m_port->setPlaceholderText(QStringLiteral("5432"));
    m_database = namedEdit("database", page);
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addRow(QStringLiteral("&Server:"), m_host);
    layout->addRow(QStringLiteral("P&ort:"), m_port);
    layout->addRow(QStringLiteral("&Database:"), m_database);
    return page;
}

QWidget *DataLinkDialog::odbcPage()
{
    auto *page = new QWidget;
    m_dsn = namedEdit("dsn", page);
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addRow(QStringLiteral("Data &source name:"), m_dsn);
    return page;
}

DataLinkFields DataLinkDialog::fields() const
{
    DataLinkFields fields;
    fields.provider = DataLinkProvider(m_pages->currentIndex());
    fields.file = m_file->text();
    if (!fields.file.trimmed().isEmpty())
        fields.file = QFileInfo(fields.file.trimmed()).absoluteFilePath();
    fields.host = m_host->text();
    fields.port = m_port->text();
    fields.database = m_database->text();
    fields.dsn = m_dsn->text();
    fields.user = m_user->text();
    fields.password = m_password->text();
    fields.allowSavingPassword = m_allowSaving->isChecked();
    return fields;
}

QString DataLinkDialog::connectionString() const
{
    return dataLinkConnectionString(fields());
}

bool DataLinkDialog::prepare()
{
    const DataLinkFields current = fields();
    if (const QString problem = dataLinkProblem(current); !problem.isEmpty()) {
        m_op.messageBox(problem, OperatorInteraction::Buttons::Ok, title());
        return false;
    }
    if (current.provider == DataLinkProvider::SqliteFile && m_createNew->isChecked()) {
        if (const Status created = createEmptyDatabaseFile(current.file); !created) {
            m_op.messageBox(QStringLiteral("The new database file was not created.\r\n") +
                                created.error().description,
                            OperatorInteraction::Buttons::Ok, title());
            return false;
        }
        // It exists now; a second Test Connection or OK uses it as it is.
        m_createNew->setChecked(false);
    }
    return true;
}

void DataLinkDialog::onBrowse()
{
    const QString filter = QStringLiteral("Database Files (*.db *.sqlite *.mdb);;All Files (*)");
    const QString chosen =
        m_createNew->isChecked()
            ? QFileDialog::getSaveFileName(this, QStringLiteral("New Database File"),
                                           m_file->text(), filter)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Database File"), m_file->text(),
                                           filter);
    if (!chosen.isEmpty())
        m_file->setText(chosen);
}

void DataLinkDialog::onTestConnection()
{
    if (!prepare())
        return;
    std::unique_ptr<DbConnection> connection = m_testWith();
    Status tested = connection->Open(connectionString());
    if (tested)
        tested = connection->Close();
    if (tested) {
        m_op.messageBox(QStringLiteral("Test connection succeeded."),
                        OperatorInteraction::Buttons::Ok, title());
        return;
    }
    m_op.messageBox(QStringLiteral("Test connection failed.\r\nError # %1:%2")
                        .arg(tested.error().number)
                        .arg(tested.error().description),
                    OperatorInteraction::Buttons::Ok, title());
}

void DataLinkDialog::onOk()
{
    if (prepare())
        accept();
}
