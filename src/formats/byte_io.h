// Bounds-checked byte access for every file reader and writer.
//
// Readers never touch a file through structs or raw pointers: they read the
// file into memory (capped by its real size) and walk it with ByteReader,
// whose every read checks what is left and turns a short read into a flag
// the caller tests once. Writers build the file in memory with ByteWriter
// and hand it to WriteFileSafely, so a failed save never harms the old file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qv {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t Size() const { return data_.size(); }
  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
  // False once any read or seek went past the end; reads then give zeros.
  bool Ok() const { return ok_; }

  // Moves to an absolute offset; past the end fails (the end itself is fine).
  bool Seek(std::uint64_t offset);
  bool Skip(std::uint64_t count) { return Seek(std::uint64_t{pos_} + count); }
  bool Has(std::uint64_t count) const { return ok_ && count <= Remaining(); }

  std::uint8_t U8();
  std::uint16_t U16LE();
  std::uint32_t U32LE();
  std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }
  std::uint16_t U16BE();
  std::uint32_t U32BE();
  // Copies count bytes into out (which must hold them); false when short.
  bool Bytes(std::uint8_t* out, std::size_t count);
  // A view of the next count bytes (empty and failing when short).
  std::span<const std::uint8_t> Take(std::size_t count);

 private:
  bool Need(std::size_t count);

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16LE(std::uint16_t v);
  void U32LE(std::uint32_t v);
  void U16BE(std::uint16_t v);
  void U32BE(std::uint32_t v);
  void Bytes(const void* data, std::size_t count);
  void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Reserve(std::size_t count) { bytes_.reserve(count); }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Data() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads a whole file; false when it cannot be opened or read, or is larger
// than maxBytes (nothing is allocated for such a file).
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out,
                   std::uint64_t maxBytes = std::uint64_t{1} << 32);
// Reads up to count bytes at offset (fewer at the end of the file).
std::vector<std::uint8_t> ReadFileRange(const std::string& path, std::uint64_t offset, std::size_t count);

// Writes to a temporary file in the target's folder and renames it over the
// target only when every byte is on disk (through symbolic links, keeping
// the replaced file's permissions). 0 on success, 1 when the file
// could not be created, 2 when writing failed (the target is untouched).
int WriteFileSafely(const std::string& path, std::span<const std::uint8_t> bytes);
// The same, for a file written piece by piece: write returns false when a
// write failed.
int WriteFileSafelyWith(const std::string& path, const std::function<bool(std::FILE*)>& write);

}  // namespace qv
