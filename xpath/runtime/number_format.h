// The exact texts of numbers entering and leaving the XPath engine.
#pragma once

#include "base/string.h"

#include <string_view>

namespace ovra {

// "NaN", "Infinity", "-Infinity", "-0", else the "%g" style at 15 significant digits
// with at least three exponent digits ("1e-005", "1e+100").
String formatNumber(double value);

// Optional white space around an optional sign, digits with at most one decimal point
// and an optional exponent; anything else (the empty text included) is NaN.
double parseNumber(std::string_view text);

inline constexpr std::string_view kTrueText = "true";
inline constexpr std::string_view kFalseText = "false";

}  // namespace ovra
