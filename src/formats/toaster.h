// Toaster framestore rows: NTSC composite video, two 8-bit samples per
// pixel (A from planes 8-15, B from planes 0-7, most significant bit in the
// lowest plane of each group), with the colour carried at a phase that
// turns by a quarter cycle per pixel.
#pragma once

#include <cstdint>

namespace qv {

inline constexpr int kFramestoreWidth = 752;
inline constexpr int kFramestoreHeight = 480;

// Decodes picture row `row` (its number decides the starting phase) of
// width pixels into RGBA (alpha left as it was).
void DecodeFramestoreRow(const std::uint8_t* a, const std::uint8_t* b, int width, int row, std::uint8_t* rgba);

// The inverse: samples for a row of RGBA pixels (4 bytes apart) that the
// decoding turns back into the same colours where the colour does not
// change from pixel to pixel; at colour edges the chroma is spread over the
// neighbours, as composite video does.
void EncodeFramestoreRow(const std::uint8_t* rgba, int width, int row, std::uint8_t* a, std::uint8_t* b);

}  // namespace qv
