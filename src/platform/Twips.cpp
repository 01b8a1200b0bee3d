#include "Twips.h"

#include <cmath>

namespace Twips {

double fromPixels(double pixels, double logicalDpi)
{
    return pixels * PerInch / logicalDpi;
}

int toPixels(double twips, double logicalDpi)
{
    return int(std::lround(twips * logicalDpi / PerInch));
}

} // namespace Twips
