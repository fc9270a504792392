// The shell's entries in the engine's main window and what they do: the
// languages and channel options, the "Internet" menu with its web links,
// online update and upgrade, and the automatic channel check when idle.
// Links, updates and channels go through the Internet library
// "kvn_inet.dll"; without it the menus are still built, links report that
// the browser could not be launched and there are no channels.
#include "shell/Menus.h"

#include <string>
#include <type_traits>

#include "compat/mfc/MessageBox.h"
#include "compat/win32/Menu.h"
#include "compat/win32/Message.h"
#include "compat/win32/Module.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Shell.h"
#include "compat/win32/StringConv.h"
#include "langpacks/LangPackMan.h"
#include "langpacks/Languages.h"
#include "langpacks/Localize.h"
#include "shell/Kyrell.h"

namespace {

constexpr const char16_t* kInternetLibrary = u"kvn_inet.dll";
constexpr const char16_t* kCompany = u"Korvane";

// Command identifiers of the shell's entries.
enum : std::uint32_t {
  kCommandLanguages = 2000,
  kCommandRecommend = 2002,
  kCommandSpecialOffers = 2003,
  kCommandNewsletter = 2004,
  kCommandProducts = 2005,
  kCommandUpdate = 2006,
  kCommandUpgrade = 2009,
  kCommandHomepage = 2010,
  kCommandMyKorvane = 2015,
  kCommandTranslation = 2017,
  kCommandChannels = 2100,
  kCommandSupport = 107,
  kCommandBuyRecordables = 32795,  // carried out by the engine
  kCommandSendReport = 1040,       // carried out by the engine
};

// The web link each link command opens.
struct LinkCommand {
  std::uint32_t command;
  const char* key;
};
constexpr LinkCommand kLinkCommands[] = {
    {kCommandRecommend, "friend"},        {kCommandSpecialOffers, "advertising"}, {kCommandNewsletter, "newsletter"},
    {kCommandProducts, "products"},       {kCommandHomepage, "homepage"},         {kCommandMyKorvane, "mykorvane"},
    {kCommandTranslation, "translation"}, {kCommandSupport, "support"},
};
constexpr const char* kUpdateLink = "update";
constexpr const char* kUpgradeLink = "upgrade";

// Update check flags: an update by the program, an upgrade, and a check that
// offers both.
constexpr std::uint32_t kCheckUpdate = 0xB19;
constexpr std::uint32_t kCheckUpgrade = 0x719;
constexpr std::uint32_t kCheckAny = 0x319;
constexpr std::int32_t kCheckMustEnd = 3;
constexpr std::int32_t kChannelsMustEnd = -1;

using Handle = void*;
using WindowProc = HWND(WINAPI*)();

// The Internet library's exports; all texts are ANSI.
struct InternetLibrary {
  void(WINAPI* Init)() = nullptr;
  Handle(WINAPI* InfoCheckCreate)() = nullptr;
  void(WINAPI* InfoCheckSetRegistryKey)(Handle, HKEY, const char*) = nullptr;
  void(WINAPI* InfoCheckSetUserRegistryKey)(Handle, HKEY, const char*) = nullptr;
  void(WINAPI* InfoCheckSetProduct)(Handle, const char*) = nullptr;
  void(WINAPI* InfoCheckSetProductVersion)(Handle, const char*) = nullptr;
  void(WINAPI* InfoCheckSetProductEdition)(Handle, const char*) = nullptr;
  void(WINAPI* InfoCheckSetProductLang)(Handle, const char*) = nullptr;
  void(WINAPI* InfoCheckSetParentWindow)(Handle, WindowProc) = nullptr;
  const char*(WINAPI* InfoCheckGetConfigureChannelsText)(Handle, std::int32_t) = nullptr;
  std::int32_t(WINAPI* InfoCheckDoConfig)(Handle, HWND) = nullptr;
  std::int32_t(WINAPI* InfoCheckStartAllAuto)(Handle) = nullptr;
  Handle(WINAPI* UpdateManagerCreate)() = nullptr;
  void(WINAPI* UpdateManagerDestroy)(Handle) = nullptr;
  void(WINAPI* UpdateManagerSetRegistryKey)(Handle, HKEY, const char*) = nullptr;
  void(WINAPI* UpdateManagerSetUserRegistryKey)(Handle, HKEY, const char*) = nullptr;
  void(WINAPI* UpdateManagerSetProduct)(Handle, const char*) = nullptr;
  void(WINAPI* UpdateManagerSetProductVersion)(Handle, const char*) = nullptr;
  void(WINAPI* UpdateManagerSetProductEdition)(Handle, const char*) = nullptr;
  void(WINAPI* UpdateManagerSetProductLang)(Handle, const char*) = nullptr;
  std::int32_t(WINAPI* UpdateManagerDoModalCheck)(Handle, HWND, std::uint32_t) = nullptr;
  char*(WINAPI* MakeLinkTargetURL)(const char*, const char*, const char*, const char*, const char*,
                                   const char*) = nullptr;

