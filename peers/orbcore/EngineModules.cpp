// Finding and loading the engine's modules beside liborbcore.so.
#include "peers/orbcore/EngineModules.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>

namespace orbcore {

namespace {

struct LoadedExport {
  void* address = nullptr;
  std::string file;   // the module's path, as the error names it
  std::string error;  // what the loader said; empty when `address` is set
};

// `symbol` of the module `fileName` in this library's folder. The module
// stays loaded: the libraries it pulls in are not made to be unloaded.
LoadedExport LoadExport(const char* fileName, const char* symbol) {
  LoadedExport loaded;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&LoadExport), &self) == 0 || self.dli_fname == nullptr) {
    loaded.file = fileName;
    loaded.error = "the engine's own folder is unknown";
    return loaded;
  }
  loaded.file = (std::filesystem::path(self.dli_fname).parent_path() / fileName).string();
  void* module = dlopen(loaded.file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module != nullptr) loaded.address = dlsym(module, symbol);
  if (loaded.address == nullptr) {
    const char* error = dlerror();
    loaded.error = error != nullptr ? error : "no entry point";
  }
  return loaded;
}

}  // namespace

ShowEngineWindowProc WindowModule() {
  static const ShowEngineWindowProc show = [] {
    const LoadedExport loaded = LoadExport("liborbcore_wx.so", kShowEngineWindowExport);
    if (loaded.address == nullptr) std::cerr << "orbcore: no window: " << loaded.error << '\n';
    return reinterpret_cast<ShowEngineWindowProc>(loaded.address);
  }();
  return show;
}

TaskOutcome RunTaskInModule(const EngineView& view, const TaskPlaces& places, TaskObserver& observer) {
  static const LoadedExport loaded = LoadExport(kTaskModuleFile, kRunTaskExport);
  if (loaded.address == nullptr) return {Failure::TaskModuleMissing, loaded.file, loaded.error};
  TaskOutcome outcome;
  reinterpret_cast<RunTaskProc>(loaded.address)(&view, &places, &observer, &outcome);
  return outcome;
}

}  // namespace orbcore
