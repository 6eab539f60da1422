#include "ctl/report_tree.h"

#include <cmath>
#include <cstdio>

#include "ctl/text_safety.h"

namespace zelto::ctl {

namespace {

constexpr int kIndent = 2;

void WriteIndent(std::ostream& out, int depth) { out << std::string(static_cast<std::size_t>(depth * kIndent), ' '); }

void Write(const Node& node, std::ostream& out, int depth) {
  switch (node.kind()) {
    case Node::Kind::Scalar:
      out << node.Json();
      return;
    case Node::Kind::Object: {
      if (node.Members().empty()) {
        out << "{}";
        return;
      }
      out << "{\n";
      bool first = true;
      for (const auto& [key, value] : node.Members()) {
        if (!first) out << ",\n";
        first = false;
        WriteIndent(out, depth + 1);
        out << JsonString(key) << ": ";
        Write(value, out, depth + 1);
      }
      out << '\n';
      WriteIndent(out, depth);
      out << '}';
      return;
    }
    case Node::Kind::Array: {
      // Arrays here hold short scalars (mix shares, levels): one line reads best.
      out << '[';
      bool first = true;
      for (const auto& e : node.Elements()) {
        if (!first) out << ", ";
        first = false;
        Write(e, out, depth + 1);
      }
      out << ']';
      return;
    }
  }
}

void FlattenInto(const Node& node, const std::string& path, std::vector<std::pair<std::string, const Node*>>& out) {
  switch (node.kind()) {
    case Node::Kind::Scalar:
      out.emplace_back(path, &node);
      return;
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
  n.json_ = FormatFixed(value, decimals);
  n.display_ = n.json_ + std::string(unit);
  return n;
}

Node Node::Integer(long long value, std::string_view unit) {
  Node n(Kind::Scalar);
  n.json_ = std::to_string(value);
  n.display_ = n.json_ + std::string(unit);
  return n;
}

Node Node::Text(std::string_view text) {
  Node n(Kind::Scalar);
  n.json_ = JsonString(text);
  n.display_ = PrintableText(text);
  return n;
}

Node Node::Flag(bool value) {
  Node n(Kind::Scalar);
  n.json_ = value ? "true" : "false";
  n.display_ = n.json_;
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
  Write(node, out, 0);
  out << '\n';
}

std::vector<std::pair<std::string, const Node*>> Flatten(const Node& node) {
  std::vector<std::pair<std::string, const Node*>> out;
  FlattenInto(node, {}, out);
  return out;
}

}  // namespace zelto::ctl
