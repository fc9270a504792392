// File streams whose bytes on disk are scrambled with one fixed repeating key:
// the byte at file offset p is combined by exclusive or with key byte
// p modulo 172. The transform is its own inverse, and the key index follows
// from the file position alone, so seeking and reading or writing in any
// order stay consistent. The zip streams of the data store sit on top.
#pragma once

#include <cstddef>
#include <cstdint>

#include <wx/wfstream.h>

namespace lapp {

inline constexpr std::size_t kCryptKeyLength = 172;

// Scrambles (or unscrambles) `length` bytes of `buffer` that lie at file
// offset `offset`. Whole words at a time against a key laid out twice.
void CryptTransform(unsigned char* buffer, std::ptrdiff_t length, std::int64_t offset);

// The key byte number `index` (0..171); the last one is zero.
unsigned char CryptKeyByte(std::size_t index);

// Reads a file and unscrambles what it read.
class CCryptedInputFileStream : public wxFileInputStream {
 public:
  explicit CCryptedInputFileStream(const wxString& fileName) : wxFileInputStream(fileName) {}

 protected:
  size_t OnSysRead(void* buffer, size_t size) override;
};

// Creates or replaces a file and scrambles what is written.
class CCryptedOutputFileStream : public wxFileOutputStream {
 public:
  explicit CCryptedOutputFileStream(const wxString& fileName) : wxFileOutputStream(fileName) {}

  // A writable buffer is scrambled in place and then written, so that it
  // holds the bytes as they are on disk afterwards (all of them, even when
  // the disk takes fewer). A read-only one, which is what the zip writer and
  // the other wx streams hand over, is left as it was: its bytes are
  // scrambled in a buffer of the stream's own.
  wxOutputStream& Write(void* buffer, size_t size);
  using wxFileOutputStream::Write;

 protected:
  size_t OnSysWrite(const void* buffer, size_t size) override;

 private:
  // The caller's buffer while Write(void*, size_t) runs.
  unsigned char* writable_ = nullptr;
};

}  // namespace lapp
