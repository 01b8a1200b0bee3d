#pragma once

#include "DbConnection.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

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

// What a value dialog shows: the form's caption, the caption of its label and the text its
// entry starts with.
struct ValueRequest
{
    QString caption;
    QString label;
    QString text;
};

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

    // SingleValueDialog, one text box, placed 512 twips right of and below the main window's
    // corner; OK (also Enter) is the default button. The text as it stood at OK, unchecked
    // and untrimmed; nothing when the form was closed by its window frame.
    virtual std::optional<QString> singleValue(const ValueRequest &request) = 0;

    // SingleSelectDialog, placed like SingleValueDialog: a drop-down box with an editable text
    // part, listing entriesTopDown from the top and starting with request.text in its text
    // part. Its text at OK, also one typed that is not in the list; nothing when closed by the
    // frame.
    virtual std::optional<QString> singleSelect(const ValueRequest &request,
                                                const QStringList &entriesTopDown) = 0;

    // The log file dialog proposing fileName, with the filter
    // "Log Files (*.log);;All Files (*)". The chosen path (it need not exist); nothing on
    // Cancel.
    virtual std::optional<QString> chooseLogFile(const QString &fileName) = 0;

    // The Data Link Properties dialog, started empty; its Test Connection opens and closes
    // the database through testWith, and its file browser starts in startFolder (the program
    // folder). The connection string on OK, nothing on Cancel, or why no database could be
    // chosen at all.
    virtual Result<std::optional<QString>> promptNewDataLink(const DbConnectionFactory &testWith,
                                                             const QString &startFolder) = 0;
};
