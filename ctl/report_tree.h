#pragma once
// An ordered tree of named values: what `show --json` prints and what `diff` compares. Objects
// keep their keys in insertion order, so the output follows the processor's own layout. Every
// scalar carries its JSON value and the text a person reads (with its unit).

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace zelto::ctl {

class Node {
 public:
  enum class Kind { Object, Array, Scalar };

  static Node Object() { return Node(Kind::Object); }
  static Node Array() { return Node(Kind::Array); }
  /// A number shown with `decimals` places (no exponent, no "-0"), `unit` appended for people.
  static Node Number(double value, int decimals, std::string_view unit = {});
  static Node Integer(long long value, std::string_view unit = {});
  static Node Text(std::string_view text);
  static Node Flag(bool value);

  Kind kind() const { return kind_; }
  /// Adds a member to an object and returns it.
  Node& Add(std::string key, Node value);
  /// Appends an element to an array and returns it.
  Node& Push(Node value);

  const std::vector<std::pair<std::string, Node>>& Members() const { return members_; }
  const std::vector<Node>& Elements() const { return elements_; }
  /// The member named `key`, or null.
  const Node* Find(std::string_view key) const;
  /// JSON value of a scalar: a string (valid UTF-8), a whole number, a flag, or, for a number
  /// with decimals, its text with exactly that many places ("1.500") to be written unquoted.
  const nlohmann::ordered_json& Value() const { return value_; }
  /// True for a number with decimals, whose Value() is its text.
  bool IsFixedNumber() const { return fixed_; }
  /// Readable text of a scalar ("3.5dB", "lr", "on").
  const std::string& Display() const { return display_; }

 private:
  explicit Node(Kind kind) : kind_(kind) {}

  Kind kind_;
  std::vector<std::pair<std::string, Node>> members_;
  std::vector<Node> elements_;
  nlohmann::ordered_json value_;
  bool fixed_ = false;
  std::string display_;
};

/// Pretty-printed JSON with two-space indents and a final newline.
void WriteJson(const Node& node, std::ostream& out);

/// Every scalar with its path: object keys joined by ".", array elements as "[i]".
std::vector<std::pair<std::string, const Node*>> Flatten(const Node& node);

/// The number as `decimals` places without a negative zero.
std::string FormatFixed(double value, int decimals);

}  // namespace zelto::ctl
