// The one guard every reader and loader library runs before allocating a
// picture: sides within the format's fields, and no more pixels than the
// file's bytes can describe. Header-only, so that the loader libraries,
// which link nothing of the engine, share it.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct ImageLimits {
  // The largest side the format's size fields can carry (16-bit fields:
  // 65535), or the reader's own cap.
  std::int64_t maxSide = 65535;
  // The most pixels one byte of the data can describe: the format's
  // compression limit (plain data: pixels per byte of a row; runs: the
  // longest run over the bytes of its packet).
  std::int64_t pixelsPerByte = 1;
  // Below this many pixels no picture is too small for its file: a
  // megapixel costs 4 MB, whatever the file claims.
  std::int64_t freePixels = std::int64_t{1} << 20;
};

// The most pixels a record can hold (the row table keeps 32-bit indexes).
inline constexpr std::int64_t kPlausibleMaxPixels = std::int64_t{1} << 30;

// Empty when a width x height picture may come from dataBytes of data;
// else why not ("width 70000 > 65535", "4294836225 pixels from 54 bytes").
// Sides are at most 2^31, so every product below fits in 64 bits.
inline std::string PlausibleImage(std::int64_t width, std::int64_t height, std::uint64_t dataBytes,
                                  const ImageLimits& limits = {}) {
  if (width < 1 || height < 1)
    return "size " + std::to_string(width) + " x " + std::to_string(height) + " has no pixels";
  if (width > limits.maxSide) return "width " + std::to_string(width) + " > " + std::to_string(limits.maxSide);
  if (height > limits.maxSide) return "height " + std::to_string(height) + " > " + std::to_string(limits.maxSide);
  if (width > (std::int64_t{1} << 31) || height > (std::int64_t{1} << 31)) return "size out of range";
  const std::int64_t pixels = width * height;
  if (pixels > kPlausibleMaxPixels)
    return std::to_string(pixels) + " pixels > " + std::to_string(kPlausibleMaxPixels);
  // dataBytes may be anything a file system holds; capped so the product
  // stays below 2^63 (pixels never exceed 2^30).
  const std::uint64_t bytes = dataBytes > (std::uint64_t{1} << 32) ? (std::uint64_t{1} << 32) : dataBytes;
  const std::int64_t describable = static_cast<std::int64_t>(bytes) * limits.pixelsPerByte;
  if (pixels > limits.freePixels && pixels > describable)
    return std::to_string(pixels) + " pixels from " + std::to_string(dataBytes) + " bytes";
  return {};
}

}  // namespace qv
