#pragma once

#include "Result.h"

// Error numbers of the database layer, as ADO reports them, so that messages read the same
// as the operators know them and the guarded execution can tell a lock from a duplicate.
namespace DbErrors {

// A busy or locked database; the description always contains "locked". Failures to open a
// database carry the same number with their own text, as the providers report them.
constexpr qint32 Locked = -2147467259;        // 0x80004005
constexpr qint32 OpenFailed = -2147467259;    // 0x80004005
constexpr qint32 Duplicate = -2147217887;     // 0x80040E21, description contains "duplicate"
constexpr qint32 CommandFailed = -2147217900; // 0x80040E14, the engine's own text
constexpr qint32 NoTransaction = -2147168242; // 0x8004D00E
constexpr qint32 NotCapable = 3251;
constexpr qint32 ItemNotFound = 3265;
constexpr qint32 ObjectClosed = 3704;
constexpr qint32 ObjectOpen = 3705;
constexpr qint32 ProviderNotFound = 3706;

// The engine's text with "locked" or "duplicate" added when the engine did not say so.
ErrorInfo locked(const QString &engineText);
ErrorInfo duplicate(const QString &engineText);
ErrorInfo commandFailed(const QString &engineText);
ErrorInfo openFailed(const QString &engineText);

ErrorInfo objectClosed();
ErrorInfo objectOpen();
ErrorInfo noTransaction();
ErrorInfo itemNotFound(const QString &fieldName);

} // namespace DbErrors
