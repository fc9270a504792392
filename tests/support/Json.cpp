// The test JSON reader.
#include "tests/support/Json.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "compat/win32/StringConv.h"

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : text_(text) {}

  Json ParseDocument() {
    Json value = ParseValue();
    SkipSpace();
    if (pos_ != text_.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' ||
                                   text_[pos_] == '\t')) {
      ++pos_;
    }
  }

  bool Consume(const char* word) {
    const std::string w = word;
    if (text_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }

  Json ParseValue() {
    SkipSpace();
    if (pos_ >= text_.size()) Fail("unexpected end");
    Json value;
    const char c = text_[pos_];
    if (c == '{') {
      value.kind_ = Json::Kind::Object;
      ++pos_;
      SkipSpace();
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        return value;
      }
      for (;;) {
        SkipSpace();
        std::string key = ParseString();
        SkipSpace();
        if (!Consume(":")) Fail("expected ':'");
        value.object_[key] = ParseValue();
        SkipSpace();
        if (Consume("}")) return value;
        if (!Consume(",")) Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      value.kind_ = Json::Kind::Array;
      ++pos_;
      SkipSpace();
      if (Consume("]")) return value;
      for (;;) {
        value.array_.push_back(ParseValue());
        SkipSpace();
        if (Consume("]")) return value;
        if (!Consume(",")) Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      value.kind_ = Json::Kind::String;
      value.string_ = ParseString();
      return value;
    }
    if (Consume("true")) {
      value.kind_ = Json::Kind::Bool;
      value.bool_ = true;
      return value;
    }
    if (Consume("false")) {
      value.kind_ = Json::Kind::Bool;
      return value;
    }
    if (Consume("null")) return value;
    std::size_t used = 0;
    try {
      value.number_ = std::stod(text_.substr(pos_, 40), &used);
    } catch (const std::exception&) {
      Fail("bad value");
    }
    pos_ += used;
    value.kind_ = Json::Kind::Number;
    return value;
  }

  unsigned ParseHex4() {
    if (pos_ + 4 > text_.size()) Fail("short \\u escape");
    const unsigned value = static_cast<unsigned>(std::stoul(text_.substr(pos_, 4), nullptr, 16));
    pos_ += 4;
    return value;
  }

  std::string ParseString() {
    if (!Consume("\"")) Fail("expected string");
    std::string out;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      char c = text_[pos_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) Fail("bad escape");
      c = text_[pos_++];
      switch (c) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned cp = ParseHex4();
          if (cp >= 0xD800 && cp < 0xDC00 && Consume("\\u")) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (ParseHex4() - 0xDC00);
          }
          compat::win32::AppendUtf8(out, cp);
          break;
        }
        default: out += c;
      }
    }
    if (!Consume("\"")) Fail("unterminated string");
    return out;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

Json Json::Parse(const std::string& text) { return JsonParser(text).ParseDocument(); }

Json Json::ParseFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return Parse(buffer.str());
}

bool Json::Has(const std::string& key) const { return object_.count(key) != 0; }

const Json& Json::operator[](const std::string& key) const {
  static const Json null;
  auto it = object_.find(key);
  return it == object_.end() ? null : it->second;
}

const Json& Json::operator[](std::size_t index) const {
  static const Json null;
  return index < array_.size() ? array_[index] : null;
}

std::size_t Json::Size() const { return kind_ == Kind::Array ? array_.size() : object_.size(); }

double Json::Number() const {
  if (kind_ != Kind::Number) throw std::runtime_error("JSON: not a number");
  return number_;
}

bool Json::Bool() const {
  if (kind_ != Kind::Bool) throw std::runtime_error("JSON: not a boolean");
  return bool_;
}

const std::string& Json::String() const {
  if (kind_ != Kind::String) throw std::runtime_error("JSON: not a string");
  return string_;
}
