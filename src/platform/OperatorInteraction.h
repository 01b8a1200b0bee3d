#pragma once

#include <QString>

#include <functional>

// What the logon dialog shows above its entry boxes: Label1 (one line) and Label2 (up to
// about three lines), both set by the caller.
struct LoginRequest
{
    QString label1;
    QString label2;
};

// What the logon test decided about the typed user name and password.
enum class LoginVerdict {
    Accept, // the dialog closes, the logon succeeded
    Retry,  // the dialog stays open with what was typed
    Cancel, // the dialog closes, the logon was given up
};

using LogonTest = std::function<LoginVerdict(const QString &user, const QString &password)>;

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

    // The modal logon dialog "Database Logon", its boxes empty. Every OK runs tryLogon with
    // the typed texts, as typed; Cancel, Esc or closing the window ends it. True only when
    // tryLogon accepted.
    virtual bool login(const LoginRequest &labels, const LogonTest &tryLogon) = 0;
};
