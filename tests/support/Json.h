// A small JSON reader for tests that inspect what a program wrote.
//
//   Json dump = Json::ParseFile(path);
//   EXPECT_EQ(dump["record"]["52"].Number(), 3);
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class Json {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  static Json Parse(const std::string& text);  // throws std::runtime_error
  static Json ParseFile(const std::string& path);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool Has(const std::string& key) const;
  // Missing members and indexes read as null.
  const Json& operator[](const std::string& key) const;
  const Json& operator[](std::size_t index) const;
  std::size_t Size() const;
  double Number() const;
  bool Bool() const;
  const std::string& String() const;

 private:
  Kind kind_ = Kind::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<Json> array_;
  std::map<std::string, Json> object_;

  friend class JsonParser;
};
