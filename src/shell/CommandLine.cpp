#include "CommandLine.h"

#include "state/MainModule.h"
#include "state/NumberText.h"

#include <optional>

namespace {

// The option's value, or nothing when the option is absent or has no value.
std::optional<QString> optionValue(const QString &cmdLine, const QString &option)
{
    const qsizetype p = cmdLine.indexOf(option);
    if (p < 0)
        return std::nullopt;
    const qsizetype start = p + option.size();
    qsizetype end = cmdLine.indexOf(QLatin1Char(' '), start);
    if (end < 0)
        end = cmdLine.size();
    if (end <= start)
        return std::nullopt;
    return cmdLine.mid(start, end - start);
}

ErrorInfo outOfRange(const QString &option, const QString &value)
{
    return {6, QStringLiteral("Overflow: the value %1 of %2 is out of range").arg(value, option)};
}

} // namespace

Status applyCommandLine(MainModule &state, const QString &commandLine)
{
    state.CmdLine = commandLine.toLower();
    const QString &cmdLine = state.CmdLine;
    if (!cmdLine.isEmpty()) {
        if (const auto value = optionValue(cmdLine, QStringLiteral("maxcon="))) {
            const std::optional<qint32> number = NumberText::toInt32(*value);
            if (!number)
                return outOfRange(QStringLiteral("maxcon="), *value);
            // Connection N owns socket element N, whose index is 16-bit: a larger table could
            // never be used, and at the top of the 32-bit range it cannot even be allocated.
            if (*number > UdpSocketArray::MaxIndex) {
                ErrorInfo tooMany = outOfRange(QStringLiteral("maxcon="), *value);
                tooMany.description += QStringLiteral("; at most %1 connections can have a socket "
                                                      "element each")
                                           .arg(UdpSocketArray::MaxIndex);
                return tooMany;
            }
            state.MaxCon = *number;
            if (state.MaxCon < 1)
                state.MaxCon = 1;
        }
        if (const auto value = optionValue(cmdLine, QStringLiteral("logout="))) {
            const std::optional<qint16> number = NumberText::toInt16(*value);
            if (!number)
                return outOfRange(QStringLiteral("logout="), *value);
            state.RawLogging = *number;
        }
        if (const auto value = optionValue(cmdLine, QStringLiteral("cfgfile=")))
            state.CfgFile = *value;
    }
    if (state.MaxCon < 1)
        state.MaxCon = 1;
    if (state.CfgFile.isEmpty())
        state.CfgFile = QStringLiteral("connections.cfg");
    return {};
}
