#pragma once
// Small text helpers every reader of typed or filed text shares (command-line values, number
// boxes, measurement and calibration files, the twin's control port), so each trims and folds
// case the same way.

#include <string>
#include <string_view>

namespace zelto::text {

/// `text` without leading and trailing white space (the C locale's: space, tab, CR, LF, FF, VT).
std::string_view Trim(std::string_view text);

/// An ASCII lower-case copy; other bytes (UTF-8 included) are kept as they are.
std::string Lower(std::string_view text);

/// Equal when ASCII letters are compared without case.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace zelto::text
