#pragma once

#include <QString>

#include <optional>

// Numbers typed by people or read from files (ports, options, the digits of a key) are read
// as a leading number: blanks skipped, an optional sign, digits with an optional decimal
// point and exponent; reading stops at the first other character and text that does not
// begin with a number gives 0.
namespace NumberText {

double leadingNumber(const QString &text);

// The leading number rounded to a whole number, a tie to the even one; nothing when the
// result does not fit the target type.
std::optional<qint32> toInt32(const QString &text);
std::optional<qint16> toInt16(const QString &text);

} // namespace NumberText
