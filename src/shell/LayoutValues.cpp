#include "LayoutValues.h"

#include "platform/RoundHalfEven.h"

namespace LayoutValues {

qint64 geometryDefault(double screenTwips, int divisor)
{
    return qint64(roundHalfEven(screenTwips)) / divisor;
}

double savedEdge(double edgeTwips, double screenTwips)
{
    if (edgeTwips > screenTwips)
        return double(geometryDefault(screenTwips, 8));
    return edgeTwips;
}

QString numberText(double value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

std::optional<double> readNumber(const QString &text, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = plain.toDouble(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace LayoutValues
