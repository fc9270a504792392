// The value store over a hive that several processes write, that a killed
// process leaves mid-write, or that is damaged on disk.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "compat/win32/Registry.h"
#include "foundation/Exception.h"
#include "platform/win32/RegistryValueStore.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/SystemServices.h"
#include "tests/platform/PlatformTestSupport.h"
#include "tests/support/TestSupport.h"

namespace lumo::test {
namespace {

using win32::CRegistryValueStore;

P<CRegistryValueStore> Store(const char16_t* path, ValueStoreFlags flags = kValueStoreRead | kValueStoreWrite) {
  return make<CRegistryValueStore>(HKEY_CURRENT_USER, String(path), flags);
}

String Numbered(const char* prefix, int i) { return String((prefix + std::to_string(i)).c_str()); }

using testing_support::ForkChild;
using testing_support::Reap;

class RegistryValueStoreReliabilityTest : public testing_support::IsolatedTest {};

TEST_F(RegistryValueStoreReliabilityTest, TwoProcessesWritingOneKeyLoseNoWrite) {
  constexpr int kWrites = 300;
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = ForkChild([w] {
      try {
        P<CRegistryValueStore> store = Store(u"Software\\orbtest\\shared");
        for (int i = 0; i < kWrites; ++i) store->SetInt(Numbered(w == 0 ? "a" : "b", i), i);
        return 0;
      } catch (const CException&) {
        return 1;
      }
    });
  }
  for (pid_t writer : writers) EXPECT_EQ(Reap(writer), 0) << "a write failed";

  P<CRegistryValueStore> store = Store(u"Software\\orbtest\\shared", kValueStoreRead);
  int missing = 0;
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < kWrites; ++i) missing += store->GetInt(Numbered(prefix, i), -1) != i;
  EXPECT_EQ(missing, 0);
}

// The writer reports each write the store has finished; whatever it reported before the kill must be there.
TEST_F(RegistryValueStoreReliabilityTest, KilledWriterKeepsEveryFinishedWrite) {
  for (int killPoint : {0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144}) {
    SCOPED_TRACE("killed after " + std::to_string(killPoint) + " reports");
    const std::u16string path = u"Software\\orbtest\\kill" + win32::ToUTF16(Numbered("", killPoint));
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t writer = ForkChild([&] {
      close(reports[0]);
      P<CRegistryValueStore> store = Store(path.c_str());
      for (std::int32_t i = 0;; ++i) {
        store->SetInt(Numbered("v", i), i);
        store->SetString(Numbered("s", i), Numbered("text ", i));
        if (write(reports[1], &i, sizeof i) != sizeof i) return 1;
      }
    });
    close(reports[1]);
    std::int32_t last = -1;
    for (std::int32_t i; last + 1 < killPoint && read(reports[0], &i, sizeof i) == sizeof i;) last = i;
    kill(writer, SIGKILL);
    for (std::int32_t i; read(reports[0], &i, sizeof i) == sizeof i;) last = i;  // reported before it died
    close(reports[0]);
    EXPECT_EQ(Reap(writer), 128 + SIGKILL);

    compat::win32::ResetRegistryForTests();  // as a new process would find the hive
    P<CRegistryValueStore> store = Store(path.c_str(), kValueStoreRead);
    int lost = 0;
    for (std::int32_t i = 0; i <= last; ++i)
      lost += store->GetInt(Numbered("v", i), -1) != i || !(store->GetString(Numbered("s", i), "") == Numbered("text ", i));
    EXPECT_EQ(lost, 0) << "of " << last + 1;
    // A write in flight when the kill came is there whole or not at all.
    bool found = false;
    const std::int32_t next = store->GetInt(Numbered("v", last + 1), -1, &found);
    EXPECT_TRUE(!found || next == last + 1);
  }
}

// Deleting a large key is one transaction: a deleting process killed at any moment leaves the whole key or
// nothing of it.
TEST_F(RegistryValueStoreReliabilityTest, DeletingALargeKeyIsAllOrNothing) {
  constexpr int kSubKeys = 10000;
  {
    P<CRegistryValueStore> big = Store(u"Software\\orbtest\\big");
    for (int i = 0; i < kSubKeys; ++i) {
      big->SetInt(Numbered("v", i), i);
      big->OpenSubStore(Numbered("k", i), kValueStoreWrite);
    }
  }
  bool gone = false;
  // The kill points come closer together where the deletion itself usually runs. The last deleter is left to
  // finish, however slow a loaded machine makes it.
  constexpr int kRunToTheEnd = -1;
  for (int delayUs : {0, 1000, 10000, 50000, 100000, 130000, 160000, 200000, 250000, 300000, 400000, 600000,
                      1000000, kRunToTheEnd}) {
    const pid_t deleter = ForkChild([] {
      Store(u"Software\\orbtest")->DeleteKey("big");
      return 0;
    });
    if (delayUs != kRunToTheEnd) {
      usleep(static_cast<useconds_t>(delayUs));
      kill(deleter, SIGKILL);
    }
    const int ended = Reap(deleter);
    compat::win32::ResetRegistryForTests();
    compat::win32::ScopedKey big;
    const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\orbtest\\big", 0, KEY_READ, big.Receive());
    gone = status == ERROR_FILE_NOT_FOUND;
    if (!gone) {
      DWORD subKeys = 0, values = 0;
      ASSERT_EQ(RegQueryInfoKeyW(big.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr),
                ERROR_SUCCESS);
      EXPECT_EQ(subKeys, DWORD{kSubKeys}) << "after " << delayUs << " us";
      EXPECT_EQ(values, DWORD{kSubKeys}) << "after " << delayUs << " us";
    }
    EXPECT_TRUE(ended == 0 || ended == 128 + SIGKILL) << ended;
    if (gone) break;
  }
  EXPECT_TRUE(gone) << "the key was never deleted";
}

TEST_F(RegistryValueStoreReliabilityTest, DamagedHiveRaisesInsteadOfReadingEmpty) {
  {
    P<CRegistryValueStore> store = Store(u"Software\\orbtest");
    for (int i = 0; i < 200; ++i) store->SetString(Numbered("value", i), Numbered("some text to fill pages ", i));
  }
  compat::win32::ResetRegistryForTests();
  const std::string file = registryFolder() + "/user.db";
  // Everything after the first page (the database header and schema) is overwritten.
  {
    std::fstream hive(file, std::ios::in | std::ios::out | std::ios::binary);
    hive.seekg(0, std::ios::end);
    const std::streamoff size = hive.tellg();
    ASSERT_GT(size, 8192);
    hive.seekp(4096);
    const std::string junk(static_cast<std::size_t>(size - 4096), '\x5a');
    hive.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  compat::win32::ResetRegistryForTests();
  const std::string damaged = ToUTF8(win32::DescribeSystemError(ERROR_BADDB));
  std::string text;
  try {
    P<CRegistryValueStore> store = Store(u"Software\\orbtest", kValueStoreRead);
    bool found = false;
    store->GetString("value7", "", &found);
    ADD_FAILURE() << "read a damaged hive; found: " << found;
  } catch (const CError& error) {
    text = ToUTF8(error.getDescription());
  }
  EXPECT_EQ(text, damaged);
}

}  // namespace
}  // namespace lumo::test
