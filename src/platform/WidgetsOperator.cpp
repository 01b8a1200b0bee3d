#include "WidgetsOperator.h"

#include "DataLinkDialog.h"
#include "DbErrors.h"
#include "LoginDialog.h"
#include "Twips.h"
#include "ValueDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

constexpr double ValueDialogOffsetTwips = 512;

} // namespace

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

QPoint WidgetsOperator::valueDialogPosition() const
{
    if (!m_parent)
        return {};
    const QWidget *window = m_parent->window();
    return window->geometry().topLeft() +
           QPoint(Twips::toPixels(ValueDialogOffsetTwips, window->logicalDpiX()),
                  Twips::toPixels(ValueDialogOffsetTwips, window->logicalDpiY()));
}

std::optional<QString> WidgetsOperator::singleValue(const ValueRequest &request)
{
    // A new form each time, so every use starts from its design values.
    SingleValueDialog form(m_parent);
    form.setWindowTitle(request.caption);
    form.Label1()->setText(request.label);
    form.Text1()->setText(request.text);
    if (m_parent)
        form.move(valueDialogPosition());
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return form.Text1()->text();
}

std::optional<QString> WidgetsOperator::singleSelect(const ValueRequest &request,
                                                     const QStringList &entriesTopDown)
{
    SingleSelectDialog form(m_parent);
    form.setWindowTitle(request.caption);
    form.Label1()->setText(request.label);
    form.Combo1()->addItems(entriesTopDown);
    form.Combo1()->setEditText(request.text);
    if (m_parent)
        form.move(valueDialogPosition());
    if (form.exec() != QDialog::Accepted)
        return std::nullopt;
    return form.Combo1()->currentText();
}

std::optional<QString> WidgetsOperator::chooseLogFile(const QString &fileName)
{
    // The save variant: the log file is the scoring component's to create, so it need not
    // exist yet, and nothing here writes it.
    QFileDialog dialog(m_parent, QStringLiteral("Log File"));
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QStringLiteral("Log Files (*.log);;All Files (*)"));
    if (!fileName.isEmpty()) {
        dialog.setDirectory(QFileInfo(fileName).absolutePath());
        dialog.selectFile(fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

Result<std::optional<QString>>
WidgetsOperator::promptNewDataLink(const DbConnectionFactory &testWith, const QString &startFolder)
{
    const QList<DataLinkProvider> providers = installedDataLinkProviders();
    if (providers.isEmpty())
        return ErrorInfo{DbErrors::ProviderNotFound,
                         QStringLiteral("Provider cannot be found. No database driver (SQLite, "
                                        "PostgreSQL or ODBC for Qt SQL) is installed.")};
    DataLinkDialog dialog(providers, testWith, *this, m_parent);
    dialog.setStartFolder(startFolder);
    if (dialog.exec() != QDialog::Accepted)
        return std::optional<QString>();
    return std::optional<QString>(dialog.connectionString());
}
