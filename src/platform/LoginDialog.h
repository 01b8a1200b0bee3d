#pragma once

#include "OperatorInteraction.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The logon dialog "Database Logon": what it is for on two labels, the user name and the
// masked password, OK (the default button) and Cancel (Esc). OK runs the logon test and
// closes only when the test accepts or gives up; on a retry the typed texts stay.
class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    LoginDialog(const LoginRequest &labels, LogonTest tryLogon, QWidget *parent = nullptr);

    QLineEdit *txtUserName() const { return m_txtUserName; }
    QLineEdit *txtPassword() const { return m_txtPassword; }
    QPushButton *cmdOK() const { return m_cmdOK; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }

private:
    void onOk();

    LogonTest m_tryLogon;
    QLabel *m_label1;
    QLabel *m_label2;
    QLineEdit *m_txtUserName;
    QLineEdit *m_txtPassword;
    QPushButton *m_cmdOK;
    QPushButton *m_cmdCancel;
};
