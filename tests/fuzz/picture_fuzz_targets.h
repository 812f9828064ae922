// The bodies of the fuzz targets of the IFF, PPM, SGI, RAW and I-RAW
// readers and the TRIM decoder, shared by the libFuzzer programs and the
// normal suite's replay of their seed files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "app/program.h"
#include "formats/iff.h"
#include "fuzz/fuzz_targets.h"
#include "formats/ppm.h"
#include "formats/raw.h"
#include "formats/sgi.h"
#include "formats/trim.h"
#include "store/image_record.h"

namespace qv::fuzz {

inline std::span<const std::uint8_t> Bytes(const std::uint8_t* data, std::size_t size) { return {data, size}; }

inline void FuzzIff(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadIff(Bytes(data, size))); }
inline void FuzzPpm(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadPpm(Bytes(data, size), "fuzz.ppm")); }
inline void FuzzSgi(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadSgi(Bytes(data, size), "fuzz.rgb")); }
inline void FuzzIRaw(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadIRaw(Bytes(data, size))); }

// RAW: the first three bytes choose the layout and the size, the rest is
// the file (for three files, split in three).
inline void FuzzRaw(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return;
  RawImageRequest r;
  r.layout = data[0] % kRawLayoutCount;
  r.width = 1 + data[1] % 64;
  r.height = 1 + data[2] % 64;
  auto rest = Bytes(data + 3, size - 3);
  RawSize proposal = ProposeRawSize(rest.size(), data[0] / 4, r.layout);
  if (proposal.width < 1 || proposal.height < 1) __builtin_trap();
  const std::size_t third = rest.size() / 3;
  if (r.layout == kRawFiles)
    CheckAndFree(DecodeRaw(r, rest.first(third), rest.subspan(third, third), rest.subspan(2 * third)));
  else
    CheckAndFree(DecodeRaw(r, rest));
}

// TRIM: the first three bytes give the picture's size and the channel
// count; the rest is the chunk.
inline void FuzzTrim(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return;
  ImageRecord* image = CreateImage(1 + data[0] % 48, 1 + data[1] % 48, "fuzz");
  if (!image) __builtin_trap();
  DecodeTrim(image, Bytes(data + 3, size - 3), data[2] & 1);
  CheckAndFree(image);
}

}  // namespace qv::fuzz
