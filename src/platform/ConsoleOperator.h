#pragma once

#include "OperatorInteraction.h"

#include <cstdio>

// The operator interaction of a service without a window: every message box is written to
// standard error and answered at once. Nobody is there to retry a locked database, so
// Yes/No/Cancel questions are answered No (ignore the error and go on), which the printed
// text says.
class ConsoleOperator : public OperatorInteraction
{
public:
    explicit ConsoleOperator(FILE *err = stderr) : m_err(err) {}

    Answer messageBox(const QString &text, Buttons buttons, const QString &title) override;

protected:
    FILE *m_err;
};
