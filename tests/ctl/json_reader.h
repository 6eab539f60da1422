#pragma once
// A strict reader for the JSON the tool prints, so tests check real JSON and not text patterns:
// every scalar with its path ("preset.ch3.gain", "preset.ch1.mix[0]"), strings decoded.
// Nothing on any syntax error.

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zelto::ctl::testing {

class JsonReader {
 public:
  static std::optional<std::map<std::string, std::string>> Read(std::string_view text) {
    JsonReader r(text);
    if (!r.Value("")) return std::nullopt;
    r.Space();
    if (r.pos_ != r.text_.size()) return std::nullopt;
    return std::move(r.values_);
  }

 private:
  explicit JsonReader(std::string_view text) : text_(text) {}

  void Space() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Eat(char c) {
    Space();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  static std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
  }

  bool Value(const std::string& path) {
    Space();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '{') return Object(path);
    if (c == '[') return Array(path);
    if (c == '"') {
      std::string s;
      if (!String(s)) return false;
      values_[path] = s;
      return true;
    }
    for (std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(pos_, word.size()) == word) {
        pos_ += word.size();
        values_[path] = std::string(word);
        return true;
      }
    }
    return Number(path);
  }
  bool Object(const std::string& path) {
    ++pos_;
    if (Eat('}')) return true;
    do {
      Space();
      std::string key;
      if (!String(key) || !Eat(':') || !Value(Join(path, key))) return false;
    } while (Eat(','));
    return Eat('}');
  }
  bool Array(const std::string& path) {
    ++pos_;
    if (Eat(']')) return true;
    int i = 0;
    do {
      if (!Value(path + "[" + std::to_string(i++) + "]")) return false;
    } while (Eat(','));
    return Eat(']');
  }
  bool Number(const std::string& path) {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    const std::size_t digits = pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ == digits) return false;
    if (text_[digits] == '0' && pos_ - digits > 1) return false;  // no leading zeros
    if (pos_ < text_.size() && text_[pos_] == '.') {
      const std::size_t frac = ++pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      if (pos_ == frac) return false;
    }
    values_[path] = std::string(text_.substr(start, pos_ - start));
    return true;
  }
  bool String(std::string& out) {
    if (pos_ >= text_.size() || text_[pos_] != '"') return false;
    ++pos_;
    while (pos_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;  // raw control characters are not allowed
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char e = text_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (pos_ + 4 > text_.size()) return false;
          const std::uint32_t cp = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
          pos_ += 4;
          if (cp >= 0x80) return false;  // the tool escapes control characters only
          out += static_cast<char>(cp);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::map<std::string, std::string> values_;
};

}  // namespace zelto::ctl::testing
