#pragma once

#include "OperatorInteraction.h"

#include <cstdio>
#include <optional>

// The operator interaction of a service without a window: every message box is written to
// standard error and answered at once. Nobody is there to retry a locked database, so
// Yes/No/Cancel questions are answered No (ignore the error and go on), which the printed
// text says.
class ConsoleOperator : public OperatorInteraction
{
public:
    explicit ConsoleOperator(FILE *err = stderr)
        : m_err(err)
    {
    }

    Answer messageBox(const QString &text, Buttons buttons, const QString &title) override;
    // Asks on the terminal (the password without echo); without a terminal nobody can
    // answer, so the logon counts as cancelled.
    bool login(const LoginRequest &labels, const LogonTest &tryLogon) override;
    // A service has no Tools menu, so these are never asked; should they be, nobody is there
    // to answer and each counts as closed without an answer.
    std::optional<QString> singleValue(const ValueRequest &request) override;
    std::optional<QString> singleSelect(const ValueRequest &request,
                                        const QStringList &entriesTopDown) override;
    std::optional<QString> chooseLogFile(const QString &fileName) override;
    Result<std::optional<QString>> promptNewDataLink(const DbConnectionFactory &testWith,
                                                     const QString &startFolder) override;

protected:
    // One line typed on the terminal; nothing at the end of input.
    std::optional<QString> readLine(const QString &prompt, bool echo);

    FILE *m_err;
};
