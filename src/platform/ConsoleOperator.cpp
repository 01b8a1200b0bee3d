#include "ConsoleOperator.h"

#include <QTextStream>

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

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

std::optional<QString> ConsoleOperator::readLine(const QString &prompt, bool echo)
{
    QTextStream(m_err) << prompt << Qt::flush;
    termios saved{};
    const bool quiet = !echo && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    const bool got = bool(std::getline(std::cin, line));
    if (quiet) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        QTextStream(m_err) << '\n';
    }
    if (!got)
        return std::nullopt;
    return QString::fromLocal8Bit(line);
}

bool ConsoleOperator::login(const LoginRequest &labels, const LogonTest &tryLogon)
{
    QTextStream err(m_err);
    if (!::isatty(STDIN_FILENO)) {
        // A service's standard error is its journal, where every line stands alone: one line
        // says which connection is left out and why.
        err << "Database Logon (" << labels.label1 << ", " << labels.label2
            << "): no terminal to ask on, so the logon is cancelled and the connection is not "
               "started in this run; it stays in the connections file"
            << Qt::endl;
        return false;
    }
    err << "Database Logon\n" << labels.label1 << '\n' << labels.label2 << '\n';
    for (;;) {
        const std::optional<QString> user = readLine(QStringLiteral("User Name: "), true);
        if (!user)
            return false;
        const std::optional<QString> password = readLine(QStringLiteral("Password: "), false);
        if (!password)
            return false;
        switch (tryLogon(*user, *password)) {
        case LoginVerdict::Accept:
            return true;
        case LoginVerdict::Cancel:
            return false;
        case LoginVerdict::Retry:
            break;
        }
    }
}

std::optional<QString> ConsoleOperator::singleValue(const ValueRequest &)
{
    return std::nullopt;
}

std::optional<QString> ConsoleOperator::singleSelect(const ValueRequest &, const QStringList &)
{
    return std::nullopt;
}

std::optional<QString> ConsoleOperator::chooseLogFile(const QString &)
{
    return std::nullopt;
}

Result<std::optional<QString>> ConsoleOperator::promptNewDataLink(const DbConnectionFactory &,
                                                                  const QString &)
{
    return std::optional<QString>();
}
