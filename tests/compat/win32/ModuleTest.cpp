// The module calls: where modules are found, what counts as an export, and module file names.
#include "compat/win32/Module.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "compat/win32/File.h"
#include "compat/win32/StringConv.h"
#include "tests/compat/win32/Win32Expect.h"
#include "tests/support/TestSupport.h"

namespace {

using compat::win32::WindowsPath;

std::u16string FileNameOf(HMODULE module) {
  WCHAR name[1024];
  const DWORD n = GetModuleFileNameW(module, name, 1024);
  return std::u16string(name, n);
}

std::string ProgramPath() { return std::filesystem::read_symlink("/proc/self/exe"); }
std::string ProgramFolder() { return std::filesystem::path(ProgramPath()).parent_path(); }

TEST(Module, LoadsFromTheProgramFolderAndAnswersOnlyItsOwnExports) {
  const HMODULE module = LoadLibraryW(u"compat_testmodule.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(FileNameOf(module), WindowsPath(ProgramFolder() + "/libcompat_testmodule.so"));
  const auto answer = reinterpret_cast<int (*)()>(GetProcAddress(module, "TestModuleAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  // Names the module does not define itself: missing, its dependency's (the C library's), an ordinal.
  for (const char* name : {"NoSuchExport", "malloc", reinterpret_cast<const char*>(1)})
    EXPECT_WIN32(GetProcAddress(module, name), nullptr, ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(LoadLibraryW(WindowsPath(ProgramFolder() + "/compat_testmodule.dll").c_str()), module);
  const std::u16string posixPath = compat::win32::Utf8ToUtf16(ProgramFolder() + "/libcompat_testmodule.so");
  EXPECT_EQ(LoadLibraryW(posixPath.c_str()), module);
  EXPECT_EQ(GetModuleHandleW(u"compat_testmodule.dll"), module);
  for (int load = 0; load < 3; ++load) EXPECT_TRUE(FreeLibrary(module));
  EXPECT_WIN32(FreeLibrary(module), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(GetProcAddress(module, "TestModuleAnswer"), nullptr, ERROR_INVALID_HANDLE);
  EXPECT_WIN32(GetModuleHandleW(u"compat_testmodule.dll"), nullptr, ERROR_MOD_NOT_FOUND);
}

int ProvidedAnswer() { return 7; }

TEST(Module, ProvidedLibrariesAreFoundByNameAndStayLoaded) {
  static const compat::win32::ProvidedExport exports[] = {
      {"Answer", reinterpret_cast<FARPROC>(&ProvidedAnswer)}, {nullptr, nullptr}};
  EXPECT_WIN32(LoadLibraryW(u"compat_provided.dll"), nullptr, ERROR_MOD_NOT_FOUND);
  compat::win32::ProvideModule(u"compat_provided.dll", exports);
  const HMODULE module = LoadLibraryW(u"COMPAT_PROVIDED.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"compat_provided.dll"), module);
  EXPECT_EQ(GetProcAddress(module, "Answer"), reinterpret_cast<FARPROC>(&ProvidedAnswer));
  for (const char* name : {"TestModuleAnswer", "answer", reinterpret_cast<const char*>(1)})
    EXPECT_WIN32(GetProcAddress(module, name), nullptr, ERROR_PROC_NOT_FOUND);
  for (int free = 0; free < 3; ++free) EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetProcAddress(module, "Answer"), reinterpret_cast<FARPROC>(&ProvidedAnswer));
  // Providing again replaces the exports.
  static const compat::win32::ProvidedExport none[] = {{nullptr, nullptr}};
  compat::win32::ProvideModule(u"compat_provided.dll", none);
  EXPECT_EQ(LoadLibraryW(u"compat_provided.dll"), module);
  EXPECT_WIN32(GetProcAddress(module, "Answer"), nullptr, ERROR_PROC_NOT_FOUND);
}

TEST(Module, BareNamesFallBackToTheSystemSearch) {
  const HMODULE module = LoadLibraryW(u"sqlite3.dll");
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "sqlite3_libversion"), nullptr);
  EXPECT_EQ(FileNameOf(module).rfind(WindowsPath(ProgramFolder() + "/"), 0), std::u16string::npos);
  EXPECT_TRUE(FreeLibrary(module));
  for (const char16_t* name : {u"nosuchmodule.dll", u"", u"C:\\nosuch.dll", u"Z:\\no\\such\\x.dll"})
    EXPECT_WIN32(LoadLibraryW(name), nullptr, ERROR_MOD_NOT_FOUND);
  EXPECT_WIN32(LoadLibraryW(nullptr), nullptr, ERROR_INVALID_PARAMETER);
}

TEST(Module, TheProgramFolderComesBeforeTheSystem) {
  // A program beside a library named like a system library gets its own.
  testing_support::TempFolder folder;
  const std::string bin = testing_support::BuildBin();
  std::filesystem::copy_file(bin + "/win32_probe", folder / "win32_probe");
  std::filesystem::copy_file(bin + "/libcompat_testmodule.so", folder / "libsqlite3.so");
  // The program names the Win32 stand-in beside itself.
  std::filesystem::create_symlink(bin + "/libcompat_win32.so", folder / "libcompat_win32.so");
  testing_support::ProgramRun run;
  run.program = folder / "win32_probe";
  run.args = {"module", "sqlite3.dll", "TestModuleAnswer"};
  const testing_support::ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  const std::string windowsFolder = compat::win32::Utf16ToUtf8(WindowsPath(folder.path()));
  EXPECT_EQ(result.out, "program " + windowsFolder + "\\win32_probe\n" + "module " + windowsFolder +
                            "\\libsqlite3.so\n" + "export found\n");
}

TEST(Module, TheProgramIsAModuleNamedWithoutInventions) {
  const HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  EXPECT_TRUE(FreeLibrary(program));  // never loaded, so nothing changes
  const std::u16string full = FileNameOf(nullptr);
  EXPECT_EQ(full, WindowsPath(ProgramPath()));
  EXPECT_EQ(FileNameOf(program), full);
  // Room for the name and its terminator; then one short: size-1 characters, a terminator, the size.
  const DWORD length = static_cast<DWORD>(full.size());
  std::u16string buffer(length + 2, u'\xcccc');
  EXPECT_WIN32(GetModuleFileNameW(nullptr, buffer.data(), length + 1), length, ERROR_SUCCESS);
  EXPECT_EQ(buffer, full + u'\0' + u'\xcccc');
  buffer.assign(length + 2, u'\xcccc');
  EXPECT_WIN32(GetModuleFileNameW(nullptr, buffer.data(), length), length, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer, full.substr(0, length - 1) + u'\0' + u'\xcccc' + u'\xcccc');
  EXPECT_WIN32(GetModuleFileNameW(nullptr, buffer.data(), 0), 0u, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_WIN32(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1234), buffer.data(), length), 0u,
               ERROR_MOD_NOT_FOUND);
}

}  // namespace
