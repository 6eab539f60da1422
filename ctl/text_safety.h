#pragma once
// Text that comes from a processor or a file is untrusted: it may hold bytes that are no UTF-8,
// or control characters that would move the cursor or recolour a terminal. These make it safe to
// print; the JSON writer takes ValidUtf8 text and does its own escaping.

#include <cstddef>
#include <string>
#include <string_view>

namespace zelto::ctl {

/// `text` as valid UTF-8: every byte that does not start or continue a well-formed character
/// becomes U+FFFD.
std::string ValidUtf8(std::string_view text);

/// ValidUtf8(text) with every control character (C0, DEL and C1) replaced by '?', for a terminal.
std::string PrintableText(std::string_view text);

/// Columns `text` takes on a terminal: wide (CJK) characters take two.
std::size_t DisplayWidth(std::string_view text);
/// PrintableText(text) with spaces appended up to `width` columns.
std::string PadToWidth(std::string_view text, std::size_t width);

}  // namespace zelto::ctl
