#include "DbErrors.h"

namespace DbErrors {

namespace {

QString withWord(const QString &text, const QString &word, const QString &addition)
{
    if (text.contains(word))
        return text;
    return text.isEmpty() ? addition : text + QStringLiteral(" (") + addition + QLatin1Char(')');
}

} // namespace

ErrorInfo locked(const QString &engineText)
{
    return {Locked,
            withWord(engineText, QStringLiteral("locked"), QStringLiteral("database is locked"))};
}

ErrorInfo duplicate(const QString &engineText)
{
    return {Duplicate, withWord(engineText, QStringLiteral("duplicate"),
                                QStringLiteral("duplicate object or key"))};
}

ErrorInfo commandFailed(const QString &engineText)
{
    return {CommandFailed,
            engineText.isEmpty() ? QStringLiteral("The statement failed.") : engineText};
}

ErrorInfo openFailed(const QString &engineText)
{
    return {OpenFailed, engineText.isEmpty() ? QStringLiteral("The database could not be opened.")
                                             : engineText};
}

ErrorInfo objectClosed()
{
    return {ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed.")};
}

ErrorInfo objectOpen()
{
    return {ObjectOpen, QStringLiteral("Operation is not allowed when the object is open.")};
}

ErrorInfo noTransaction()
{
    return {NoTransaction, QStringLiteral("No transaction is active.")};
}

ErrorInfo itemNotFound(const QString &fieldName)
{
    return {ItemNotFound,
            QStringLiteral("Item cannot be found in the collection corresponding to the "
                           "requested name or ordinal (%1).")
                .arg(fieldName)};
}

} // namespace DbErrors
