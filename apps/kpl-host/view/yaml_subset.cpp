#include "apps/kpl-host/view/yaml_subset.h"

namespace kplhost {

namespace {

class Reader {
 public:
  Reader(const std::string& text, const std::string& path) : path_(path) {
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      start = end + 1;
    }
  }

  YamlNode document() {
    skip_blank();
    if (at_ < lines_.size() && strip(lines_[at_]) == "---") {
      ++at_;
      skip_blank();
    }
    YamlNode doc;
    doc.line = static_cast<int>(at_) + 1;
    if (at_ >= lines_.size()) {
      doc.is_null = true;
      return doc;
    }
    if (indent(lines_[at_]) != 0) fail(at_, "expected a key at the start of the line");
    doc = mapping(0);
    skip_blank();
    if (at_ < lines_.size()) fail(at_, "expected a key at the start of the line");
    return doc;
  }

 private:
  [[noreturn]] void fail(size_t line, const std::string& what) const {
    throw WebConfigError(path_ + ":" + std::to_string(line + 1) + ": " + what);
  }

  static std::string strip(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
  }

  size_t indent(const std::string& s) const {
    const size_t n = s.find_first_not_of(' ');
    if (n != std::string::npos && s[n] == '\t')
      fail(at_, "a tab in the indentation; YAML indents with spaces");
    return n == std::string::npos ? s.size() : n;
  }

  // The line without its comment: # at its start or after a blank, outside
  // quotes.
  std::string content(size_t i) const {
    const std::string& s = lines_[i];
    char quote = 0;
    for (size_t k = 0; k < s.size(); ++k) {
      const char c = s[k];
      if (quote) {
        if (c == '\\' && quote == '"')
          ++k;
        else if (c == quote)
          quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '#' && (k == 0 || s[k - 1] == ' ')) {
        return s.substr(0, k);
      }
    }
    return s;
  }

  void skip_blank() {
    while (at_ < lines_.size() && strip(content(at_)).empty()) ++at_;
  }

  YamlNode mapping(size_t level) {
    YamlNode node;
    node.is_map = true;
    node.line = static_cast<int>(at_) + 1;
    for (;;) {
      skip_blank();
      if (at_ >= lines_.size()) break;
      const size_t here = indent(lines_[at_]);
      if (here < level) break;
      if (here > level) fail(at_, "expected this line indented as the key above it");
      const size_t line = at_;
      std::string text = strip(content(line));
      size_t pos = 0;
      const std::string key = scalar(text, pos, line, ":");
      if (pos >= text.size() || text[pos] != ':' || (pos + 1 < text.size() && text[pos + 1] != ' '))
        fail(line, "expected \"key: value\"");
      for (const auto& kv : node.map)
        if (kv.first == key) fail(line, key + ": a key given twice");
      ++at_;
      std::string rest = strip(text.substr(pos + 1));
      YamlNode value;
      value.line = static_cast<int>(line) + 1;
      if (!rest.empty()) {
        value = inline_value(rest, line);
      } else {
        skip_blank();
        if (at_ < lines_.size() && indent(lines_[at_]) > level) {
          value = mapping(indent(lines_[at_]));
          // Said at its key.
          value.line = static_cast<int>(line) + 1;
        } else {
          value.is_null = true;
        }
      }
      node.map.emplace_back(key, std::move(value));
    }
    return node;
  }

  YamlNode inline_value(const std::string& text, size_t line) {
    YamlNode v;
    v.line = static_cast<int>(line) + 1;
    size_t pos = 0;
    if (text[0] == '{') {
      v.is_map = true;
      pos = 1;
      skip_spaces(text, pos);
      if (pos < text.size() && text[pos] == '}') {
        ++pos;
      } else {
        for (;;) {
          const std::string key = scalar(text, pos, line, ":,}");
          if (pos >= text.size() || text[pos] != ':') fail(line, "expected \"key: value\" in { }");
          ++pos;
          YamlNode item;
          item.line = v.line;
          item.scalar = scalar(text, pos, line, ",}");
          for (const auto& kv : v.map)
            if (kv.first == key) fail(line, key + ": a key given twice");
          v.map.emplace_back(key, std::move(item));
          if (pos < text.size() && text[pos] == ',') {
            ++pos;
            continue;
          }
          if (pos < text.size() && text[pos] == '}') {
            ++pos;
            break;
          }
          fail(line, "expected , or } in { }");
        }
      }
    } else {
      v.scalar = scalar(text, pos, line, "");
    }
    skip_spaces(text, pos);
    if (pos != text.size()) fail(line, "expected the end of the line after the value");
    return v;
  }

  static void skip_spaces(const std::string& s, size_t& pos) {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }

  // A scalar from pos to one of `stops` or the end of the text. In a block
  // key (stops ":") a colon ends it only before a blank or the end, as in
  // YAML, so that "a:b" stays one word.
  std::string scalar(const std::string& s, size_t& pos, size_t line, const std::string& stops) {
    const bool block_key = stops == ":";
    skip_spaces(s, pos);
    if (pos >= s.size()) fail(line, "expected a value");
    const char first = s[pos];
    if (first == '"' || first == '\'') return quoted(s, pos, line);
    if (std::string("[]{}&*!|>%@`-").find(first) != std::string::npos &&
        !(first == '-' && pos + 1 < s.size() && s[pos + 1] != ' '))
      fail(line,
           std::string("\"") + first + "\" starts YAML this reader does not take; quote the value");
    std::string out;
    while (pos < s.size()) {
      const char c = s[pos];
      const bool ends = !block_key || pos + 1 == s.size() || s[pos + 1] == ' ';
      if (stops.find(c) != std::string::npos && ends) break;
      out += c;
      ++pos;
    }
    return strip(out);
  }

  std::string quoted(const std::string& s, size_t& pos, size_t line) {
    const char q = s[pos++];
    std::string out;
    while (pos < s.size()) {
      const char c = s[pos++];
      if (q == '\'' && c == '\'') {
        if (pos < s.size() && s[pos] == '\'') {
          out += '\'';
          ++pos;
          continue;
        }
        return out;
      }
      if (q == '"' && c == '"') return out;
      if (q == '"' && c == '\\') {
        if (pos >= s.size()) break;
        const char e = s[pos++];
        if (e == '"' || e == '\\' || e == '/')
          out += e;
        else if (e == 'n')
          out += '\n';
        else if (e == 't')
          out += '\t';
        else
          fail(line, std::string("\\") + e + " is an escape this reader does not take");
        continue;
      }
      out += c;
    }
    fail(line, "expected the closing quote on the same line");
  }

  const std::string& path_;
  std::vector<std::string> lines_;
  size_t at_ = 0;
};

}  // namespace

YamlNode parse_yaml_subset(const std::string& text, const std::string& path) {
  return Reader(text, path).document();
}

}  // namespace kplhost
