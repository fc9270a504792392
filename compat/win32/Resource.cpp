// Images built into modules, found through the module's resource table, and
// the system metrics that size them.
//
// The build puts one table into each module that has resources (see
// cmake/Resources.cmake); LoadImageW finds it in the module the caller names
// and nowhere else. An image handle points at the bytes inside the module, as
// a resource does on Windows: it is good while the module stays loaded.
#include "compat/win32/Resource.h"

#include <endian.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <zlib.h>

#include "compat/win32/Error.h"
#include "compat/win32/ModuleInternal.h"
#include "compat/win32/NoDestructor.h"

namespace {

// One row of a module's resource table; a row of zeros ends it.
struct ResourceRow {
  std::uint32_t type;
  std::uint32_t id;
  const unsigned char* data;
  std::uint64_t size;
};
static_assert(sizeof(ResourceRow) == 24, "the layout cmake/Resources.cmake writes");

constexpr std::uint32_t kCursorResource = 1;
constexpr std::uint32_t kBitmapResource = 2;
constexpr std::uint32_t kIconResource = 3;

struct Image {
  std::uint32_t type;
  const unsigned char* bytes;
  std::size_t size;
  int width;
  int height;
  bool shared;
};

struct ImageTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, Image> byHandle;
  // Shared images by their bytes: one handle per image for good.
  std::unordered_map<const unsigned char*, HANDLE> shared;
  // Apart from the kernel handles, so that one is never taken for the other.
  std::uintptr_t next = 0x40000000;
};

ImageTable& Images() {
  static compat::win32::NoDestructor<ImageTable> table;
  return *table;
}

std::uint32_t BigEndian(const unsigned char* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return be32toh(value);
}

// Whether the chunks after the signature are whole, each with its check sum
// right, up to the closing IEND: a cut-off or damaged picture is none, as a
// damaged bitmap resource is none to the desktop.
bool PngIntact(const unsigned char* data, std::size_t size) {
  std::size_t at = 8;
  while (size - at >= 12) {
    const std::uint32_t length = BigEndian(data + at);
    if (length > size - at - 12) return false;
    const unsigned char* type = data + at + 4;
    // The check sum of a chunk is ISO 3309's CRC-32 over its type and data;
    // zlib's sums several bytes a step, where a table sums one.
    if (crc32(0, type, length + 4) != BigEndian(type + 4 + length)) return false;
    if (std::memcmp(type, "IEND", 4) == 0) return true;
    at += 12 + length;
  }
  return false;
}

