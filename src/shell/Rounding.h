#pragma once
// Corvane converts to whole numbers by rounding to nearest with halves to even.

#include <cmath>

inline double roundHalfEven(double value)
{
    return value - std::floor(value) == 0.5 ? 2.0 * std::round(value / 2.0) : std::round(value);
}

inline int roundToInt(double value)
{
    return static_cast<int>(roundHalfEven(value));
}
