// Building IFF files in tests: chunks, a bitmap header, and a BODY made
// from each pixel's plane bits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/byte_io.h"
#include "formats/planar.h"

namespace qv::test {

struct IffChunk {
  std::string id;
  std::vector<std::uint8_t> data;
};

inline std::vector<std::uint8_t> IffFile(const std::string& type, const std::vector<IffChunk>& chunks,
                                         const std::string& container = "FORM") {
  ByteWriter w;
  w.Bytes(container.data(), 4);
  w.U32BE(0);
  w.Bytes(type.data(), 4);
  for (const auto& c : chunks) {
    w.Bytes(c.id.data(), 4);
    w.U32BE(static_cast<std::uint32_t>(c.data.size()));
    w.Bytes(c.data.data(), c.data.size());
    if (c.data.size() & 1) w.U8(0);
  }
  std::vector<std::uint8_t> bytes = w.Data();
  std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
  return bytes;
}

inline IffChunk Bmhd(int width, int height, int planes, int masking = 0, int compression = 0, int xAspect = 1,
                     int yAspect = 1) {
  ByteWriter w;
  w.U16BE(static_cast<std::uint16_t>(width)), w.U16BE(static_cast<std::uint16_t>(height));
  w.U16BE(0), w.U16BE(0);
  w.U8(static_cast<std::uint8_t>(planes)), w.U8(static_cast<std::uint8_t>(masking));
  w.U8(static_cast<std::uint8_t>(compression)), w.U8(0);
  w.U16BE(0);
  w.U8(static_cast<std::uint8_t>(xAspect)), w.U8(static_cast<std::uint8_t>(yAspect));
  w.U16BE(static_cast<std::uint16_t>(width)), w.U16BE(static_cast<std::uint16_t>(height));
  return {"BMHD", w.Data()};
}

inline IffChunk Cmap(const std::vector<std::array<std::uint8_t, 3>>& colours) {
  IffChunk c{"CMAP", {}};
  for (const auto& e : colours) c.data.insert(c.data.end(), e.begin(), e.end());
  return c;
}

inline IffChunk Camg(std::uint32_t modes) {
  ByteWriter w;
  w.U32BE(modes);
  return {"CAMG", w.Data()};
}

// A BODY whose pixel (x, y) has bit p of bits(x, y) in plane p; with
// maskPlane a plane of noise follows each row's planes.
inline IffChunk Body(int width, int height, int planes, const std::function<std::uint64_t(int, int)>& bits,
                     bool maskPlane = false, bool pack = false) {
  const std::size_t rowBytes = PlaneRowBytes(width);
  std::vector<std::uint8_t> out, row(rowBytes);
  for (int y = 0; y < height; ++y) {
    for (int p = 0; p < planes + (maskPlane ? 1 : 0); ++p) {
      std::fill(row.begin(), row.end(), 0);
      for (int x = 0; x < width; ++x) {
        bool set = p < planes ? ((bits(x, y) >> p) & 1) : ((x * 7 + y) % 3 == 0);
        if (set) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
      if (pack) PackByteRun1(row, out);
      else out.insert(out.end(), row.begin(), row.end());
    }
  }
  return {"BODY", out};
}

}  // namespace qv::test
