// Helpers of the image-file tests: pixels of a record, peers run as
// processes, the corpus folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv::test {

// RGBA bytes of an image, rows top to bottom.
inline std::vector<std::uint8_t> Pixels(ImageRecord* image) {
  std::vector<std::uint8_t> out;
  if (!image || LockImage(image) != 0) return out;
  for (int y = 0; y < image->height; ++y) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    out.insert(out.end(), p, p + std::size_t{4} * image->width);
  }
  UnlockImage(image);
  return out;
}

inline std::vector<std::uint8_t> Rgb(const std::vector<std::uint8_t>& rgba) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) out.insert(out.end(), &rgba[i], &rgba[i] + 3);
  return out;
}

// Standard output of a shell command; empty when it failed.
inline std::string RunOutput(const std::string& command, int* status = nullptr) {
  std::string out;
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// What ImageMagick decodes a file to, as RGBA bytes (empty when it failed).
inline std::vector<std::uint8_t> MagickRgba(const std::string& path) {
  int status = 0;
  std::string out = RunOutput("convert " + Quote(path) + "[0] -depth 8 rgba:- 2>/dev/null", &status);
  if (status != 0) return {};
  return {out.begin(), out.end()};
}

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::vector<std::uint8_t> out;
  ReadFileBytes(path.string(), out);
  return out;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// A small valid bitmap: 2 x 1 pixels, 24 bits, (3, 2, 1) and (6, 5, 4).
inline std::vector<std::uint8_t> TinyBmp() {
  ByteWriter w;
  w.U8('B'), w.U8('M'), w.U32LE(62), w.U32LE(0), w.U32LE(54);
  w.U32LE(40), w.U32LE(2), w.U32LE(1), w.U16LE(1), w.U16LE(24), w.U32LE(0), w.U32LE(8);
  w.Zeros(16);
  w.Bytes("\x01\x02\x03\x04\x05\x06\x00\x00", 8);
  return w.Data();
}

// QV_CORPUS, else ../shared/corpus from the project root.
inline std::filesystem::path CorpusDir() {
  if (const char* env = std::getenv("QV_CORPUS"); env && *env) return env;
  // A worktree sits one level deeper than the main checkout.
  std::filesystem::path root(QV_SOURCE_DIR);
  for (const auto& candidate : {root / ".." / "shared" / "corpus", root / ".." / ".." / "shared" / "corpus"})
    if (std::filesystem::is_directory(candidate)) return candidate;
  return root / ".." / "shared" / "corpus";
}

// A picture with every channel varying, so that swapped or shifted channels
// show.
inline ImageRecord* TestPattern(int width, int height, bool alpha = false) {
  ImageRecord* image = CreateImage(width, height, "itst");
  LockImage(image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 37 + y);
      p[1] = static_cast<std::uint8_t>(y * 53 + x * 3);
      p[2] = static_cast<std::uint8_t>((x ^ y) * 11);
      p[3] = alpha ? static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)) : 255;
    }
  UnlockImage(image);
  image->hasAlpha = alpha ? 1 : 0;
  return image;
}

}  // namespace qv::test
