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

protected:
    // One line typed on the terminal; nothing at the end of input.
    std::optional<QString> readLine(const QString &prompt, bool echo);

    FILE *m_err;
};
