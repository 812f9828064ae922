#include "formats/byte_io.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/atomic_file.h"
#include "base/huge_pages.h"
#include "base/messages.h"

namespace qv {

bool ByteReader::Seek(std::uint64_t offset) {
  if (!ok_ || offset > data_.size()) {
    ok_ = false;
    return false;
  }
  pos_ = static_cast<std::size_t>(offset);
  return true;
}

bool ByteReader::Need(std::size_t count) {
  if (!ok_ || count > Remaining()) {
    ok_ = false;
    return false;
  }
  return true;
}

std::uint8_t ByteReader::U8() {
  if (!Need(1)) return 0;
  return data_[pos_++];
}

std::uint16_t ByteReader::U16LE() {
  if (!Need(2)) return 0;
  std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

std::uint32_t ByteReader::U32LE() {
  if (!Need(4)) return 0;
  std::uint32_t v = std::uint32_t{data_[pos_]} | (std::uint32_t{data_[pos_ + 1]} << 8) |
                    (std::uint32_t{data_[pos_ + 2]} << 16) | (std::uint32_t{data_[pos_ + 3]} << 24);
  pos_ += 4;
  return v;
}

std::uint16_t ByteReader::U16BE() {
  if (!Need(2)) return 0;
  std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
  pos_ += 2;
  return v;
}

std::uint32_t ByteReader::U32BE() {
  if (!Need(4)) return 0;
  std::uint32_t v = (std::uint32_t{data_[pos_]} << 24) | (std::uint32_t{data_[pos_ + 1]} << 16) |
                    (std::uint32_t{data_[pos_ + 2]} << 8) | std::uint32_t{data_[pos_ + 3]};
  pos_ += 4;
  return v;
}

bool ByteReader::Bytes(std::uint8_t* out, std::size_t count) {
  if (!Need(count)) return false;
  if (count) std::memcpy(out, data_.data() + pos_, count);
  pos_ += count;
  return true;
}

std::span<const std::uint8_t> ByteReader::Take(std::size_t count) {
  if (!Need(count)) return {};
  auto view = data_.subspan(pos_, count);
  pos_ += count;
  return view;
}

void ByteWriter::U16LE(std::uint16_t v) {
  U8(static_cast<std::uint8_t>(v));
  U8(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32LE(std::uint32_t v) {
  U16LE(static_cast<std::uint16_t>(v));
  U16LE(static_cast<std::uint16_t>(v >> 16));
}

void ByteWriter::U16BE(std::uint16_t v) {
  U8(static_cast<std::uint8_t>(v >> 8));
  U8(static_cast<std::uint8_t>(v));
}

void ByteWriter::U32BE(std::uint32_t v) {
  U16BE(static_cast<std::uint16_t>(v >> 16));
  U16BE(static_cast<std::uint16_t>(v));
}

void ByteWriter::Bytes(const void* data, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes) {
  out.clear();
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  long end = std::ftell(f.get());
  if (end < 0 || static_cast<std::uint64_t>(end) > maxBytes) return false;
  std::rewind(f.get());
  out.reserve(static_cast<std::size_t>(end));
  AdviseHugePages(out.data(), out.capacity());
  out.resize(static_cast<std::size_t>(end));
  std::size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f.get());
  out.resize(got);
  return true;
}

std::vector<std::uint8_t> ReadFileRange(const std::string& path, std::uint64_t offset, std::size_t count) {
  std::vector<std::uint8_t> out;
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f || offset > static_cast<std::uint64_t>(LONG_MAX) || std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0)
    return out;
  out.resize(count);
  out.resize(std::fread(out.data(), 1, count, f.get()));
  return out;
}

int WriteFileSafely(const std::string& path, std::span<const std::uint8_t> bytes) {
  return WriteFileSafelyWith(path, [&](std::FILE* f) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  });
}

int WriteFileSafelyWith(const std::string& path, const std::function<bool(std::FILE*)>& write) {
  AtomicFile file;
  if (!file.Open(path, "wb")) return 1;
  const bool ok = write(file.get());
  return ok && file.Commit() ? 0 : 2;
}

}  // namespace qv
