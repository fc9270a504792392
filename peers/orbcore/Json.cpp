// The JSON value and its writer.
#include "peers/orbcore/Json.h"

#include "compat/win32/Utf8.h"

namespace orbcore {

namespace {

// The length of the well-formed UTF-8 sequence at `i`, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  std::size_t used = 0;
  const char32_t c =
      compat::win32::DecodeUtf8(reinterpret_cast<const unsigned char*>(s.data()) + i, s.size() - i, used);
  return c == compat::win32::kNotUtf8 ? 0 : used;
}

void SerializeString(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else if (const std::size_t n = Utf8SequenceAt(s, i); n > 0) {
          out.append(s.substr(i, n));
          i += n;
          continue;
        } else {
          compat::win32::AppendUtf8(out, 0xFFFD);
        }
    }
    ++i;
  }
  out += '"';
}

}  // namespace

JsonValue::JsonValue(std::optional<std::string> text) {
  if (text) *this = JsonValue(std::move(*text));
}

JsonValue& JsonValue::Set(std::string_view key, JsonValue value) {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) {
      items_[i] = std::move(value);
      return *this;
    }
  }
  keys_.emplace_back(key);
  items_.push_back(std::move(value));
  return *this;
}

JsonValue& JsonValue::Push(JsonValue value) {
  items_.push_back(std::move(value));
  return *this;
}

std::string JsonValue::Serialize() const {
  std::string out;
  SerializeTo(out);
  return out;
}

void JsonValue::SerializeTo(std::string& out) const {
  switch (kind_) {
    case Kind::Null: out += "null"; break;
    case Kind::Bool: out += number_ != 0 ? "true" : "false"; break;
    case Kind::Number: out += std::to_string(number_); break;
    case Kind::String: SerializeString(out, text_); break;
    case Kind::Array:
      out += '[';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) out += ',';
        items_[i].SerializeTo(out);
      }
      out += ']';
      break;
    case Kind::Object:
      out += '{';
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) out += ',';
        SerializeString(out, keys_[i]);
        out += ':';
        items_[i].SerializeTo(out);
      }
      out += '}';
      break;
  }
}

}  // namespace orbcore
