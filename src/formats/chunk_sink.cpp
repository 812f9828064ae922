#include "formats/chunk_sink.h"

#include <cstdio>

namespace qv {

bool FileSink::Write(const void* data, std::size_t count) {
  if (!ok_ || !file_.get()) return ok_ = false;
  if (count && std::fwrite(data, 1, count, file_.get()) != count) return ok_ = false;
  offset_ += count;
  return true;
}

bool FileSink::PatchU32BE(std::uint64_t offset, std::uint32_t value) {
  if (!ok_ || !file_.get() || offset + 4 > offset_) return ok_ = false;
  std::FILE* f = file_.get();
  std::uint8_t b[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  ok_ = fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fwrite(b, 1, 4, f) == 4 &&
        fseeko(f, static_cast<off_t>(offset_), SEEK_SET) == 0;
  return ok_;
}

}  // namespace qv
