// The exact texts of numbers entering and leaving the XPath engine.
#pragma once

#include "base/string.h"

#include <string_view>

namespace ovra {

// "NaN", "Infinity", "-Infinity", else plain decimal digits, never an exponent: the
// shortest that read back to the same double ("0.1", "0.30000000000000004", "1e21" as
// "1000000000000000000000"). Negative zero is "0".
String formatNumber(double value);

// XPath's number(): optional white space (space, tab, CR, LF) around an optional minus
// sign and digits with at most one decimal point; anything else (a plus sign, an
// exponent, the empty text) is NaN. Too many digits for a double give Infinity or 0.
double parseNumber(std::string_view text);

inline constexpr std::string_view kTrueText = "true";
inline constexpr std::string_view kFalseText = "false";

}  // namespace ovra
