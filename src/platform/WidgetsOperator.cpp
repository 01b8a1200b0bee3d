#include "WidgetsOperator.h"

#include "LoginDialog.h"

#include <QMessageBox>

OperatorInteraction::Answer WidgetsOperator::messageBox(const QString &text, Buttons buttons,
                                                        const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, m_parent);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        return Answer::Cancel;
    }
}

bool WidgetsOperator::login(const LoginRequest &labels, const LogonTest &tryLogon)
{
    // A new dialog each time, so every prompt starts with empty boxes.
    LoginDialog dialog(labels, tryLogon, m_parent);
    return dialog.exec() == QDialog::Accepted;
}