  // Every export found, or none: a library that lacks one is not used.
  bool Load(HMODULE module) {
    bool complete = true;
    const auto bind = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(GetProcAddress(module, name));
      complete = complete && function != nullptr;
    };
#define KINET_BIND(name) bind(name, "kinet_" #name)
    KINET_BIND(Init);
    KINET_BIND(InfoCheckCreate);
    KINET_BIND(InfoCheckSetRegistryKey);
    KINET_BIND(InfoCheckSetUserRegistryKey);
    KINET_BIND(InfoCheckSetProduct);
    KINET_BIND(InfoCheckSetProductVersion);
    KINET_BIND(InfoCheckSetProductEdition);
    KINET_BIND(InfoCheckSetProductLang);
    KINET_BIND(InfoCheckSetParentWindow);
    KINET_BIND(InfoCheckGetConfigureChannelsText);
    KINET_BIND(InfoCheckDoConfig);
    KINET_BIND(InfoCheckStartAllAuto);
    KINET_BIND(UpdateManagerCreate);
    KINET_BIND(UpdateManagerDestroy);
    KINET_BIND(UpdateManagerSetRegistryKey);
    KINET_BIND(UpdateManagerSetUserRegistryKey);
    KINET_BIND(UpdateManagerSetProduct);
    KINET_BIND(UpdateManagerSetProductVersion);
    KINET_BIND(UpdateManagerSetProductEdition);
    KINET_BIND(UpdateManagerSetProductLang);
    KINET_BIND(UpdateManagerDoModalCheck);
    KINET_BIND(MakeLinkTargetURL);
#undef KINET_BIND
    if (!complete) *this = InternetLibrary{};
    return complete;
  }
  bool Loaded() const { return Init != nullptr; }
};

// What the callbacks work with, set up just before the engine starts.
struct MenuState {
  CKyrellApp* app = nullptr;
  InternetLibrary library;
  Handle checker = nullptr;  // never destroyed: it lives as long as the run
  bool channelsEnabled = false;
  // The product texts as the Internet library takes them.
  std::string product, version, edition, language;
  std::string registryKey;
};

MenuState& State() {
  static MenuState state;
  return state;
}

std::string Ansi(const CString& text) { return compat::win32::Utf16ToAnsi(text.str()); }

CString Localized(LPCWSTR key, LPCWSTR defaultText) {
  CString text = Localize(key, defaultText);
  ReplacePlaceholder(text, u"%COMPANY%", kCompany);
  return text;
}

WindowProc MainWindowProc() {
  const MenuState& state = State();
  if (state.app == nullptr || state.app->EngineModule() == nullptr) return nullptr;
  return reinterpret_cast<WindowProc>(GetProcAddress(state.app->EngineModule(), "GetOWMainWindow"));
}

HWND MainWindow() {
  const WindowProc proc = MainWindowProc();
  return proc != nullptr ? proc() : nullptr;
}

// Both roots get the same key; then the four product texts.
template <typename SetKey, typename SetText>
void HandOverProduct(Handle handle, SetKey setMachineKey, SetKey setUserKey, SetText setProduct, SetText setVersion,
                     SetText setEdition, SetText setLanguage) {
  const MenuState& state = State();
  setMachineKey(handle, HKEY_LOCAL_MACHINE, state.registryKey.c_str());
  setUserKey(handle, HKEY_CURRENT_USER, state.registryKey.c_str());
  setProduct(handle, state.product.c_str());
  setVersion(handle, state.version.c_str());
  setEdition(handle, state.edition.c_str());
  setLanguage(handle, state.language.c_str());
}

void AppendItem(HMENU menu, std::uint32_t command, LPCWSTR key, LPCWSTR defaultText) {
  AppendMenuW(menu, MF_STRING, command, Localized(key, defaultText));
}

