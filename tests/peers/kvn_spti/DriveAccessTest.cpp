// The drive-access library, loaded and called as the shell and the engine do, over a fake sysfs tree: which
// block devices count as optical drives and what the registry holds afterwards.
#include "peers/kvn_spti/DriveAccess.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::GetRegDword;
using Texts = std::vector<std::u16string>;

constexpr char16_t kKey[] = u"SOFTWARE\\korvane\\Korvane Orbweave 9\\drives";

class DriveAccessTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    SetEnv("KVN_SPTI_SYSFS", folder_ / "sys");
    library_ = dlopen((testing_support::BuildBin() + "/libkvn_spti.so").c_str(), RTLD_NOW);
    ASSERT_NE(library_, nullptr) << dlerror();
    init_ = reinterpret_cast<decltype(&InitWmiDrives)>(dlsym(library_, "InitWmiDrives"));
    ASSERT_NE(init_, nullptr);
    scan_ = reinterpret_cast<decltype(&ScanWmiDrives)>(dlsym(library_, "ScanWmiDrives"));
    ASSERT_NE(scan_, nullptr);
  }
  void TearDown() override { if (library_ != nullptr) dlclose(library_); }

  // A block device with the given sysfs attributes ("" leaves one out).
  void AddDevice(const std::string& name, const std::string& type, const std::string& vendor = "",
                 const std::string& model = "") {
    const std::string device = folder_ / ("sys/block/" + name + "/device");
    std::filesystem::create_directories(device);
    for (const auto& [attribute, text] : {std::pair{"type", type}, {"vendor", vendor}, {"model", model}})
      if (!text.empty()) testing_support::WriteFile(device + "/" + attribute, text);
  }

  // Device, vendor and model of one drive in the registry; "-" for what is missing.
  static Texts Drive(const char16_t* index) {
    Texts values;
    const std::u16string key = std::u16string(kKey) + u"\\" + index;
    for (const char16_t* name : {u"Device", u"Vendor", u"Model"})
      values.push_back(testing_support::GetRegString(HKEY_CURRENT_USER, key, name).value_or(u"-"));
    return values;
  }

  const testing_support::TempFolder& folder_ = folder();
  void* library_ = nullptr;
  decltype(&InitWmiDrives) init_ = nullptr;
  decltype(&ScanWmiDrives) scan_ = nullptr;
};

// The program's start only hands over the key: no drive is recorded and libburn is not loaded.
TEST_F(DriveAccessTest, TheStartCallScansNothing) {
  AddDevice("sr0", "5\n");
  EXPECT_EQ(init_(kKey), 0);
  EXPECT_EQ(init_(nullptr), -1);
  EXPECT_EQ(init_(u""), -1);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, kKey, u"Count"), std::nullopt);
  EXPECT_EQ(dlopen("libburn.so.4", RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(DriveAccessTest, RecordsOpticalDrivesInDeviceOrder) {
  AddDevice("sr10", "5\n");
  AddDevice("sr0", "5\n", "HL-DT-ST\n", "DVDRAM GH24NSD1 \n");
  AddDevice("sr2", "5", "ASUS    ", "BW-16D1HT       ");
  AddDevice("sda", "0\n", "ATA     ", "Samsung SSD\n");
  AddDevice("sdb", "15\n");
  std::filesystem::create_directories(folder_ / "sys/block/loop0");

  // A scan leaves no file open behind it (the first one opens the registry's).
  EXPECT_EQ(scan_(kKey), 3);
  const auto before = testing_support::OpenFileCount();
  EXPECT_EQ(scan_(kKey), 3);
  EXPECT_EQ(testing_support::OpenFileCount(), before);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, kKey, u"Count"), 3u);
  EXPECT_EQ(Drive(u"0"), (Texts{u"/dev/sr0", u"HL-DT-ST", u"DVDRAM GH24NSD1"}));
  EXPECT_EQ(Drive(u"1"), (Texts{u"/dev/sr2", u"ASUS", u"BW-16D1HT"}));
  EXPECT_EQ(Drive(u"2"), (Texts{u"/dev/sr10", u"-", u"-"}));
  EXPECT_EQ(Drive(u"3"), (Texts{u"-", u"-", u"-"}));
}

