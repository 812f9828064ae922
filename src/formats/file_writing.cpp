#include "formats/file_writing.h"

#include <cstdio>

#include "base/messages.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageWriteProblem = 26;
constexpr int kMessageCannotSaveType = 103;

}  // namespace

int StoreImageBytes(std::span<const std::uint8_t> bytes, const std::string& path,
                    const std::function<void()>& cannotCreate) {
  return StoreImageWith(
      [&](std::FILE* f) { return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); },
      path, cannotCreate);
}

int StoreImageWith(const std::function<bool(std::FILE*)>& write, const std::string& path,
                   const std::function<void()>& cannotCreate) {
  const int r = WriteFileSafelyWith(path, write);
  if (r == 1) cannotCreate();
  if (r == 2) ShowMessage(kMessageWriteProblem);
  return r == 0 ? 0 : 1;
}

bool TooLargeFor(const ImageRecord* image, const char* format, int maxSide) {
  if (image->width <= maxSide && image->height <= maxSide) return false;
  char detail[96];
  std::snprintf(detail, sizeof detail, "%s sides are at most %d: %d x %d", format, maxSide, image->width,
                image->height);
  ShowMessageWith(kMessageCannotSaveType, detail);
  return true;
}

}  // namespace qv
