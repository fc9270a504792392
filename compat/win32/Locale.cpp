// Language identifiers from the POSIX locale variables, and the names of the
// languages this stand-in knows, from one table.
#include "compat/win32/Locale.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"

namespace {

struct LocaleNames {
  LANGID id;
  const char* iso639;
  const char* iso3166;
  // Windows' three-letter abbreviations: language plus sub-language letter,
  // and the ISO 3166 alpha-3 country code.
  const char* abbrevLanguage;
  const char* abbrevCountry;
};

// The first row of each language is the one a language without a country
// stands for.
constexpr LocaleNames kLocales[] = {
    {0x0409, "en", "US", "ENU", "USA"}, {0x0809, "en", "GB", "ENG", "GBR"}, {0x0C09, "en", "AU", "ENA", "AUS"},
    {0x1009, "en", "CA", "ENC", "CAN"}, {0x1409, "en", "NZ", "ENZ", "NZL"}, {0x1809, "en", "IE", "ENI", "IRL"},
    {0x0407, "de", "DE", "DEU", "DEU"}, {0x0C07, "de", "AT", "DEA", "AUT"}, {0x0807, "de", "CH", "DES", "CHE"},
    {0x040C, "fr", "FR", "FRA", "FRA"}, {0x080C, "fr", "BE", "FRB", "BEL"}, {0x0C0C, "fr", "CA", "FRC", "CAN"},
    {0x100C, "fr", "CH", "FRS", "CHE"}, {0x0410, "it", "IT", "ITA", "ITA"}, {0x0810, "it", "CH", "ITS", "CHE"},
    {0x0C0A, "es", "ES", "ESN", "ESP"}, {0x080A, "es", "MX", "ESM", "MEX"}, {0x0816, "pt", "PT", "PTG", "PRT"},
    {0x0416, "pt", "BR", "PTB", "BRA"}, {0x0413, "nl", "NL", "NLD", "NLD"}, {0x0813, "nl", "BE", "NLB", "BEL"},
    {0x041D, "sv", "SE", "SVE", "SWE"}, {0x0406, "da", "DK", "DAN", "DNK"}, {0x0414, "nb", "NO", "NOR", "NOR"},
    {0x040B, "fi", "FI", "FIN", "FIN"}, {0x0415, "pl", "PL", "PLK", "POL"}, {0x0405, "cs", "CZ", "CSY", "CZE"},
    {0x041B, "sk", "SK", "SKY", "SVK"}, {0x040E, "hu", "HU", "HUN", "HUN"}, {0x0418, "ro", "RO", "ROM", "ROU"},
    {0x0402, "bg", "BG", "BGR", "BGR"}, {0x041A, "hr", "HR", "HRV", "HRV"}, {0x0424, "sl", "SI", "SLV", "SVN"},
    {0x0425, "et", "EE", "ETI", "EST"}, {0x0426, "lv", "LV", "LVI", "LVA"}, {0x0427, "lt", "LT", "LTH", "LTU"},
    {0x0419, "ru", "RU", "RUS", "RUS"}, {0x0422, "uk", "UA", "UKR", "UKR"}, {0x0408, "el", "GR", "ELL", "GRC"},
    {0x041F, "tr", "TR", "TRK", "TUR"}, {0x040D, "he", "IL", "HEB", "ISR"}, {0x0401, "ar", "SA", "ARA", "SAU"},
    {0x0411, "ja", "JP", "JPN", "JPN"}, {0x0412, "ko", "KR", "KOR", "KOR"}, {0x0804, "zh", "CN", "CHS", "CHN"},
    {0x0404, "zh", "TW", "CHT", "TWN"}, {0x0C04, "zh", "HK", "ZHH", "HKG"}, {0x041E, "th", "TH", "THA", "THA"},
    {0x042A, "vi", "VN", "VIT", "VNM"}, {0x0421, "id", "ID", "IND", "IDN"}, {0x0439, "hi", "IN", "HIN", "IND"},
    {0x0403, "ca", "ES", "CAT", "ESP"},
};
constexpr LANGID kEnglishUS = 0x0409;

// "de_AT.UTF-8@euro:en" names de and AT; only the first entry of a LANGUAGE
// list counts.
LANGID IdOfLocale(std::string_view locale) {
  locale = locale.substr(0, locale.find_first_of(":.@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return kEnglishUS;
  const std::size_t separator = locale.find_first_of("_-");
  const std::string_view language = locale.substr(0, separator);
  const std::string_view country = separator == std::string_view::npos ? std::string_view() : locale.substr(separator + 1);
  const LocaleNames* first = nullptr;
  for (const LocaleNames& row : kLocales) {
    if (!compat::win32::SameAsciiNoCase(language, row.iso639)) continue;
    if (compat::win32::SameAsciiNoCase(country, row.iso3166)) return row.id;
    if (first == nullptr) first = &row;
  }
  return first != nullptr ? first->id : kEnglishUS;
}

}  // namespace

LANGID WINAPI GetUserDefaultUILanguage() {
  for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return IdOfLocale(value);
  }
  return kEnglishUS;
}

int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int dataLength) {
  if (dataLength < 0 || (data == nullptr && dataLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LANGID id = LANGIDFROMLCID(locale);
  if (id == LOCALE_USER_DEFAULT || id == LOCALE_SYSTEM_DEFAULT) id = GetUserDefaultUILanguage();
  const LocaleNames* names = nullptr;
  for (const LocaleNames& row : kLocales)
    if (row.id == id) names = &row;
  if (names == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* answer = nullptr;
  switch (type) {
    case LOCALE_SISO639LANGNAME: answer = names->iso639; break;
    case LOCALE_SISO3166CTRYNAME: answer = names->iso3166; break;
    case LOCALE_SABBREVLANGNAME: answer = names->abbrevLanguage; break;
    case LOCALE_SABBREVCTRYNAME: answer = names->abbrevCountry; break;
    default:
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
  }
  const int needed = static_cast<int>(std::strlen(answer)) + 1;
  if (dataLength == 0) return needed;
  if (dataLength < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // The names are ASCII: each byte is its code unit.
  for (int i = 0; i < needed; ++i) data[i] = static_cast<WCHAR>(static_cast<unsigned char>(answer[i]));
  return needed;
}
