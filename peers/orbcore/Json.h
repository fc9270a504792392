// A small JSON value the engine builds for its dump file.
//
//   JsonValue doc = JsonValue::Object();
//   doc.Set("textForm", "wide").Set("freeCalls", 0);
//   std::string text = doc.Serialize();        // {"textForm":"wide","freeCalls":0}
//
// Numbers are whole numbers (64-bit); objects keep their members in the order
// they were set.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbcore {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  JsonValue() = default;
  JsonValue(std::nullptr_t) {}
  // Only a real bool: a pointer must not quietly become true.
  template <std::same_as<bool> B>
  JsonValue(B value) : kind_(Kind::Bool), number_(value ? 1 : 0) {}
  template <std::integral N>
    requires(!std::same_as<N, bool>)
  JsonValue(N value) : kind_(Kind::Number), number_(static_cast<std::int64_t>(value)) {}
  JsonValue(std::string text) : kind_(Kind::String), text_(std::move(text)) {}
  JsonValue(const char* text) : kind_(Kind::String), text_(text) {}
  JsonValue(std::optional<std::string> text);  // null when empty

  static JsonValue Array() { return JsonValue(Kind::Array); }
  static JsonValue Object() { return JsonValue(Kind::Object); }

  // Object members: Set replaces a member of that name or appends one.
  JsonValue& Set(std::string_view key, JsonValue value);
  // Array items.
  JsonValue& Push(JsonValue value);

  // Compact text; strings are written as UTF-8, with what JSON requires
  // escaped and invalid UTF-8 replaced by U+FFFD.
  std::string Serialize() const;

 private:
  explicit JsonValue(Kind kind) : kind_(kind) {}
  void SerializeTo(std::string& out) const;

  Kind kind_ = Kind::Null;
  std::int64_t number_ = 0;
  std::string text_;
  std::vector<JsonValue> items_;  // array items, or object values
  std::vector<std::string> keys_;  // object keys, beside their values
};

}  // namespace orbcore
