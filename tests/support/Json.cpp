// The test JSON reader.
#include "tests/support/Json.h"

#include <cctype>
#include <stdexcept>
#include <string_view>

#include "compat/win32/StringConv.h"
#include "tests/support/TestSupport.h"

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : text_(text) {}

  Json Document() {
    Json value = Value();
    Skip();
    if (pos_ != text_.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void Skip() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  // Takes `word` when it comes next (after white space unless inside a string).
  bool Consume(std::string_view word, bool skip = true) {
    if (skip) Skip();
    if (text_.compare(pos_, word.size(), word) != 0) return false;
    pos_ += word.size();
    return true;
  }

  void Expect(std::string_view word) {
    if (!Consume(word)) Fail("expected " + std::string(word));
  }

  Json Value() {
    Json value;
    if (Consume("{")) {
      value.kind_ = Json::Kind::Object;
      if (Consume("}")) return value;
      do {
        const std::string key = String();
        Expect(":");
        value.object_[key] = Value();
      } while (Consume(","));
      Expect("}");
    } else if (Consume("[")) {
      value.kind_ = Json::Kind::Array;
      if (Consume("]")) return value;
      do value.array_.push_back(Value());
      while (Consume(","));
      Expect("]");
    } else if (pos_ < text_.size() && text_[pos_] == '"') {
      value.kind_ = Json::Kind::String;
      value.string_ = String();
    } else if (const bool yes = Consume("true"); yes || Consume("false")) {
      value.kind_ = Json::Kind::Bool;
      value.bool_ = yes;
    } else if (!Consume("null")) {
      std::size_t used = 0;
      try {
        value.number_ = std::stod(text_.substr(pos_, 40), &used);
      } catch (const std::exception&) {
        Fail("bad value");
      }
      pos_ += used;
      value.kind_ = Json::Kind::Number;
    }
    return value;
  }

  char Next() {
    if (pos_ >= text_.size()) Fail("unterminated string");
    return text_[pos_++];
  }

  unsigned Hex4() {
    if (pos_ + 4 > text_.size()) Fail("short \\u escape");
    pos_ += 4;
    return static_cast<unsigned>(std::stoul(text_.substr(pos_ - 4, 4), nullptr, 16));
  }

  std::string String() {
    Expect("\"");
    std::string out;
    for (char c; (c = Next()) != '"';) {
      if (c != '\\') {
        out += c;
      } else if ((c = Next()) == 'u') {
        unsigned cp = Hex4();
        if (cp >= 0xD800 && cp < 0xDC00 && Consume("\\u", false)) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
        }
        compat::win32::AppendUtf8(out, cp);
      } else {
        const std::size_t letter = std::string_view("bfnrt").find(c);
        out += letter == std::string_view::npos ? c : "\b\f\n\r\t"[letter];
      }
    }
    return out;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

Json Json::Parse(const std::string& text) { return JsonParser(text).Document(); }

Json Json::ParseFile(const std::string& path) {
  if (!testing_support::FileExists(path)) throw std::runtime_error("cannot open " + path);
  return Parse(testing_support::ReadFile(path));
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

namespace {
template <class T>
const T& Checked(bool right, const T& value, const char* kind) {
  if (!right) throw std::runtime_error(std::string("JSON: not a ") + kind);
  return value;
}
}  // namespace

double Json::Number() const { return Checked(kind_ == Kind::Number, number_, "number"); }
bool Json::Bool() const { return Checked(kind_ == Kind::Bool, bool_, "boolean"); }
const std::string& Json::String() const { return Checked(kind_ == Kind::String, string_, "string"); }
