#pragma once

#include "OperatorInteraction.h"

#include <QPointer>
#include <QWidget>

// The operator interaction of the window front end: real modal dialogs. Modal dialogs run
// a nested event loop, so datagrams keep being processed while one is open.
class WidgetsOperator : public OperatorInteraction
{
public:
    explicit WidgetsOperator(QWidget *parentWindow = nullptr)
        : m_parent(parentWindow)
    {
    }
    void setParentWindow(QWidget *parentWindow) { m_parent = parentWindow; }

    Answer messageBox(const QString &text, Buttons buttons, const QString &title) override;
    bool login(const LoginRequest &labels, const LogonTest &tryLogon) override;
    std::optional<QString> singleValue(const ValueRequest &request) override;
    std::optional<QString> singleSelect(const ValueRequest &request,
                                        const QStringList &entriesTopDown) override;
    std::optional<QString> chooseLogFile(const QString &fileName) override;
    Result<std::optional<QString>> promptNewDataLink(const DbConnectionFactory &testWith,
                                                     const QString &startFolder) override;

    // Where the value dialogs go: 512 twips right of and below the main window's corner.
    QPoint valueDialogPosition() const;

private:
    QPointer<QWidget> m_parent;
};
