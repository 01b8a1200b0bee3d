#pragma once

#include <QtGlobal>

// Window positions and sizes are kept in twips (1440 per inch) and converted with the
// screen's logical DPI, so stored layouts mean the same on every screen.
namespace Twips {

constexpr double PerInch = 1440.0;

double fromPixels(double pixels, double logicalDpi);
int toPixels(double twips, double logicalDpi);

} // namespace Twips