bool ChannelsOffered() {
  MenuState& state = State();
  if (state.checker == nullptr || !state.channelsEnabled) return false;
  state.library.InfoCheckSetParentWindow(state.checker, MainWindowProc());
  return state.library.InfoCheckGetConfigureChannelsText(state.checker, 1) != nullptr;
}

HMENU BuildInternetMenu() {
  const CKyrellApp& app = *State().app;
  HMENU menu = CreatePopupMenu();
  AppendItem(menu, kCommandRecommend, u"Menu.Internet.Recommend", u"Recommend Program to a Friend");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendItem(menu, kCommandMyKorvane, u"Menu.Internet.MyKorvane", u"My Korvane");
  AppendItem(menu, kCommandSpecialOffers, u"Menu.Internet.SpecialOffers", u"Today's Special Offers");
  AppendItem(menu, kCommandNewsletter, u"Menu.Internet.Newsletter", u"Korvane free Service Letter");
  AppendItem(menu, kCommandHomepage, u"Menu.Internet.Homepage", u"%COMPANY% Homepage");
  AppendItem(menu, kCommandProducts, u"Menu.Internet.Products", u"Korvane Products");
  AppendItem(menu, kCommandSupport, u"Menu.Internet.Support", u"Korvane Support");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendItem(menu, kCommandBuyRecordables, u"Menu.Korvane.BuyRecordables", u"Buy Recordables online");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  const bool update = app.UpdateType() != 0;
  const bool upgrade = app.UpgradeType() != 0;
  if (update) AppendItem(menu, kCommandUpdate, u"Menu.Korvane.Update", u"Online Update");
  if (upgrade) {
    CString text = Localized(u"Menu.Korvane.Upgrade", u"Upgrade to %UPGRADENAME%");
    ReplacePlaceholder(text, u"%UPGRADENAME%", app.UpgradeName());
    ReplacePlaceholder(text, u"%APP_NAME%", app.DisplayName());
    AppendMenuW(menu, MF_STRING, kCommandUpgrade, text);
  }
  if (update || upgrade) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  if (ReportEntryIsBeta(app.FullVersion())) {
    AppendItem(menu, kCommandSendReport, u"SystemMenu.SendBetaReport", u"&Send Beta Report to %COMPANY%...");
  } else {
    AppendItem(menu, kCommandSendReport, u"SystemMenu.Send Report", u"&Send Problem Report to %COMPANY%...");
  }
  return menu;
}

void PostQuit() { PostQuitMessage(0); }

void RunUpdateCheck(std::uint32_t flags) {
  const MenuState& state = State();
  const InternetLibrary& lib = state.library;
  if (!lib.Loaded()) return;
  Handle manager = lib.UpdateManagerCreate();
  HandOverProduct(manager, lib.UpdateManagerSetRegistryKey, lib.UpdateManagerSetUserRegistryKey,
                  lib.UpdateManagerSetProduct, lib.UpdateManagerSetProductVersion, lib.UpdateManagerSetProductEdition,
                  lib.UpdateManagerSetProductLang);
  if (lib.UpdateManagerDoModalCheck(manager, MainWindow(), flags) == kCheckMustEnd) PostQuit();
  lib.UpdateManagerDestroy(manager);
}

// The language dialog; the choice counts from the next start.
void ChooseLanguage(CKyrellApp& app) {
  CLanguages dialog(LangPackMan());
  dialog.SetLinkHandler([] { OpenWebLink("translation"); });
  if (dialog.DoModal() != IDOK) return;
  AfxMessageBox(Localize(u"Languages.NewLanguageActive",
                         u"The application will use the new language the next time the application is started"),
                MB_ICONINFORMATION);
  app.WriteProfileStringW(u"General", u"Language", dialog.ChosenLanguage());
}

void UpdateCommand(int type, const char* link, std::uint32_t checkFlags) {
  switch (type) {
    case 1:
      OpenWebLink(link);
      break;
    case 2:
      RunUpdateCheck(checkFlags);
      break;
    case 3:
      RunUpdateCheck(kCheckAny);
      break;
    default:
      break;
  }
}

}  // namespace

bool ReportEntryIsBeta(const CString& fullVersion) {
  return fullVersion.Find(u"beta") >= 0 || fullVersion.Find(u"alpha") >= 0;
}

