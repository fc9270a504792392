// The Internet library stand-in: link addresses under the reserved example
// domain, an information channel checker and an update manager that read
// local feed files and keep their state in the registry.
#include "peers/kvn_inet/KvnInet.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compat/win32/Path.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Shell.h"
#include "compat/win32/StringConv.h"

namespace {

using compat::win32::AnsiToUtf16;
using compat::win32::Utf16ToAnsi;

constexpr const char* kChannelsTitle = "Information Channels";
constexpr const char* kUpdateTitle = "Online Update";
constexpr std::uint32_t kDefaultChannelInterval = 24 * 60 * 60;
// A feed is a few lines; anything larger is not one.
constexpr std::uintmax_t kMaxFeedBytes = 64 * 1024;

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// One line per call in $KVN_INET_TRACE: the export and its arguments, texts
// quoted, so a test can read back what the shell asked for. The line is a
// plain string (a stream would set up a locale at every call).
class Trace {
 public:
  explicit Trace(const char* name) : line_(name) {}
  ~Trace() {
    const char* file = std::getenv("KVN_INET_TRACE");
    if (file == nullptr || *file == '\0') return;
    if (std::FILE* out = std::fopen(file, "ab")) {
      std::fputs((line_ + '\n').c_str(), out);
      std::fclose(out);
    }
  }
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  Trace& operator<<(const char* text) {
    if (text == nullptr) {
      line_ += " null";
      return *this;
    }
    line_ += " \"";
    for (const char* c = text; *c != '\0'; ++c) {
      if (*c == '"' || *c == '\\') line_ += '\\';
      if (*c == '\n') {
        line_ += "\\n";
      } else {
        line_ += *c;
      }
    }
    line_ += '"';
    return *this;
  }
  Trace& operator<<(std::int64_t number) {
    line_ += ' ' + std::to_string(number);
    return *this;
  }
  Trace& Hex(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, " 0x%X", static_cast<unsigned>(number));
    line_ += text;
    return *this;
  }
  Trace& Root(HKEY root) {
    line_ += root == HKEY_LOCAL_MACHINE ? " HKLM" : root == HKEY_CURRENT_USER ? " HKCU" : " other-root";
    return *this;
  }
  Trace& Pointer(const void* pointer) {
    line_ += pointer != nullptr ? " set" : " null";
    return *this;
  }

 private:
  std::string line_;
};

// The window module beside this library, loaded on first use when a display
// is named; it stays loaded, as the GUI libraries it pulls in cannot be
// unloaded. Null without a display or when the module is missing.
KinetAskProc WindowModule() {
  static const KinetAskProc ask = []() -> KinetAskProc {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return nullptr;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&kinet_Init), &self) == 0 || self.dli_fname == nullptr) return nullptr;
    // The library's folder with its slash; none when the name has no slash
    // (npos + 1 is 0).
    const std::string library = self.dli_fname;
    const std::string file = library.substr(0, library.rfind('/') + 1) + "libkvn_inet_wx.so";
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    return module != nullptr ? reinterpret_cast<KinetAskProc>(dlsym(module, kKinetAskExport)) : nullptr;
  }();
  return ask;
}

// Shows `text` in a dialog with OK, or Yes and No for a question; answers 1
// for OK or Yes, 0 for No. Without a window the text goes to standard error
// and the answer is -1: the caller keeps things as they are.
int Ask(const char* title, const std::string& text, bool question) {
  if (const KinetAskProc ask = WindowModule()) {
    const int answer = ask(title, text.c_str(), question ? 1 : 0);
    if (answer >= 0) return answer;
  }
  const std::string line =
      std::string("kvn_inet: ") + title + ": " + text + (question ? " (no window to answer in)" : "") + '\n';
  std::fputs(line.c_str(), stderr);
  return -1;
}

void Tell(const char* title, const std::string& text) { Ask(title, text, false); }

struct Product {
  std::string code, version, edition, language;
};

// The registry key an object was handed, for both roots.
struct Keys {
  std::u16string machine;
  std::u16string user;

  void Set(HKEY root, const char* key) { (root == HKEY_LOCAL_MACHINE ? machine : user) = AnsiToUtf16(Text(key)); }

