#pragma once
// Corvane converts to whole numbers by rounding to nearest with halves to even.

#include <algorithm>
#include <cmath>
#include <limits>

inline double roundHalfEven(double value)
{
    return value - std::floor(value) == 0.5 ? 2.0 * std::round(value / 2.0) : std::round(value);
}

// Saturates instead of overflowing: a runaway value becomes the nearest int,
// not-a-number becomes 0.
inline int roundToInt(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(roundHalfEven(value),
        double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}
