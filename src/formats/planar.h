// Interleaved bit planes and their ByteRun1 packing, as IFF pictures store
// them: each plane row holds one bit of every pixel of a row, leftmost
// pixel in bit 7 of the first byte, rows padded to a whole 16-bit word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv {

// Bytes of one plane row of a picture this wide.
inline std::size_t PlaneRowBytes(int width) { return ((std::size_t(width) + 15) / 16) * 2; }

// ByteRun1 data read row after row. A run that goes past the end of one
// row carries on into the next, as some writers pack a picture row as one
// stream; a count of -128 does nothing.
class ByteRun1Reader {
 public:
  explicit ByteRun1Reader(std::span<const std::uint8_t> data) : data_(data) {}
  // Fills out; false when the data ran out first (the rest of out is then
  // undefined).
  bool Unpack(std::span<std::uint8_t> out);
  std::size_t Consumed() const { return pos_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  int literal_ = 0;  // bytes of a literal run still to copy
  int repeat_ = 0;   // copies of value_ still to give
  std::uint8_t value_ = 0;
};

// Appends the ByteRun1 packing of row to out (repeat runs from 3 equal
// bytes, literal runs of at most 128 bytes).
void PackByteRun1(std::span<const std::uint8_t> row, std::vector<std::uint8_t>& out);

// Gathers one value per pixel from up to 8 plane rows: bit b of a value is
// the pixel's bit in planes[b] (a null plane gives 0 bits). width values are
// written to out.
void GatherPlanes(const std::uint8_t* const planes[8], int width, std::uint8_t* out);

// The inverse: spreads one byte per pixel over 8 plane rows, bit b of each
// value into planes[b]; the rows must hold PlaneRowBytes(width) bytes, and
// padding bits are cleared. stride steps from one value to the next.
void ScatterPlanes(const std::uint8_t* values, std::size_t stride, int width, std::uint8_t* const planes[8]);

}  // namespace qv
