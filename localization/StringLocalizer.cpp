#include "localization/StringLocalizer.h"

#include "foundation/ICharEncoding.h"
#include "foundation/Singleton.h"

namespace lumo {

namespace {

std::u32string CodePoints(const String& text) {
  const ICharEncoding& encoding = *text->getEncoding();
  std::u32string out;
  out.reserve(static_cast<std::size_t>(text.length()));
  CodePoint c;
  for (std::int32_t at = 0; (at = encoding.decodeNextChar(c, text->data(), text->byteLength(), at)) >= 0;) {
    out.push_back(c);
  }
  return out;
}

P<IStringLocalizer> MakeStringLocalizer() { return make<CStringLocalizer>(); }

}  // namespace

void CStringLocalizer::Clear() {
  std::lock_guard<std::mutex> hold(lock);
  texts.clear();
}

void CStringLocalizer::Set(const String& key, const String& text) {
  // The text is copied: a string that borrows its caller's buffer must not
  // outlive that buffer in the table.
  String kept = text.isNull() ? text : String(text->copy());
  std::lock_guard<std::mutex> hold(lock);
  texts.insert_or_assign(CodePoints(key), std::move(kept));
}

String CStringLocalizer::Get(const String& key, const String& defaultText) const {
  std::u32string wanted = CodePoints(key);
  std::lock_guard<std::mutex> hold(lock);
  const auto found = texts.find(wanted);
  return found == texts.end() ? defaultText : found->second;
}

const P<IStringLocalizer>& GetStringLocalizer() {
  return StaticSingleton<IStringLocalizer, &MakeStringLocalizer>();
}

String Localize(const String& key, const String& defaultText) {
  return GetStringLocalizer()->Get(key, defaultText);
}

}  // namespace lumo
