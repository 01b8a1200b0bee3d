#include "ConsoleOperator.h"

#include <QTextStream>

OperatorInteraction::Answer ConsoleOperator::messageBox(const QString &text, Buttons buttons,
                                                        const QString &title)
{
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const Answer answer = buttons == Buttons::YesNoCancel ? Answer::No : Answer::Ok;
    QTextStream err(m_err);
    err << title << '\n' << body << '\n';
    if (answer == Answer::No)
        err << "(answered No: running without an operator, the error is ignored)\n";
    err << Qt::endl;
    return answer;
}
