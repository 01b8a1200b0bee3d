#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// The numbers of the remembered window layout: computed defaults, the limits applied when
// saving, and their text form in the settings store.
namespace LayoutValues {

// A missing position or size: the screen's extent in twips, rounded, divided by divisor
// with the remainder dropped.
qint64 geometryDefault(double screenTwips, int divisor);

// A top or left edge beyond the bottom or right of the screen is saved as an eighth of the
// screen; anything else, negative values included, as it is.
double savedEdge(double edgeTwips, double screenTwips);

// Up to 15 significant digits, a fraction only when there is one, the locale's decimal
// separator and no grouping: 1230 x 1.05 gives "1291.5".
QString numberText(double value, const QLocale &locale = QLocale::system());

// Reads a stored number back with the same separator; nothing when it is not a number.
std::optional<double> readNumber(const QString &text, const QLocale &locale = QLocale::system());

} // namespace LayoutValues
