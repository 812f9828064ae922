// Where the IFF writers put their bytes: a file being written (through a
// temporary file renamed over the target when complete) or memory. A
// container's size is known only at the end, so a sink can also patch a
// 4-byte big-endian field it wrote earlier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/atomic_file.h"

namespace qv {

class ChunkSink {
 public:
  virtual ~ChunkSink() = default;
  // False once any write failed; later writes are not attempted.
  virtual bool Write(const void* data, std::size_t count) = 0;
  // Rewrites the 4 bytes at an earlier offset (big-endian).
  virtual bool PatchU32BE(std::uint64_t offset, std::uint32_t value) = 0;
  virtual std::uint64_t Offset() const = 0;

  bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
  bool Id(const char (&id)[5]) { return Write(id, 4); }
  bool U8(std::uint8_t v) { return Write(&v, 1); }
  bool U16BE(std::uint16_t v) {
    std::uint8_t b[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    return Write(b, 2);
  }
  bool U32BE(std::uint32_t v) {
    std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                         static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    return Write(b, 4);
  }
};

class MemorySink : public ChunkSink {
 public:
  bool Write(const void* data, std::size_t count) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + count);
    return true;
  }
  bool PatchU32BE(std::uint64_t offset, std::uint32_t value) override {
    if (offset + 4 > bytes.size()) return false;
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return true;
  }
  std::uint64_t Offset() const override { return bytes.size(); }

  std::vector<std::uint8_t> bytes;
};

// Writes to a temporary file beside the target; Commit renames it over the
// target. Dropped without Commit, the temporary file is removed and the
// target left as it was.
class FileSink : public ChunkSink {
 public:
  bool Open(const std::string& path) { return file_.Open(path, "wb"); }
  bool Write(const void* data, std::size_t count) override;
  bool PatchU32BE(std::uint64_t offset, std::uint32_t value) override;
  std::uint64_t Offset() const override { return offset_; }
  bool Commit() { return ok_ && file_.Commit(); }

 private:
  AtomicFile file_;
  std::uint64_t offset_ = 0;
  bool ok_ = true;
};

}  // namespace qv
