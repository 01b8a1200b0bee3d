#pragma once

#include <cfenv>
#include <cmath>

// Rounds to a whole number, a tie to the even one (28000.5 -> 28000, 28001.5 -> 28002), as
// every number the program reads from text or from the screen is rounded.
inline double roundHalfEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double whole = std::nearbyint(value);
    std::fesetround(previous);
    return whole;
}
