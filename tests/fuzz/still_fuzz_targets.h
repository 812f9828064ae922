// The bodies of the Targa, GIF and PCX fuzz targets, shared by the libFuzzer
// programs and the normal suite's replay of their seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_targets.h"
#include "formats/gif.h"
#include "formats/pcx.h"
#include "formats/targa.h"

namespace qv::fuzz {

// The Targa reader, and the stamp reader on the same bytes.
inline void FuzzTarga(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  CheckAndFree(ReadTarga(bytes));
  TargaThumbnail thumb;
  if (ReadTargaStamp(bytes, thumb) && thumb.rgba.size() != std::size_t{4} * thumb.width * thumb.height)
    __builtin_trap();
}

inline void FuzzGif(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadGif({data, size})); }

inline void FuzzPcx(const std::uint8_t* data, std::size_t size) { CheckAndFree(ReadPcx({data, size})); }

}  // namespace qv::fuzz
