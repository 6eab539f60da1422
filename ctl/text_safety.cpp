#include "ctl/text_safety.h"

#include <cstdint>
#include <cstdio>

namespace zelto::ctl {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kControlStandIn = '?';
constexpr char32_t kLastC0 = 0x1F;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kLastC1 = 0x9F;

/// Length of the well-formed UTF-8 character at the front of `s` and its code point; 0 when the
/// front byte does not start one.
std::size_t DecodeOne(std::string_view s, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t n = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool IsControl(char32_t cp) { return cp <= kLastC0 || cp == kDelete || (cp >= kFirstC1 && cp <= kLastC1); }

template <class OnChar>
void ForEachChar(std::string_view text, OnChar&& onChar) {
  while (!text.empty()) {
    char32_t cp = 0;
    const std::size_t n = DecodeOne(text, cp);
    if (n == 0) {
      onChar(kReplacement, char32_t{0xFFFD});
      text.remove_prefix(1);
    } else {
      onChar(text.substr(0, n), cp);
      text.remove_prefix(n);
    }
  }
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachChar(text, [&](std::string_view bytes, char32_t) { out += bytes; });
  return out;
}

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  ForEachChar(text, [&](std::string_view bytes, char32_t cp) {
    if (IsControl(cp))
      out += kControlStandIn;
    else
      out += bytes;
  });
  return out;
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  ForEachChar(text, [&](std::string_view, char32_t cp) {
    // East Asian wide ranges: Hangul Jamo, CJK and Yi, Hangul syllables, compatibility
    // ideographs, full-width forms.
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFF00 && cp <= 0xFF60) || (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
  });
  return width;
}

std::string PadToWidth(std::string_view text, std::size_t width) {
  std::string s = PrintableText(text);
  const std::size_t w = DisplayWidth(s);
  if (w < width) s.append(width - w, ' ');
  return s;
}

}  // namespace zelto::ctl
