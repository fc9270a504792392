// Modules over the dynamic loader.
//
// An HMODULE is the loader's own handle, so dlsym works on every module handle
// compat gives out. Compat keeps a table of the handles it gave out: a handle
// that is not in it (never loaded, or freed as often as it was loaded) is
// refused instead of being passed to the loader, which would crash on it.
#include "compat/win32/Module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "compat/win32/CaseRules.h"
#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/ModuleInternal.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/NoDestructor.h"

namespace compat::win32 {
namespace {

struct ModuleTable {
  std::mutex lock;
  // Handle -> how many LoadLibraryW calls it still owes a FreeLibrary. 0 marks
  // a module compat knows but did not load (the program, modules found by
  // GetModuleHandleW): FreeLibrary leaves those alone.
  std::unordered_map<void*, long> loads;
  // Libraries compat provides itself, by their lower-case name; the handle
  // of one is the address of its entry, which the map keeps in place.
  std::unordered_map<std::u16string, const ProvidedExport*> provided;
};

ModuleTable& Modules() {
  static NoDestructor<ModuleTable> table;
  return *table;
}

bool IsKnown(void* handle) {
  ModuleTable& table = Modules();
  std::lock_guard guard(table.lock);
  return table.loads.count(handle) != 0;
}

void Remember(void* handle, long loads) {
  ModuleTable& table = Modules();
  std::lock_guard guard(table.lock);
  table.loads[handle] += loads;
}

std::u16string LowerAscii(std::u16string_view name) {
  std::u16string lower(name);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

// The handle of a provided library of that name, or null.
void* ProvidedHandle(LPCWSTR name) {
  ModuleTable& table = Modules();
  std::lock_guard guard(table.lock);
  const auto found = table.provided.find(LowerAscii(name));
  return found == table.provided.end() ? nullptr : &found->second;
}

// The exports of a provided library's handle, or null for any other handle.
const ProvidedExport* ProvidedExports(void* handle) {
  ModuleTable& table = Modules();
  std::lock_guard guard(table.lock);
  for (auto& entry : table.provided) {
    if (&entry.second == handle) return entry.second;
  }
  return nullptr;
}

void* ProgramHandle() {
  static void* const handle = [] {
    void* h = dlopen(nullptr, RTLD_NOW);
    Remember(h, 0);
    return h;
  }();
  return handle;
}

// "name.dll" (or "name", to which Windows adds ".dll") is "libname.so";
// a name ending in a dot keeps its bare form; other names stay as they are.
std::string SharedObjectName(std::string_view fileName) {
  if (EndsWithAsciiNoCase(fileName, ".dll")) {
    return "lib" + std::string(fileName.substr(0, fileName.size() - 4)) + ".so";
  }
  if (!fileName.empty() && fileName.back() == '.') return std::string(fileName.substr(0, fileName.size() - 1));
  if (fileName.find('.') == std::string_view::npos) return "lib" + std::string(fileName) + ".so";
  return std::string(fileName);
}

// Where to look for a module name, in order: a path is taken as it is (its
// file name mapped); a bare name is looked for in the program folder first,
// then through the loader's own search.
std::vector<std::string> Candidates(LPCWSTR fileName) {
  const std::u16string_view name(fileName);
  const bool isPath = name.find_first_of(u"\\/:") != std::u16string_view::npos;
  if (isPath) {
    const std::optional<std::string> path = PosixPath(name);
    if (!path) return {};
    const std::size_t slash = path->rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return {path->substr(0, start) + SharedObjectName(std::string_view(*path).substr(start))};
  }
  const std::string so = SharedObjectName(Utf16ToFileName(name));
  return {ProgramFolder() + "/" + so, so};
}

const link_map* LinkMapOf(void* handle) {
  link_map* map = nullptr;
  return dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 ? map : nullptr;
}

std::string FileOfModule(void* handle) {
  const link_map* map = LinkMapOf(handle);
  if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') return ProgramPath();
  char resolved[PATH_MAX];
  return realpath(map->l_name, resolved) != nullptr ? std::string(resolved) : std::string(map->l_name);
}

}  // namespace

const std::string& ProgramPath() {
  static NoDestructor<const std::string> path([] {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  }());
  return *path;
}

std::string ProgramFolder() { return ParentFolder(ProgramPath()); }

void* ModuleOwnSymbol(HMODULE module, const char* name) {
  void* handle = module;
  if (handle == nullptr || !IsKnown(handle)) return nullptr;
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) return nullptr;
  // The object that holds the address, looked up in the loader's sorted
  // table (dladdr would also walk the object's symbols for a name).
  dl_find_object owner{};
  if (_dl_find_object(symbol, &owner) != 0) return nullptr;
  return owner.dlfo_link_map == LinkMapOf(handle) ? symbol : nullptr;
}

void ProvideModule(LPCWSTR name, const ProvidedExport* exports) {
  ModuleTable& table = Modules();
  std::lock_guard guard(table.lock);
  table.provided[LowerAscii(name)] = exports;
}

}  // namespace compat::win32

using namespace compat::win32;

HMODULE WINAPI LoadLibraryW(LPCWSTR fileName) {
  if (fileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (void* handle = ProvidedHandle(fileName)) return static_cast<HMODULE>(handle);
  if (fileName[0] != 0) {
    for (const std::string& candidate : Candidates(fileName)) {
      // Resolve everything now, as Windows binds a module's imports at load:
      // a missing symbol fails here rather than later in the middle of a call.
      if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        Remember(handle, 1);
        return static_cast<HMODULE>(handle);
      }
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  void* handle = module;
  if (ProvidedExports(handle) != nullptr) return TRUE;
  void* const program = ProgramHandle();
  ModuleTable& table = Modules();
  std::unique_lock guard(table.lock);
  const auto found = table.loads.find(handle);
  if (found == table.loads.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (found->second == 0) return TRUE;
  if (--found->second == 0 && handle != program) table.loads.erase(found);
  guard.unlock();
  dlclose(handle);
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  if (const ProvidedExport* exports = ProvidedExports(module)) {
    if (procName != nullptr && (reinterpret_cast<ULONG_PTR>(procName) >> 16) != 0) {
      for (; exports->name != nullptr; ++exports) {
        if (std::strcmp(exports->name, procName) == 0) return exports->address;
      }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (module == nullptr || !IsKnown(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // An ordinal (a number in place of the name) names no export here.
  if (procName == nullptr || (reinterpret_cast<ULONG_PTR>(procName) >> 16) == 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = ModuleOwnSymbol(module, procName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName == nullptr) return static_cast<HMODULE>(ProgramHandle());
  if (void* handle = ProvidedHandle(moduleName)) return static_cast<HMODULE>(handle);
  if (moduleName[0] != 0) {
    for (const std::string& candidate : Candidates(moduleName)) {
      // Only a module that is loaded already; no reference is taken, as on Windows.
      if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(handle);
        Remember(handle, 0);
        return static_cast<HMODULE>(handle);
      }
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (fileName == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path;
  if (module == nullptr) {
    path = ProgramPath();
  } else if (IsKnown(module)) {
    path = FileOfModule(module);
  } else {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  const std::u16string windowsPath = WindowsPath(path);
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (windowsPath.size() < size) {
    std::memcpy(fileName, windowsPath.data(), windowsPath.size() * sizeof(WCHAR));
    fileName[windowsPath.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(windowsPath.size());
  }
  std::memcpy(fileName, windowsPath.data(), (size - 1) * sizeof(WCHAR));
  fileName[size - 1] = 0;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}
