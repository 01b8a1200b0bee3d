#pragma once

#include "platform/OperatorInteraction.h"

#include <QList>
#include <QString>

// The operator as a script: message boxes take their answers from a queue, the logon dialog
// its typed texts. Everything shown is recorded.
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

    QList<Message> messages;
    QList<LoginRequest> loginRequests;
    QList<LoginVerdict> verdicts; // what each OK in a logon dialog led to

    Answer messageBox(const QString &text, Buttons buttons, const QString &title) override
    {
        messages.append({title, text, buttons});
        return answers.isEmpty() ? fallbackAnswer : answers.takeFirst();
    }

    bool login(const LoginRequest &labels, const LogonTest &tryLogon) override
    {
        loginRequests.append(labels);
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

    QStringList titles() const
    {
        QStringList result;
        for (const Message &message : messages)
            result.append(message.title);
        return result;
    }
};
