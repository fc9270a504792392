// A program run by the portable manager's tests, one run per process:
//   portable_probe <program folder> <items folder> use    starts, makes the items, stops
//   portable_probe <program folder> <items folder> start  starts and ends without stopping
// The items: the registry key Software\korvane\probe, the folder <items>/tree
// and the file <items>/settings.ini.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <filesystem>

#include "compat/win32/Path.h"
#include "settings/lapp/AppmanError.h"
#include "settings/lapp/IApplicationManager.h"
#include "tests/support/Registry.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string program = argv[1], items = argv[2], mode = argv[3];
  const std::u16string folder = compat::win32::WindowsPath(program) + u"\\";
  try {
    lapp::IApplicationManager* manager = lapp::CreateAppManager(
        folder.c_str(), (folder + u"datastore\\data.db").c_str(), (folder + u"init.zip").c_str(), true);
    manager->AddRegistrySection(u"HKEY_CURRENT_USER", u"Software/korvane/probe", 7);
    manager->AddFolder(compat::win32::WindowsPath(items + "/tree").c_str(), 7);
    manager->AddFile(compat::win32::WindowsPath(items + "/settings.ini").c_str(), 7);
    manager->Start();
    // Ends as a process that never reaches its stop does: nothing of the manager is released.
    if (mode == "start") std::_Exit(0);
    testing_support::SetRegString(HKEY_CURRENT_USER, u"Software\\korvane\\probe\\sub", u"Colour", u"blue");
    std::filesystem::create_directories(items + "/tree/deep");
    std::ofstream(items + "/tree/deep/a.txt") << "in the tree";
    std::ofstream(items + "/settings.ini") << "[main]\nx=1\n";
    // Enough bytes that saving takes a while, for the runs killed during Stop.
    std::string big(4 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::ofstream(items + "/tree/big.bin", std::ios::binary) << big;
    manager->Stop();
    manager->Destroy();
  } catch (const lapp::CAppmanError& error) {
    std::printf("manager error %d\n", error.code());
    return 1;
  } catch (const std::exception& error) {
    std::printf("%s\n", error.what());
    return 1;
  }
  return 0;
}
