#include "ctl/report_tree.h"

#include <cmath>
#include <cstdio>

#include "ctl/text_safety.h"

namespace zelto::ctl {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kIndent = 2;
// The library writes every double in its shortest form ("1.5"); a value shown with a fixed number
// of places ("1.500") goes into the document as a unique text and is put back unquoted after.
constexpr char kMarkerByte = '\x7f';

std::size_t LongestMarkerRun(const std::string& s) {
  std::size_t best = 0;
  std::size_t run = 0;
  for (char c : s) {
    run = c == kMarkerByte ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

std::size_t LongestMarkerRun(const Node& node) {
  std::size_t best = 0;
  switch (node.kind()) {
    case Node::Kind::Scalar:
      if (node.Value().is_string()) best = LongestMarkerRun(node.Value().get_ref<const std::string&>());
      break;
    case Node::Kind::Object:
      for (const auto& [key, value] : node.Members())
        best = std::max({best, LongestMarkerRun(ValidUtf8(key)), LongestMarkerRun(value)});
      break;
    case Node::Kind::Array:
      for (const auto& e : node.Elements()) best = std::max(best, LongestMarkerRun(e));
      break;
  }
  return best;
}

/// The document, with each fixed number as marker + its index into `fixed`.
Json ToJson(const Node& node, const std::string& marker, std::vector<std::string>& fixed) {
  switch (node.kind()) {
    case Node::Kind::Scalar:
      if (!node.IsFixedNumber()) return node.Value();
      fixed.push_back(node.Value().get<std::string>());
      return marker + std::to_string(fixed.size() - 1);
    case Node::Kind::Object: {
      Json object = Json::object();
      for (const auto& [key, value] : node.Members()) object[ValidUtf8(key)] = ToJson(value, marker, fixed);
      return object;
    }
    case Node::Kind::Array: {
      Json array = Json::array();
      for (const auto& e : node.Elements()) array.push_back(ToJson(e, marker, fixed));
      return array;
    }
  }
  return {};
}

void FlattenInto(const Node& node, const std::string& path, std::vector<std::pair<std::string, const Node*>>& out) {
  switch (node.kind()) {
    case Node::Kind::Scalar: out.emplace_back(path, &node); return;
    case Node::Kind::Object:
      for (const auto& [key, value] : node.Members()) FlattenInto(value, path.empty() ? key : path + "." + key, out);
      return;
    case Node::Kind::Array:
      for (std::size_t i = 0; i < node.Elements().size(); ++i)
        FlattenInto(node.Elements()[i], path + "[" + std::to_string(i) + "]", out);
      return;
  }
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s(buf);
  if (!s.empty() && s[0] == '-' && s.find_first_of("123456789") == std::string::npos) s.erase(0, 1);
  return s;
}

Node Node::Number(double value, int decimals, std::string_view unit) {
  Node n(Kind::Scalar);
  const std::string text = FormatFixed(value, decimals);
  if (decimals > 0) {
    n.value_ = text;
    n.fixed_ = true;
  } else {
    n.value_ = Json::parse(text);
  }
  n.display_ = text + std::string(unit);
  return n;
}

Node Node::Integer(long long value, std::string_view unit) {
  Node n(Kind::Scalar);
  n.value_ = value;
  n.display_ = std::to_string(value) + std::string(unit);
  return n;
}

Node Node::Text(std::string_view text) {
  Node n(Kind::Scalar);
  n.value_ = ValidUtf8(text);
  n.display_ = PrintableText(text);
  return n;
}

Node Node::Flag(bool value) {
  Node n(Kind::Scalar);
  n.value_ = value;
  n.display_ = value ? "true" : "false";
  return n;
}

Node& Node::Add(std::string key, Node value) {
  members_.emplace_back(std::move(key), std::move(value));
  return members_.back().second;
}

Node& Node::Push(Node value) {
  elements_.push_back(std::move(value));
  return elements_.back();
}

const Node* Node::Find(std::string_view key) const {
  for (const auto& [k, v] : members_)
    if (k == key) return &v;
  return nullptr;
}

void WriteJson(const Node& node, std::ostream& out) {
  // A marker longer than any run of its byte in the tree's texts cannot occur in them.
  const std::string marker(LongestMarkerRun(node) + 1, kMarkerByte);
  std::vector<std::string> fixed;
  std::string text = ToJson(node, marker, fixed).dump(kIndent);
  std::string::size_type from = 0;
  while ((from = text.find('"' + marker, from)) != std::string::npos) {
    const auto digits = from + 1 + marker.size();
    const auto close = text.find('"', digits);
    const std::size_t index = std::stoul(text.substr(digits, close - digits));
    text.replace(from, close + 1 - from, fixed.at(index));
    from += fixed[index].size();
  }
  out << text << '\n';
}

std::vector<std::pair<std::string, const Node*>> Flatten(const Node& node) {
  std::vector<std::pair<std::string, const Node*>> out;
  FlattenInto(node, {}, out);
  return out;
}

}  // namespace zelto::ctl
