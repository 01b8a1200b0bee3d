#include "DataLinkDialog.h"

#include "EmptyDatabaseFile.h"
#include "OperatorInteraction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStackedWidget>
#include <QTemporaryFile>
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
    m_credentials = credentialsPart();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_testConnection);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pages);
    layout->addWidget(m_credentials);
    layout->addLayout(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 70);
    alignLabels();
    orderTabs();

    connect(m_provider, &QComboBox::currentIndexChanged, this, &DataLinkDialog::showProvider);
    showProvider();

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
    // A row holding a layout gets no buddy of its own, and without one the label would show
    // its "&" instead of underlining the key.
    auto *label = new QLabel(QStringLiteral("Database &file:"), page);
    label->setBuddy(m_file);
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addRow(label, fileRow);
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

QWidget *DataLinkDialog::credentialsPart()
{
    auto *part = new QWidget(this);
    auto *credentials = new QFormLayout(part);
    credentials->setContentsMargins(0, 0, 0, 0);
    credentials->addRow(QStringLiteral("&User name:"), m_user);
    credentials->addRow(QStringLiteral("Pass&word:"), m_password);
    credentials->addRow(QString(), m_allowSaving);
    return part;
}

// A database file has no logon, so its page shows none and its string carries none.
void DataLinkDialog::showProvider()
{
    const QVariant provider = m_provider->currentData();
    if (!provider.isValid())
        return;
    m_pages->setCurrentIndex(provider.toInt());
    m_credentials->setVisible(DataLinkProvider(provider.toInt()) != DataLinkProvider::SqliteFile);
}

// The provider's fields and the logon fields are separate forms; one label width for all of
// them keeps their fields in one column.
void DataLinkDialog::alignLabels()
{
    const QList<QFormLayout *> forms = findChildren<QFormLayout *>();
    int widest = 0;
    for (const QFormLayout *form : forms) {
        for (int row = 0; row < form->rowCount(); ++row) {
            if (QLayoutItem *label = form->itemAt(row, QFormLayout::LabelRole))
                widest = std::max(widest, label->sizeHint().width());
        }
    }
    for (QFormLayout *form : forms) {
        for (int row = 0; row < form->rowCount(); ++row) {
            if (QLayoutItem *label = form->itemAt(row, QFormLayout::LabelRole);
                label && label->widget())
                label->widget()->setMinimumWidth(widest);
        }
    }
}

// Tab goes down the dialog as it reads: provider, the provider's fields, the logon, then the
// buttons; the widgets were made in another order.
void DataLinkDialog::orderTabs()
{
    const QList<QWidget *> order = {
        m_provider, m_file, m_browse,   m_createNew,   m_host,           m_port, m_database,
        m_dsn,      m_user, m_password, m_allowSaving, m_testConnection, m_ok,   m_cancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

DataLinkFields DataLinkDialog::fields() const
{
    DataLinkFields fields;
    fields.provider = DataLinkProvider(m_pages->currentIndex());
    fields.file = m_file->text();
    // A name without a folder is the program folder's, as everywhere in the program; the
    // folder the program was started from means nothing to the one who types it.
    if (!fields.file.trimmed().isEmpty())
        fields.file = QDir::cleanPath(QDir(m_startFolder).absoluteFilePath(fields.file.trimmed()));
    fields.host = m_host->text();
    fields.port = m_port->text();
    fields.database = m_database->text();
    fields.dsn = m_dsn->text();
    if (fields.provider == DataLinkProvider::SqliteFile)
        return fields;
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
    const QString start = m_file->text().trimmed().isEmpty() ? m_startFolder : m_file->text();
    const QString chosen =
        m_createNew->isChecked()
            ? QFileDialog::getSaveFileName(this, QStringLiteral("New Database File"), start, filter)
            : QFileDialog::getOpenFileName(this, QStringLiteral("Database File"), start, filter);
    if (!chosen.isEmpty())
        m_file->setText(chosen);
}

// A new file is made on OK only, so Cancel leaves nothing behind; the test shows that it can
// be made: the name is free and a file can be written in its folder.
bool DataLinkDialog::testNewFile(const QString &file)
{
    QString problem;
    if (QFileInfo::exists(file))
        problem = QStringLiteral("'%1' already exists.").arg(file);
    else if (QTemporaryFile probe(QFileInfo(file).absolutePath() +
                                  QStringLiteral("/.probe.XXXXXX"));
             !probe.open())
        problem = QStringLiteral("Can not write in the folder '%1': %2")
                      .arg(QFileInfo(file).absolutePath(), probe.errorString());
    m_op.messageBox(problem.isEmpty()
                        ? QStringLiteral("Test connection succeeded.\r\nThe new database file "
                                         "will be created when you choose OK.")
                        : QStringLiteral("Test connection failed.\r\n") + problem,
                    OperatorInteraction::Buttons::Ok, title());
    return problem.isEmpty();
}

void DataLinkDialog::onTestConnection()
{
    const DataLinkFields current = fields();
    if (current.provider == DataLinkProvider::SqliteFile && m_createNew->isChecked() &&
        dataLinkProblem(current).isEmpty()) {
        testNewFile(current.file);
        return;
    }
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