  std::optional<std::u16string> ReadString(const char16_t* name) const {
    for (const auto& [root, key] : {std::pair{HKEY_CURRENT_USER, &user}, {HKEY_LOCAL_MACHINE, &machine}}) {
      if (key->empty()) continue;
      char16_t buffer[1024];
      DWORD size = sizeof buffer;
      if (RegGetValueW(root, key->c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) == ERROR_SUCCESS)
        return std::u16string(buffer);
    }
    return std::nullopt;
  }
  std::optional<std::uint32_t> ReadNumber(const char16_t* name, const char16_t* sub = nullptr) const {
    for (const auto& [root, key] : {std::pair{HKEY_CURRENT_USER, &user}, {HKEY_LOCAL_MACHINE, &machine}}) {
      if (key->empty()) continue;
      const std::u16string path = sub != nullptr ? *key + u"\\" + sub : *key;
      DWORD value = 0;
      DWORD size = sizeof value;
      if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS)
        return value;
    }
    return std::nullopt;
  }

  // Writes go to the user's key (the machine's when only that was given).
  void Write(const char16_t* sub, const char16_t* name, const std::string& text) const {
    const std::u16string value = AnsiToUtf16(text);
    WriteRaw(sub, name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(char16_t));
  }
  void Write(const char16_t* sub, const char16_t* name, std::uint32_t number) const {
    WriteRaw(sub, name, REG_DWORD, &number, sizeof number);
  }
  void Write(const char16_t* sub, const Product& product) const {
    Write(sub, u"Product", product.code);
    Write(sub, u"Version", product.version);
    Write(sub, u"Edition", product.edition);
    Write(sub, u"Language", product.language);
  }

 private:
  void WriteRaw(const char16_t* sub, const char16_t* name, DWORD type, const void* data, std::size_t size) const {
    const bool toUser = !user.empty();
    const std::u16string& key = toUser ? user : machine;
    if (key.empty()) return;
    compat::win32::ScopedKey handle;
    const std::u16string path = key + u"\\" + sub;
    if (RegCreateKeyExW(toUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, handle.Receive(), nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExW(handle.Get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  }
};

using Feed = std::map<std::string, std::string>;

// The file at `path`, which its caller found no larger than a feed may be,
// up to that size; false when it cannot be read.
bool ReadSmallFile(const std::string& path, std::string& bytes) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  bytes.resize(kMaxFeedBytes);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  return !failed;
}

// The feed named by `valueName`, or the reason it cannot be read.
struct FeedRead {
  std::optional<Feed> feed;
  std::string problem;
};

FeedRead ReadFeed(const Keys& keys, const char16_t* valueName) {
  const std::optional<std::u16string> name = keys.ReadString(valueName);
  if (!name || name->empty()) return {std::nullopt, "no feed is set up"};
  const std::optional<std::string> path = compat::win32::PosixPath(*name);
  const std::string shown = Utf16ToAnsi(*name);
  struct stat info {};
  if (!path || stat(path->c_str(), &info) != 0) return {std::nullopt, shown + " cannot be found"};
  if (!S_ISREG(info.st_mode)) return {std::nullopt, shown + " is not a file"};
  if (info.st_size == 0) return {std::nullopt, shown + " is empty"};
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxFeedBytes) return {std::nullopt, shown + " is too large"};
  std::string bytes;
  if (!ReadSmallFile(*path, bytes)) return {std::nullopt, shown + " cannot be read"};
  if (bytes.find('\0') != std::string::npos) return {std::nullopt, shown + " is not a text file"};
  Feed feed;
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos)
      feed[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
  }
  return {std::move(feed), {}};
}

bool MustEnd(const Feed& feed) {
  const auto end = feed.find("end");
  return end != feed.end() && end->second == "1";
}

std::uint32_t Now() { return static_cast<std::uint32_t>(std::time(nullptr)); }

// What the checker and the update manager are both handed.
struct Client {
  Keys keys;
  Product product;
};

struct InfoChecker : Client {
  KinetWindowProc mainWindow = nullptr;
  std::optional<std::uint32_t> nextCheck;  // known once the registry was asked
};

struct UpdateManager : Client {};

// Checkers are never destroyed by their user: they live as long as the
// library, which keeps them.
std::vector<std::unique_ptr<InfoChecker>>& Checkers() {
  static std::vector<std::unique_ptr<InfoChecker>> checkers;
  return checkers;
}

InfoChecker* Checker(KinetHandle handle) { return static_cast<InfoChecker*>(handle); }
UpdateManager* Manager(KinetHandle handle) { return static_cast<UpdateManager*>(handle); }

void SetKey(const char* exportName, KinetHandle handle, Client* client, HKEY root, const char* key) {
  Trace(exportName).Root(root) << key;
  if (handle != nullptr) client->keys.Set(root, key);
}

void SetProductText(const char* exportName, KinetHandle handle, Client* client, std::string Product::*field,
                    const char* text) {
  Trace(exportName) << text;
  if (handle != nullptr) client->product.*field = Text(text);
}

