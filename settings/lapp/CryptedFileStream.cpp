// The scrambling file streams and their transform.
#include "settings/lapp/CryptedFileStream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lapp {
namespace {

// 171 characters of the base-64 alphabet and a closing zero, so that every
// byte whose key index is 171 is stored as it is.
constexpr char kKey[kCryptKeyLength] =
    "q7Zp2Lw9Xk4Rt1Bv8Nc3Jm6Hs0Dy5Gf+Ua/Ee"
    "Wo7Ki2Pl9Qz4Vx1Cb8Mn3Tr6Yh0Sg5Ad+Fj/Iu"
    "R3e8Tb1Wn6Ym4Qc9Lp2Zk7Xv0Hs5Gd+Jf/Ua3Ko"
    "8Ni1Bw6Ex4Cr9Vt2Pl7Mz0Sq5Yh+Dg/Fj3Ua8Kb"
    "1Wn6Ym4Qc9Lp2Zkx9Q";
static_assert(kKey[kCryptKeyLength - 2] != '\0' && kKey[kCryptKeyLength - 1] == '\0');

// The key twice over, so that 172 bytes from any index lie in one run and a
// buffer can be combined a word at a time.
struct DoubledKey {
  std::array<unsigned char, 2 * kCryptKeyLength> bytes{};
  constexpr DoubledKey() {
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<unsigned char>(kKey[i % kCryptKeyLength]);
  }
};
constexpr DoubledKey kDoubled;

void XorRun(unsigned char* buffer, const unsigned char* key, std::size_t length) {
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t data;
    std::uint64_t mask;
    std::memcpy(&data, buffer + i, 8);
    std::memcpy(&mask, key + i, 8);
    data ^= mask;
    std::memcpy(buffer + i, &data, 8);
  }
  for (; i < length; ++i) buffer[i] ^= key[i];
}

}  // namespace

unsigned char CryptKeyByte(std::size_t index) {
  return static_cast<unsigned char>(kKey[index % kCryptKeyLength]);
}

void CryptTransform(unsigned char* buffer, std::ptrdiff_t length, std::int64_t offset) {
  if (length < 1) return;
  std::int64_t start = offset % static_cast<std::int64_t>(kCryptKeyLength);
  if (start < 0) start += kCryptKeyLength;
  const unsigned char* key = kDoubled.bytes.data() + start;
  auto remaining = static_cast<std::size_t>(length);
  // Every whole key length ends where it began, so the index stays put.
  while (remaining >= kCryptKeyLength) {
    XorRun(buffer, key, kCryptKeyLength);
    buffer += kCryptKeyLength;
    remaining -= kCryptKeyLength;
  }
  XorRun(buffer, key, remaining);
}

size_t CCryptedInputFileStream::OnSysRead(void* buffer, size_t size) {
  const wxFileOffset position = OnSysTell();
  const size_t read = wxFileInputStream::OnSysRead(buffer, size);
  if (position != wxInvalidOffset)
    CryptTransform(static_cast<unsigned char*>(buffer), static_cast<std::ptrdiff_t>(read), position);
  return read;
}

wxOutputStream& CCryptedOutputFileStream::Write(void* buffer, size_t size) {
  writable_ = static_cast<unsigned char*>(buffer);
  wxFileOutputStream::Write(buffer, size);
  writable_ = nullptr;
  return *this;
}

size_t CCryptedOutputFileStream::OnSysWrite(const void* buffer, size_t size) {
  if (writable_ != nullptr && writable_ == buffer) {
    const wxFileOffset position = OnSysTell();
    if (position == wxInvalidOffset) return 0;
    CryptTransform(writable_, static_cast<std::ptrdiff_t>(size), position);
    return wxFileOutputStream::OnSysWrite(writable_, size);
  }
  // A multiple of the key length keeps each chunk's key index where the
  // previous one left it, whatever the file position.
  std::array<unsigned char, kCryptKeyLength * 96> scrambled;
  const auto* source = static_cast<const unsigned char*>(buffer);
  size_t written = 0;
  while (written < size) {
    const wxFileOffset position = OnSysTell();
    if (position == wxInvalidOffset) break;
    const size_t chunk = std::min(size - written, scrambled.size());
    std::memcpy(scrambled.data(), source + written, chunk);
    CryptTransform(scrambled.data(), static_cast<std::ptrdiff_t>(chunk), position);
    const size_t done = wxFileOutputStream::OnSysWrite(scrambled.data(), chunk);
    written += done;
    if (done < chunk) break;
  }
  return written;
}

}  // namespace lapp