std::string EscapeForUrl(std::string_view text) {
  std::string out;
  for (const unsigned char c : text) {
    const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                            c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<char>(c);
    } else {
      compat::win32::AppendPercentEscape(out, c);
    }
  }
  return out;
}

std::string SystemLanguageParameter(const CString& systemLanguage) {
  // UTF-8 first; the ANSI code page only when the name does not convert.
  const std::u16string& name = systemLanguage.str();
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes;
  if (size > 0 || name.empty()) {
    bytes.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()), bytes.data(), size,
                        nullptr, nullptr);
  } else {
    bytes = compat::win32::Utf16ToAnsi(name);
  }
  return "syslang=" + EscapeForUrl(bytes);
}

void OpenWebLink(const char* link) {
  const MenuState& state = State();
  CString url;
  if (state.library.Loaded()) {
    const std::string system = SystemLanguageParameter(LangPackMan().SystemLanguageName());
    if (char* text = state.library.MakeLinkTargetURL(link, state.product.c_str(), state.version.c_str(),
                                                     state.edition.c_str(), state.language.c_str(), system.c_str())) {
      url = CString(compat::win32::AnsiToUtf16(text));
      CoTaskMemFree(text);
    }
  }
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, url, nullptr, u".", SW_SHOWDEFAULT));
  if (result <= 32) AfxMessageBox(Localize(u"Beta.UnableTobrowser", u"Could not launch browser"), MB_ICONERROR);
}

void InitInfoChannels(CKyrellApp& app) {
  MenuState& state = State();
  state = MenuState{};
  state.app = &app;
  state.channelsEnabled = app.GetSettingInt(u"", u"InfoChannelsEnabled", 1) == 1;
  state.product = Ansi(app.ProductCode());
  state.version = Ansi(app.Version());
  state.edition = Ansi(app.Edition());
  state.language = Ansi(app.ActiveLanguage());
  state.registryKey = Ansi(CString(CKyrellApp::kSettingsKey) + u"\\kvn_inet");
  // Loaded like the engine, from the program folder first; it stays loaded.
  HMODULE module = app.LoadLibraryReporting(kInternetLibrary, false);
  if (module == nullptr || !state.library.Load(module)) return;
  const InternetLibrary& lib = state.library;
  lib.Init();
  state.checker = lib.InfoCheckCreate();
  HandOverProduct(state.checker, lib.InfoCheckSetRegistryKey, lib.InfoCheckSetUserRegistryKey, lib.InfoCheckSetProduct,
                  lib.InfoCheckSetProductVersion, lib.InfoCheckSetProductEdition, lib.InfoCheckSetProductLang);
}

extern "C" {

void WINAPI ShellMenuBuild(HMENU menuBar) {
  if (State().app == nullptr) return;
  if (HMENU options = GetSubMenu(menuBar, 1)) {
    AppendItem(options, kCommandLanguages, u"Menu.Options.Languages", u"Languages...");
    if (ChannelsOffered()) AppendItem(options, kCommandChannels, u"Menu.Options.Channels", u"Channels...");
  }
  InsertMenuW(menuBar, 2, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(BuildInternetMenu()),
              Localized(u"Menu.Internet", u"Internet"));
}

std::uint32_t WINAPI ShellMenuCommand(std::uint32_t command, std::uint32_t /*unused*/) {
  MenuState& state = State();
  if (state.app == nullptr) return 0;
  for (const LinkCommand& link : kLinkCommands) {
    if (link.command == command) {
      OpenWebLink(link.key);
      return 0;
    }
  }
  switch (command) {
    case kCommandLanguages:
      ChooseLanguage(*state.app);
      break;
    case kCommandUpdate:
      UpdateCommand(state.app->UpdateType(), kUpdateLink, kCheckUpdate);
      break;
    case kCommandUpgrade:
      UpdateCommand(state.app->UpgradeType(), kUpgradeLink, kCheckUpgrade);
      break;
    case kCommandChannels:
      if (state.checker != nullptr) state.library.InfoCheckDoConfig(state.checker, MainWindow());
      break;
    default:
      break;  // the engine's own commands
  }
  return 0;
}

void WINAPI ShellIdle(std::uint32_t /*unused*/) {
  const MenuState& state = State();
  if (!state.channelsEnabled || state.checker == nullptr) return;
  if (state.library.InfoCheckStartAllAuto(state.checker) == kChannelsMustEnd) PostQuit();
}

}  // extern "C"
