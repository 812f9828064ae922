#include "formats/planar.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// Transposes the 8 x 8 bit matrix held in x: row i is byte i counted from
// the most significant, column j is bit j counted from the most
// significant. (Three exchange steps of 1, 2 and 4 bits.)
inline std::uint64_t Transpose8(std::uint64_t x) {
  std::uint64_t t;
  t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x = x ^ t ^ (t << 28);
  return x;
}

}  // namespace

bool ByteRun1Reader::Unpack(std::span<std::uint8_t> out) {
  std::uint8_t* o = out.data();
  std::uint8_t* const end = o + out.size();
  const std::uint8_t* const data = data_.data();
  const std::size_t size = data_.size();
  // Far from either end no packet needs its bounds checked, and short runs
  // are written 16 bytes at a time (the bytes past a run are written over
  // by the next ones).
  constexpr std::ptrdiff_t kRoom = 130;
  while (literal_ == 0 && repeat_ == 0 && end - o >= kRoom && size - pos_ >= std::size_t(kRoom)) {
    const int n = static_cast<std::int8_t>(data[pos_]);
    if (n >= 0) {
      const std::size_t count = std::size_t(n) + 1;
      std::memcpy(o, data + pos_ + 1, 16);
      if (count > 16) std::memcpy(o + 16, data + pos_ + 17, count - 16);
      o += count, pos_ += count + 1;
    } else if (n != -128) {
      const std::size_t count = std::size_t(1 - n);
      const std::uint8_t v = data[pos_ + 1];
      std::memset(o, v, 16);
      if (count > 16) std::memset(o + 16, v, count - 16);
      o += count, pos_ += 2;
    } else {
      pos_ += 1;
    }
  }
  while (o < end) {
    // A run left over from the row before.
    if (literal_ > 0) {
      std::size_t n = std::min({std::size_t(literal_), std::size_t(end - o), size - pos_});
      if (n == 0) return false;
      std::memcpy(o, data + pos_, n);
      o += n, pos_ += n, literal_ -= static_cast<int>(n);
      continue;
    }
    if (repeat_ > 0) {
      std::size_t n = std::min(std::size_t(repeat_), std::size_t(end - o));
      std::memset(o, value_, n);
      o += n, repeat_ -= static_cast<int>(n);
      continue;
    }
    if (pos_ >= size) return false;
    const int n = static_cast<std::int8_t>(data[pos_++]);
    if (n >= 0) {
      const std::size_t count = std::size_t(n) + 1;
      if (count <= std::size_t(end - o) && count <= size - pos_) {
        // Most runs are short: a plain loop beats a call.
        for (std::size_t i = 0; i < count; ++i) o[i] = data[pos_ + i];
        o += count, pos_ += count;
      } else {
        literal_ = static_cast<int>(count);
      }
    } else if (n != -128) {
      if (pos_ >= size) return false;
      const std::uint8_t v = data[pos_++];
      const std::size_t count = std::size_t(1 - n);
      if (count <= std::size_t(end - o)) {
        for (std::size_t i = 0; i < count; ++i) o[i] = v;
        o += count;
      } else {
        value_ = v, repeat_ = static_cast<int>(count);
      }
    }
  }
  return true;
}

void PackByteRun1(std::span<const std::uint8_t> row, std::vector<std::uint8_t>& out) {
  const std::size_t n = row.size();
  const std::uint8_t* s = row.data();
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = 1;
    while (i + run < n && run < 128 && s[i + run] == s[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(run)));
      out.push_back(s[i]);
      i += run;
      continue;
    }
    // A literal run up to the next run of three equal bytes.
    std::size_t start = i;
    while (i < n && i - start < 128) {
      if (i + 2 < n && s[i] == s[i + 1] && s[i] == s[i + 2]) break;
      ++i;
    }
    out.push_back(static_cast<std::uint8_t>(i - start - 1));
    out.insert(out.end(), s + start, s + i);
  }
}

void GatherPlanes(const std::uint8_t* const planes[8], int width, std::uint8_t* out) {
  const int groups = width / 8;
  for (int j = 0; j <= groups; ++j) {
    const int count = j < groups ? 8 : width - 8 * groups;
    if (count == 0) break;
    std::uint64_t x = 0;
    for (int b = 7; b >= 0; --b) x = (x << 8) | (planes[b] ? planes[b][j] : 0u);
    x = Transpose8(x);
    std::uint8_t* o = out + 8 * j;
    if (count == 8) {
      for (int r = 0; r < 8; ++r) o[r] = static_cast<std::uint8_t>(x >> (56 - 8 * r));
    } else {
      for (int r = 0; r < count; ++r) o[r] = static_cast<std::uint8_t>(x >> (56 - 8 * r));
    }
  }
}

void ScatterPlanes(const std::uint8_t* values, std::size_t stride, int width, std::uint8_t* const planes[8]) {
  const int groups = (width + 7) / 8;
  for (int j = 0; j < groups; ++j) {
    const int count = std::min(8, width - 8 * j);
    std::uint64_t x = 0;
    const std::uint8_t* v = values + std::size_t(8 * j) * stride;
    for (int r = 0; r < 8; ++r) x = (x << 8) | (r < count ? v[std::size_t(r) * stride] : 0u);
    x = Transpose8(x);
    for (int b = 0; b < 8; ++b) planes[b][j] = static_cast<std::uint8_t>(x >> (8 * b));
  }
  const std::size_t rowBytes = PlaneRowBytes(width);
  for (std::size_t j = std::size_t(groups); j < rowBytes; ++j)
    for (int b = 0; b < 8; ++b) planes[b][j] = 0;
}

}  // namespace qv
