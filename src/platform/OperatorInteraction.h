#pragma once

#include <QString>

// The one way the program talks to its operator. Logic asks through this interface; the
// window front end shows real dialogs, a service prints, tests answer from a script.
class OperatorInteraction
{
public:
    enum class Buttons { Ok, OkCancel, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~OperatorInteraction() = default;

    // A modal message box without icon; lines are joined by CR LF. With Yes/No/Cancel the
    // default button is Yes and Esc answers Cancel.
    virtual Answer messageBox(const QString &text, Buttons buttons, const QString &title) = 0;
};
