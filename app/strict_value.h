#pragma once

#include <optional>
#include <string>

// Strict reading of configuration values, for the keys that refuse what
// they cannot use instead of taking the leading numeric text as C's atof and
// atoi do. The whole text (blanks around it already removed by the INI
// reader) must be the value.

// A decimal real number, finite: "2", "-0.5", "1e-3", ".5". Not "", "1x",
// "nan", "inf", hexadecimal or a number beyond the double range.
std::optional<double> strictReal(const std::string& text);

// A decimal integer with an optional sign that fits an int.
std::optional<int> strictInt(const std::string& text);
