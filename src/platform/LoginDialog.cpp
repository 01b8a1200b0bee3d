#include "LoginDialog.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

LoginDialog::LoginDialog(const LoginRequest &labels, LogonTest tryLogon, QWidget *parent)
    : QDialog(parent)
    , m_tryLogon(std::move(tryLogon))
    , m_label1(new QLabel(labels.label1, this))
    , m_label2(new QLabel(labels.label2, this))
    , m_txtUserName(new QLineEdit(this))
    , m_txtPassword(new QLineEdit(this))
    , m_cmdOK(new QPushButton(tr("OK"), this))
    , m_cmdCancel(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("Login"));
    setWindowTitle(QStringLiteral("Database Logon"));

    auto *userLabel = new QLabel(QStringLiteral("&User Name:"), this);
    auto *passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label2->setObjectName(QStringLiteral("Label2"));
    userLabel->setObjectName(QStringLiteral("lblLabels(0)"));
    passwordLabel->setObjectName(QStringLiteral("lblLabels(1)"));
    m_txtUserName->setObjectName(QStringLiteral("txtUserName"));
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    // Long database paths wrap over about three lines.
    m_label2->setWordWrap(true);
    m_label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label2->setMinimumHeight(3 * QFontMetrics(m_label2->font()).lineSpacing());
    m_txtPassword->setEchoMode(QLineEdit::Password);
    userLabel->setBuddy(m_txtUserName);
    passwordLabel->setBuddy(m_txtPassword);
    m_cmdOK->setDefault(true);
    m_cmdCancel->setAutoDefault(false);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_label1, 0, 0, 1, 2);
    grid->addWidget(m_label2, 1, 0, 1, 2);
    grid->addWidget(userLabel, 2, 0);
    grid->addWidget(m_txtUserName, 2, 1);
    grid->addWidget(passwordLabel, 3, 0);
    grid->addWidget(m_txtPassword, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    buttons->addStretch();
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(QFontMetrics(font()).averageCharWidth() * 50);

    setTabOrder(m_txtUserName, m_txtPassword);
    setTabOrder(m_txtPassword, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdCancel);
    m_txtUserName->setFocus();

    connect(m_cmdOK, &QPushButton::clicked, this, &LoginDialog::onOk);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LoginDialog::onOk()
{
    switch (m_tryLogon(m_txtUserName->text(), m_txtPassword->text())) {
    case LoginVerdict::Accept:
        accept();
        break;
    case LoginVerdict::Cancel:
        reject();
        break;
    case LoginVerdict::Retry:
        break;
    }
}
