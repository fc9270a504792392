// Texts handed to the burn engine, kept alive for as long as the engine may
// read them. On the NT family the engine reads UTF-16; on the 9x family it
// reads ANSI, so every text also gets its ANSI copy.
//
//   CEngineTexts texts(isUnicodePlatform);
//   record.displayName = texts.Place(displayName);
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>

#include "compat/mfc/CString.h"
#include "peers/orbcore/IgnisLaunch.h"

class CEngineTexts {
 public:
  explicit CEngineTexts(bool unicode = true) : unicode_(unicode) {}
  CEngineTexts(const CEngineTexts&) = delete;
  CEngineTexts& operator=(const CEngineTexts&) = delete;
  // Moving keeps every text where it is.
  CEngineTexts(CEngineTexts&&) = default;
  CEngineTexts& operator=(CEngineTexts&&) = default;

  void SetUnicode(bool unicode) { unicode_ = unicode; }
  bool IsUnicode() const { return unicode_; }

  // The text in the engine's form; valid until Clear or destruction.
  IgnisText Place(const CString& text);
  // The parts joined into one text, kept as Place keeps it.
  IgnisText PlaceJoined(std::initializer_list<std::u16string_view> parts);
  // The text as UTF-16 whatever the platform.
  const char16_t* PlaceWide(const CString& text);
  void Clear();

 private:
  bool unicode_;
  // Deques never move their elements, so the pointers handed out stay valid.
  std::deque<std::u16string> wide_;
  std::deque<std::string> ansi_;
};

// The text in the system's ANSI code page (WideCharToMultiByte, no flags).
std::string ToAnsi(std::u16string_view text);