// A later start sees the machine as it is now: a drive that went and an attribute a drive no longer reports
// leave nothing behind; no drive at all, or no sysfs, records a count of 0.
TEST_F(DriveAccessTest, ALaterStartKeepsOnlyWhatTheDrivesReportNow) {
  AddDevice("sr0", "5\n", "HL-DT-ST", "GH24");
  AddDevice("sr1", "5\n", "ASUS", "BW-16");
  ASSERT_EQ(scan_(kKey), 2);
  std::filesystem::remove_all(folder_ / "sys/block/sr1");
  std::filesystem::remove(folder_ / "sys/block/sr0/device/vendor");
  EXPECT_EQ(scan_(kKey), 1);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, kKey, u"Count"), 1u);
  EXPECT_EQ(Drive(u"0"), (Texts{u"/dev/sr0", u"-", u"GH24"}));
  EXPECT_EQ(Drive(u"1"), (Texts{u"-", u"-", u"-"}));

  std::filesystem::remove_all(folder_ / "sys/block/sr0");
  AddDevice("sda", "0\n");
  EXPECT_EQ(scan_(kKey), 0);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, kKey, u"Count"), 0u);
  EXPECT_EQ(Drive(u"0"), (Texts{u"-", u"-", u"-"}));
  SetEnv("KVN_SPTI_SYSFS", folder_ / "nowhere");
  AddDevice("sr3", "5\n");  // in the old tree only
  EXPECT_EQ(scan_(kKey), 0);
}

// Letters go from D: in device order; a pin under "Letters" holds its letter
// for its device, and no other drive takes a pinned letter, present or not.
TEST_F(DriveAccessTest, LettersFollowDeviceOrderAndPins) {
  for (const char* name : {"sr10", "sr2", "sr1", "sr0"}) AddDevice(name, "5\n");
  const std::u16string pins = std::u16string(kKey) + u"\\Letters";
  testing_support::SetRegString(HKEY_CURRENT_USER, pins, u"f:", u"/dev/sr2");
  testing_support::SetRegString(HKEY_CURRENT_USER, pins, u"D:", u"/dev/sr9");
  testing_support::SetRegString(HKEY_CURRENT_USER, pins, u"Z:", u"/dev/sr10");
  testing_support::SetRegString(HKEY_CURRENT_USER, pins, u"C:", u"/dev/sr1");  // not a letter drives get
  ASSERT_EQ(scan_(kKey), 4);
  Texts letters;
  for (const char16_t* index : {u"0", u"1", u"2", u"3"}) {
    const std::u16string key = std::u16string(kKey) + u"\\" + index;
    letters.push_back(testing_support::GetRegString(HKEY_CURRENT_USER, key, u"Device").value_or(u"-") + u" " +
                      testing_support::GetRegString(HKEY_CURRENT_USER, key, u"Letter").value_or(u"-"));
  }
  EXPECT_EQ(letters, (Texts{u"/dev/sr0 E:", u"/dev/sr1 G:", u"/dev/sr2 F:", u"/dev/sr10 Z:"}));
  // The pins stay for the next start.
  EXPECT_EQ(testing_support::GetRegString(HKEY_CURRENT_USER, pins, u"D:"), u"/dev/sr9");
}

TEST_F(DriveAccessTest, WithoutAKeyOrAWritableHiveNothingIsRecorded) {
  AddDevice("sr0", "5\n");
  EXPECT_EQ(scan_(nullptr), -1);
  EXPECT_EQ(scan_(u""), -1);
  const auto readOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec;
  std::filesystem::permissions(registryFolder(), readOnly);
  EXPECT_EQ(scan_(kKey), -1);
  EXPECT_EQ(GetRegDword(HKEY_CURRENT_USER, kKey, u"Count"), std::nullopt);
}

}  // namespace
