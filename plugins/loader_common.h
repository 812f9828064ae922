// What both loader libraries share: the exported-entry marker, whole-file
// reading, the plausibility cap, and writing through a temporary file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/plausible_image.h"

#define QV_LOADER_EXPORT extern "C" __attribute__((visibility("default")))

namespace qvld {

// Codecs compress flat pictures by up to about a thousand to one; a header
// claiming more pixels than that from the file's size is taken for a bomb.
inline bool PlausiblePixels(std::uint64_t width, std::uint64_t height, std::uint64_t fileBytes) {
  qv::ImageLimits limits;
  limits.pixelsPerByte = 1100;
  limits.freePixels = std::int64_t{16} << 20;
  return width <= 65535 && height <= 65535 &&
         qv::PlausibleImage(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), fileBytes, limits)
             .empty();
}

inline bool ReadWhole(const char* path, std::vector<unsigned char>& out) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = size >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize(static_cast<std::size_t>(size));
    ok = out.empty() || std::fread(out.data(), 1, out.size(), f) == out.size();
  }
  std::fclose(f);
  return ok;
}

// The temporary file beside the target; renamed over it when complete.
inline std::string TempPathFor(const char* path) { return std::string(path) + ".qvtmp"; }

inline bool Commit(const std::string& temp, const char* path, bool ok) {
  if (ok && std::rename(temp.c_str(), path) == 0) return true;
  std::remove(temp.c_str());
  return false;
}

}  // namespace qvld
