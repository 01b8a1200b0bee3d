#include "NumberText.h"

#include "platform/RoundHalfEven.h"

#include <cmath>
#include <limits>

namespace NumberText {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Length of the run of digits starting at pos.
qsizetype digitsAt(const QString &text, qsizetype pos)
{
    qsizetype end = pos;
    while (end < text.size() && isDigit(text.at(end)))
        ++end;
    return end - pos;
}

template <typename Int> std::optional<Int> roundedTo(const QString &text)
{
    const double value = leadingNumber(text);
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = roundHalfEven(value);
    if (whole < double(std::numeric_limits<Int>::min()) ||
        whole > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return Int(whole);
}

} // namespace

double leadingNumber(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() &&
           (text.at(pos) == QLatin1Char(' ') || text.at(pos) == QLatin1Char('\t')))
        ++pos;
    const qsizetype start = pos;
    if (pos < text.size() && (text.at(pos) == QLatin1Char('+') || text.at(pos) == QLatin1Char('-')))
        ++pos;
    const qsizetype intDigits = digitsAt(text, pos);
    pos += intDigits;
    qsizetype fracDigits = 0;
    if (pos < text.size() && text.at(pos) == QLatin1Char('.')) {
        fracDigits = digitsAt(text, pos + 1);
        if (intDigits + fracDigits > 0)
            pos += 1 + fracDigits;
    }
    if (intDigits + fracDigits == 0)
        return 0.0;
    bool negativeExponent = false;
    if (pos < text.size() &&
        (text.at(pos) == QLatin1Char('e') || text.at(pos) == QLatin1Char('E'))) {
        qsizetype exp = pos + 1;
        if (exp < text.size() &&
            (text.at(exp) == QLatin1Char('+') || text.at(exp) == QLatin1Char('-'))) {
            negativeExponent = text.at(exp) == QLatin1Char('-');
            ++exp;
        }
        const qsizetype expDigits = digitsAt(text, exp);
        if (expDigits > 0)
            pos = exp + expDigits;
    }
    // The scanned text is in C notation; QString's conversion ignores the user's locale.
    bool ok = false;
    const double value = QStringView(text).mid(start, pos - start).toDouble(&ok);
    if (ok)
        return value;
    // A well-formed number fails to convert only when it is too large or too small.
    if (negativeExponent)
        return 0.0;
    const bool negative = text.at(start) == QLatin1Char('-');
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
}

std::optional<qint32> toInt32(const QString &text)
{
    return roundedTo<qint32>(text);
}

std::optional<qint16> toInt16(const QString &text)
{
    return roundedTo<qint16>(text);
}

} // namespace NumberText
