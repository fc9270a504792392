// The scrambling file streams: the word-wise transform against the plain
// byte rule, and what lands in the file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/lapp/CryptedFileStream.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<unsigned char> Pattern(std::size_t length) {
  std::vector<unsigned char> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
  return bytes;
}

std::vector<unsigned char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CryptTransformTest, EqualsTheByteRuleForEveryOffsetAndLength) {
  const std::int64_t offsets[] = {0, 1, 7, 8, 9, 100, 163, 164, 170, 171, 172, 173, 343, 344,
                                  0x7FFFFFFF};
  for (std::int64_t offset : offsets) {
    for (std::size_t length = 0; length <= 2 * lapp::kCryptKeyLength + 19; ++length) {
      std::vector<unsigned char> fast = Pattern(length);
      std::vector<unsigned char> slow = fast;
      lapp::CryptTransform(fast.data(), static_cast<std::ptrdiff_t>(length), offset);
      std::size_t index = static_cast<std::size_t>(offset % 172);
      for (unsigned char& byte : slow) {
        byte ^= lapp::CryptKeyByte(index);
        index = index == 171 ? 0 : index + 1;
      }
      ASSERT_EQ(fast, slow) << "offset " << offset << " length " << length;
    }
  }
  // The key is 171 printable characters and a zero.
  EXPECT_EQ(lapp::CryptKeyByte(171), 0);
  for (std::size_t i = 0; i < 171; ++i) EXPECT_NE(lapp::CryptKeyByte(i), 0) << i;
}

TEST(CryptedFileStreamTest, FileHoldsScrambledBytesAndReadsBackPlain) {
  testing_support::TempFolder folder;
  const std::string path = folder / "data.bin";
  const std::vector<unsigned char> tail = Pattern(10);
  std::vector<unsigned char> caller;
  {
    lapp::CCryptedOutputFileStream out(path);
    ASSERT_TRUE(out.IsOk());
    out.Write("abc", 3);
    const std::vector<unsigned char> filler(167, 'x');
    out.Write(filler.data(), filler.size());
    caller = tail;
    out.Write(caller.data(), caller.size());  // at offset 170
    out.Write("", 0);
  }
  const std::vector<unsigned char> onDisk = FileBytes(path);
  ASSERT_EQ(onDisk.size(), 180u);
  // The caller's buffer holds what went to the disk.
  EXPECT_EQ(caller, std::vector<unsigned char>(onDisk.begin() + 170, onDisk.end()));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(onDisk[i], "abc"[i] ^ lapp::CryptKeyByte(i));
  const std::size_t keyIndices[] = {170, 171, 0, 1, 2, 3, 4, 5, 6, 7};
  for (std::size_t i = 0; i < 10; ++i)
    EXPECT_EQ(onDisk[170 + i], tail[i] ^ lapp::CryptKeyByte(keyIndices[i])) << i;
  EXPECT_EQ(onDisk[171], tail[1]);  // key byte 171 is zero

  lapp::CCryptedInputFileStream in(path);
  ASSERT_TRUE(in.IsOk());
  char abc[3];
  in.Read(abc, 3);
  EXPECT_EQ(std::string(abc, 3), "abc");
  // After a seek the key index follows the position.
  in.SeekI(170);
  unsigned char back[10];
  in.Read(back, 10);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 10), tail);
}

}  // namespace