// RFC 3986's unreserved characters stay; every other byte becomes %XX.
void AppendEscaped(std::string& out, std::string_view text, std::string_view alsoKept = {}) {
  for (const unsigned char c : text) {
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                            c == '.' || c == '_' || c == '~';
    if (unreserved || alsoKept.find(static_cast<char>(c)) != std::string_view::npos) {
      out += static_cast<char>(c);
    } else {
      compat::win32::AppendPercentEscape(out, c);
    }
  }
}

}  // namespace

void WINAPI kinet_Init() { Trace("kinet_Init"); }

KinetHandle WINAPI kinet_InfoCheckCreate() {
  Trace("kinet_InfoCheckCreate");
  return Checkers().emplace_back(std::make_unique<InfoChecker>()).get();
}

void WINAPI kinet_InfoCheckSetRegistryKey(KinetHandle checker, HKEY root, const char* key) {
  SetKey("kinet_InfoCheckSetRegistryKey", checker, Checker(checker), root, key);
}

void WINAPI kinet_InfoCheckSetUserRegistryKey(KinetHandle checker, HKEY root, const char* key) {
  SetKey("kinet_InfoCheckSetUserRegistryKey", checker, Checker(checker), root, key);
}

void WINAPI kinet_InfoCheckSetProduct(KinetHandle checker, const char* text) {
  SetProductText("kinet_InfoCheckSetProduct", checker, Checker(checker), &Product::code, text);
}
void WINAPI kinet_InfoCheckSetProductVersion(KinetHandle checker, const char* text) {
  SetProductText("kinet_InfoCheckSetProductVersion", checker, Checker(checker), &Product::version, text);
}
void WINAPI kinet_InfoCheckSetProductEdition(KinetHandle checker, const char* text) {
  SetProductText("kinet_InfoCheckSetProductEdition", checker, Checker(checker), &Product::edition, text);
}
void WINAPI kinet_InfoCheckSetProductLang(KinetHandle checker, const char* text) {
  SetProductText("kinet_InfoCheckSetProductLang", checker, Checker(checker), &Product::language, text);
}

void WINAPI kinet_InfoCheckSetParentWindow(KinetHandle checker, KinetWindowProc mainWindow) {
  Trace("kinet_InfoCheckSetParentWindow").Pointer(reinterpret_cast<const void*>(mainWindow));
  if (checker != nullptr) Checker(checker)->mainWindow = mainWindow;
}

const char* WINAPI kinet_InfoCheckGetConfigureChannelsText(KinetHandle checker, std::int32_t kind) {
  Trace("kinet_InfoCheckGetConfigureChannelsText") << kind;
  if (checker == nullptr || Checker(checker)->keys.ReadNumber(u"ConfigureChannels").value_or(1) == 0) return nullptr;
  return "Configure information channels...";
}

std::int32_t WINAPI kinet_InfoCheckDoConfig(KinetHandle checker, HWND parent) {
  Trace("kinet_InfoCheckDoConfig").Pointer(parent);
  if (checker == nullptr) return 0;
  InfoChecker& self = *Checker(checker);
  const bool enabled = self.keys.ReadNumber(u"Enabled", u"InfoCheck").value_or(1) != 0;
  const int answer = Ask(kChannelsTitle,
                         std::string("Information channels bring news about ") + self.product.code +
                             " and its updates. They are " + (enabled ? "on" : "off") + ". Receive them?",
                         true);
  self.keys.Write(u"InfoCheck", self.product);
  if (answer >= 0) self.keys.Write(u"InfoCheck", u"Enabled", static_cast<std::uint32_t>(answer));
  return answer >= 0 ? 1 : 0;
}

std::int32_t WINAPI kinet_InfoCheckStartAllAuto(KinetHandle checker) {
  if (checker == nullptr) return 0;
  InfoChecker& self = *Checker(checker);
  const std::uint32_t now = Now();
  // Called whenever the program is idle: the registry is asked once, then
  // the time of the next check is kept here.
  if (!self.nextCheck) {
    const std::uint32_t last = self.keys.ReadNumber(u"LastCheck", u"InfoCheck").value_or(0);
    self.nextCheck = last + self.keys.ReadNumber(u"ChannelInterval").value_or(kDefaultChannelInterval);
    if (last > now) self.nextCheck = now;  // a clock set back
  }
  if (now < *self.nextCheck) return 0;
  Trace("kinet_InfoCheckStartAllAuto");
  self.nextCheck = now + self.keys.ReadNumber(u"ChannelInterval").value_or(kDefaultChannelInterval);
  self.keys.Write(u"InfoCheck", self.product);
  self.keys.Write(u"InfoCheck", u"LastCheck", now);
  if (self.keys.ReadNumber(u"Enabled", u"InfoCheck").value_or(1) == 0) return 0;
  const FeedRead read = ReadFeed(self.keys, u"ChannelFeed");
  if (!read.feed) return 0;  // channels are news, not errors: nothing to tell
  const auto message = read.feed->find("message");
  if (message != read.feed->end()) Tell(kChannelsTitle, message->second);
  return MustEnd(*read.feed) ? -1 : 0;
}