// The pixel size from a PNG's header chunk; whether the picture is whole is
// PngIntact's to say.
bool PngSize(const unsigned char* data, std::size_t size, int& width, int& height) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < 24 || std::memcmp(data, kSignature, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  const std::uint32_t w = BigEndian(data + 16);
  const std::uint32_t h = BigEndian(data + 20);
  if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

// Of an icon's images, the one nearest the asked size, preferring the larger
// of two as near (shrinking looks better than growing); with no size asked,
// the first. A dimension of 0 does not count.
const Image* Nearest(const std::vector<Image>& images, int cx, int cy) {
  if (cx == 0 && cy == 0) return &images.front();
  const Image* best = nullptr;
  long bestDistance = 0;
  for (const Image& image : images) {
    const long distance = (cx != 0 ? std::labs(image.width - cx) : 0) + (cy != 0 ? std::labs(image.height - cy) : 0);
    if (best == nullptr || distance < bestDistance ||
        (distance == bestDistance && image.width * image.height > best->width * best->height)) {
      best = &image;
      bestDistance = distance;
    }
  }
  return best;
}

std::atomic<compat::win32::ScreenSizeSource>& TheScreenSizeSource() {
  static std::atomic<compat::win32::ScreenSizeSource> source{nullptr};
  return source;
}

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

// Frees a non-shared image of one of `types`; a shared one stays.
bool Free(HANDLE handle, std::initializer_list<std::uint32_t> types) {
  ImageTable& table = Images();
  std::lock_guard guard(table.lock);
  const auto found = table.byHandle.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.byHandle.end()) return false;
  if (std::find(types.begin(), types.end(), found->second.type) == types.end()) return false;
  if (!found->second.shared) table.byHandle.erase(found);
  return true;
}

}  // namespace

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  std::uint32_t resourceType;
  switch (type) {
    case IMAGE_BITMAP: resourceType = kBitmapResource; break;
    case IMAGE_ICON: resourceType = kIconResource; break;
    case IMAGE_CURSOR: resourceType = kCursorResource; break;
    default: return Fail(ERROR_INVALID_PARAMETER);
  }
  // A null instance asks for the system's own images, which there are none of.
  const auto* rows = instance == nullptr ? nullptr
                                         : static_cast<const ResourceRow*>(compat::win32::ModuleOwnSymbol(
                                               instance, "compat_resource_table"));
  if (rows == nullptr) return Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
  // Resources are numbered; the table has no names.
  if (!IS_INTRESOURCE(name)) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
  const auto id = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(name));

  bool typeFound = false;
  bool idFound = false;
  std::vector<Image> images;
  for (const ResourceRow* row = rows; row->type != 0; ++row) {
    if (row->type != resourceType) continue;
    typeFound = true;
    if (row->id != id) continue;
    idFound = true;
    Image image{resourceType, row->data, static_cast<std::size_t>(row->size), 0, 0, false};
    if (PngSize(image.bytes, image.size, image.width, image.height)) images.push_back(image);
  }
  if (!typeFound) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
  if (!idFound) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND);

  // Icons and cursors come in sizes; a bitmap is one picture. Only the image
  // chosen is checked whole: a damaged one drops out and the choice is made
  // again among the others, as if it had never been there.
  const bool defaultSize = (flags & LR_DEFAULTSIZE) != 0;
  const bool icon = resourceType == kIconResource;
  const int width = cx != 0 || !defaultSize ? cx : GetSystemMetrics(icon ? SM_CXICON : SM_CXCURSOR);
  const int height = cy != 0 || !defaultSize ? cy : GetSystemMetrics(icon ? SM_CYICON : SM_CYCURSOR);
  const Image* chosen = nullptr;
  while (!images.empty()) {
    chosen = resourceType == kBitmapResource ? &images.front() : Nearest(images, width, height);
    if (PngIntact(chosen->bytes, chosen->size)) break;
    images.erase(images.begin() + (chosen - images.data()));
    chosen = nullptr;
  }
  if (chosen == nullptr) return Fail(ERROR_INVALID_DATA);

  ImageTable& table = Images();
  std::lock_guard guard(table.lock);
  const bool shared = (flags & LR_SHARED) != 0;
  if (shared) {
    const auto found = table.shared.find(chosen->bytes);
    if (found != table.shared.end()) return found->second;
  }
  const auto handle = reinterpret_cast<HANDLE>(table.next);
  table.next += 4;
  Image image = *chosen;
  image.shared = shared;
  table.byHandle.emplace(reinterpret_cast<std::uintptr_t>(handle), image);
  if (shared) table.shared.emplace(chosen->bytes, handle);
  return handle;
}

BOOL WINAPI DestroyIcon(HICON icon) {
  if (!Free(icon, {kIconResource, kCursorResource})) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteObject(HANDLE object) { return Free(object, {kBitmapResource}) ? TRUE : FALSE; }

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXSCREEN:
    case SM_CYSCREEN: break;
    default: return 0;
  }
  int width = 1024;
  int height = 768;
  if (const compat::win32::ScreenSizeSource source = TheScreenSizeSource().load();
      source != nullptr && source(&width, &height)) {
    return index == SM_CXSCREEN ? width : height;
  }
  if (const char* size = std::getenv("COMPAT_SCREEN_SIZE")) {
    char* end = nullptr;
    const long w = std::strtol(size, &end, 10);
    if (end != size && *end == 'x') {
      const char* rest = end + 1;
      const long h = std::strtol(rest, &end, 10);
      if (end != rest && *end == '\0' && w > 0 && h > 0 && w <= 65535 && h <= 65535) {
        width = static_cast<int>(w);
        height = static_cast<int>(h);
      }
    }
  }
  return index == SM_CXSCREEN ? width : height;
}

namespace compat::win32 {

void SetScreenSizeSource(ScreenSizeSource source) { TheScreenSizeSource().store(source); }

bool ImageOfHandle(HANDLE image, const unsigned char** bytes, std::size_t* size, int* width, int* height) {
  ImageTable& table = Images();
  std::lock_guard guard(table.lock);
  const auto found = table.byHandle.find(reinterpret_cast<std::uintptr_t>(image));
  if (found == table.byHandle.end()) return false;
  if (bytes != nullptr) *bytes = found->second.bytes;
  if (size != nullptr) *size = found->second.size;
  if (width != nullptr) *width = found->second.width;
  if (height != nullptr) *height = found->second.height;
  return true;
}

}  // namespace compat::win32
