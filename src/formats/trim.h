// TRIM: the program's own lossless compression of full-colour pictures,
// carried in IFF files as one "RGBT" chunk (red, green and blue channel
// streams) or one "MONO" chunk (one gray channel). Each value is predicted
// from its neighbours, the prediction errors are renumbered by frequency,
// and the ranks are bit-packed in blocks of 16 x 16 pixels with an escape
// code chosen per block.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qv {

class ChunkSink;
struct ImageRecord;

inline constexpr int kTrimBlock = 16;

// Writes the channel streams of the picture (one gray channel when mono) and
// returns the number of bytes written; 0 after a note.
std::uint64_t EncodeTrim(ChunkSink& out, ImageRecord* image, bool mono);

// Fills the picture, already made at its size, from the chunk bytes (for
// MONO all three colours from the one channel) and marks it a TRIM picture.
// 0 on success; 1 after a note or message, the picture's pixels then being
// unfinished.
int DecodeTrim(ImageRecord* image, std::span<const std::uint8_t> chunk, bool mono);

// Every pixel has equal red, green and blue (such a picture is written MONO).
bool IsGrayPicture(ImageRecord* image);

// The coded form of one block of symbols, and its inverse; exposed for the
// tests of the block forms. DecodeTrimBlock returns false on a damaged block
// (a tier wider than 8 bits, or data running out).
void EncodeTrimBlock(std::span<const std::uint8_t> symbols, std::vector<std::uint8_t>& out);
bool DecodeTrimBlock(std::span<const std::uint8_t> data, std::size_t& pos, std::span<std::uint8_t> symbols);

}  // namespace qv