KinetHandle WINAPI kinet_UpdateManagerCreate() {
  Trace("kinet_UpdateManagerCreate");
  return new UpdateManager;
}

void WINAPI kinet_UpdateManagerDestroy(KinetHandle manager) {
  Trace("kinet_UpdateManagerDestroy");
  delete Manager(manager);
}

void WINAPI kinet_UpdateManagerSetRegistryKey(KinetHandle manager, HKEY root, const char* key) {
  SetKey("kinet_UpdateManagerSetRegistryKey", manager, Manager(manager), root, key);
}
void WINAPI kinet_UpdateManagerSetUserRegistryKey(KinetHandle manager, HKEY root, const char* key) {
  SetKey("kinet_UpdateManagerSetUserRegistryKey", manager, Manager(manager), root, key);
}
void WINAPI kinet_UpdateManagerSetProduct(KinetHandle manager, const char* text) {
  SetProductText("kinet_UpdateManagerSetProduct", manager, Manager(manager), &Product::code, text);
}
void WINAPI kinet_UpdateManagerSetProductVersion(KinetHandle manager, const char* text) {
  SetProductText("kinet_UpdateManagerSetProductVersion", manager, Manager(manager), &Product::version, text);
}
void WINAPI kinet_UpdateManagerSetProductEdition(KinetHandle manager, const char* text) {
  SetProductText("kinet_UpdateManagerSetProductEdition", manager, Manager(manager), &Product::edition, text);
}
void WINAPI kinet_UpdateManagerSetProductLang(KinetHandle manager, const char* text) {
  SetProductText("kinet_UpdateManagerSetProductLang", manager, Manager(manager), &Product::language, text);
}

std::int32_t WINAPI kinet_UpdateManagerDoModalCheck(KinetHandle manager, HWND parent, std::uint32_t flags) {
  Trace("kinet_UpdateManagerDoModalCheck").Pointer(parent).Hex(flags);
  if (manager == nullptr) return kKinetFailed;
  const UpdateManager& self = *Manager(manager);
  self.keys.Write(u"Update", self.product);
  self.keys.Write(u"Update", u"Flags", flags);
  self.keys.Write(u"Update", u"LastCheck", Now());
  const FeedRead read = ReadFeed(self.keys, u"UpdateFeed");
  std::int32_t result = kKinetUpToDate;
  std::string told;
  if (!read.feed) {
    told = "The update information cannot be read: " + read.problem + ".";
    result = kKinetFailed;
  } else {
    const Feed& feed = *read.feed;
    const auto version = feed.find("version");
    const auto upgrade = feed.find("upgrade");
    if ((flags & kKinetCheckUpgradeOnly) == 0 && version != feed.end() && version->second != self.product.version) {
      told = "Version " + version->second + " is available (this is " + self.product.version + ").";
      result = kKinetOffered;
    } else if ((flags & kKinetCheckUpdateOnly) == 0 && upgrade != feed.end()) {
      told = "An upgrade to " + upgrade->second + " is available.";
      result = kKinetOffered;
    } else {
      told = "This version is up to date.";
    }
    if (const auto message = feed.find("message"); message != feed.end()) told += " " + message->second;
    if (MustEnd(feed)) result = kKinetMustEnd;
  }
  Tell(kUpdateTitle, told);
  self.keys.Write(u"Update", u"LastResult", told);
  return result;
}

char* WINAPI kinet_MakeLinkTargetURL(const char* link, const char* product, const char* version, const char* edition,
                                     const char* lang, const char* extra) {
  Trace("kinet_MakeLinkTargetURL") << link << product << version << edition << lang << extra;
  if (link == nullptr || *link == '\0') return nullptr;
  std::string url = "https://www.example.com/";
  AppendEscaped(url, link);
  const std::pair<const char*, const char*> fields[] = {
      {"?product=", product}, {"&version=", version}, {"&edition=", edition}, {"&lang=", lang}};
  for (const auto& [name, value] : fields) {
    url += name;
    AppendEscaped(url, Text(value));
  }
  if (extra != nullptr && *extra != '\0') {
    url += '&';
    AppendEscaped(url, extra, "%=&");
  }
  char* copy = static_cast<char*>(CoTaskMemAlloc(url.size() + 1));
  if (copy != nullptr) std::memcpy(copy, url.c_str(), url.size() + 1);
  return copy;
}
