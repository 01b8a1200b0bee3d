#pragma once

#include "platform/OperatorInteraction.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// The operator as a script: message boxes take their answers from a queue, the logon dialog
// its typed texts, the value, log file and Data Link dialogs their replies. Everything shown
// is recorded, and `shown` keeps the order of it all.
class ScriptedOperator : public OperatorInteraction
{
public:
    struct Message
    {
        QString title;
        QString text;
        Buttons buttons;
    };

    // One press in the logon dialog: OK with these texts in the boxes, or Cancel.
    struct LoginStep
    {
        QString user;
        QString password;
        bool cancel = false;
    };

    // Answers to the coming message boxes, first first; when none is left the box is
    // answered with fallbackAnswer.
    QList<Answer> answers;
    Answer fallbackAnswer = Answer::Cancel;
    // Presses in the coming logon dialogs; when none is left the dialog is closed.
    QList<LoginStep> loginSteps;

    // Replies of the coming value dialogs: a text is OK pressed with it in the box, nothing a
    // close by the window frame. When none is left the dialog is closed by its frame.
    QList<std::optional<QString>> valueReplies;
    QList<std::optional<QString>> selectReplies;
    // The coming log file dialogs: the chosen path, or nothing for Cancel (also when none is
    // left).
    QList<std::optional<QString>> logFileReplies;
    // The coming Data Link dialogs: a connection string, nothing for Cancel (also when none is
    // left), or a failure of the dialog.
    QList<Result<std::optional<QString>>> dataLinkReplies;
    // Runs while a dialog is open, before it answers, with the dialog's name (as in `shown`):
    // the place to let datagrams arrive or to look at the state mid-command.
    std::function<void(const QString &dialog)> whileOpen;

    QList<Message> messages;
    QList<LoginRequest> loginRequests;
    QList<LoginVerdict> verdicts; // what each OK in a logon dialog led to
    QList<ValueRequest> valueRequests;
    QList<ValueRequest> selectRequests;
    QList<QStringList> selectEntries;
    QStringList logFileProposals;
    // "message <title>", "SingleValueDialog", "SingleSelectDialog", "CommonDialog1",
    // "DataLink", "Login", in the order shown.
    QStringList shown;

    Answer messageBox(const QString &text, Buttons buttons, const QString &title) override
    {
        messages.append({title, text, buttons});
        opened(QStringLiteral("message ") + title);
        return answers.isEmpty() ? fallbackAnswer : answers.takeFirst();
    }

    bool login(const LoginRequest &labels, const LogonTest &tryLogon) override
    {
        loginRequests.append(labels);
        opened(QStringLiteral("Login"));
        while (!loginSteps.isEmpty()) {
            const LoginStep step = loginSteps.takeFirst();
            if (step.cancel)
                return false;
            const LoginVerdict verdict = tryLogon(step.user, step.password);
            verdicts.append(verdict);
            if (verdict != LoginVerdict::Retry)
                return verdict == LoginVerdict::Accept;
        }
        return false;
    }

    std::optional<QString> singleValue(const ValueRequest &request) override
    {
        valueRequests.append(request);
        opened(QStringLiteral("SingleValueDialog"));
        return valueReplies.isEmpty() ? std::nullopt : valueReplies.takeFirst();
    }

    std::optional<QString> singleSelect(const ValueRequest &request,
                                        const QStringList &entriesTopDown) override
    {
        selectRequests.append(request);
        selectEntries.append(entriesTopDown);
        opened(QStringLiteral("SingleSelectDialog"));
        return selectReplies.isEmpty() ? std::nullopt : selectReplies.takeFirst();
    }

    std::optional<QString> chooseLogFile(const QString &fileName) override
    {
        logFileProposals.append(fileName);
        opened(QStringLiteral("CommonDialog1"));
        return logFileReplies.isEmpty() ? std::nullopt : logFileReplies.takeFirst();
    }

    Result<std::optional<QString>> promptNewDataLink(const DbConnectionFactory &,
                                                     const QString &) override
    {
        opened(QStringLiteral("DataLink"));
        if (dataLinkReplies.isEmpty())
            return std::optional<QString>();
        return dataLinkReplies.takeFirst();
    }

    QStringList titles() const
    {
        QStringList result;
        for (const Message &message : messages)
            result.append(message.title);
        return result;
    }

private:
    void opened(const QString &dialog)
    {
        shown.append(dialog);
        if (whileOpen)
            whileOpen(dialog);
    }
};
