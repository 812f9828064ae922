#include "formats/sgi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/tagged_buffer.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoImageMemory = 7;
constexpr std::size_t kHeaderBytes = 512;
constexpr int kMaxChannels = 4;
// Run-length rows may share their data, so a small file can describe a
// large picture; beyond this many pixels per byte it is taken for a bomb.
constexpr std::uint64_t kMaxRlePixelsPerByte = 1024;
constexpr std::uint64_t kFreeRlePixels = std::uint64_t{1} << 20;

ImageRecord* Refuse(const std::string& note, const std::string& name) {
  ShowNote(note, name);
  return nullptr;
}

struct Header {
  int storage = 0, sampleBytes = 0, dimension = 0;
  int width = 0, height = 0, depth = 0;
};

// Unpacks one run-length row of samples (bytes or big-endian words) into
// out, which holds width samples; false when the row's data ends early or
// its packets give more samples than the row has (the overruns of broken
// and hostile files).
bool UnpackRow(std::span<const std::uint8_t> data, int sampleBytes, std::uint16_t* out, int width) {
  std::size_t at = 0;
  int x = 0;
  auto sample = [&]() -> int {
    int v = sampleBytes == 2 ? (data[at] << 8 | data[at + 1]) : data[at];
    at += sampleBytes;
    return v;
  };
  while (at + sampleBytes <= data.size()) {
    const int count = sample() & 0x7F;
    // The count is the low byte of the sample; its top bit marks literals.
    const bool literal = data[at - 1] & 0x80;
    if (count == 0) return x == width;
    if (count > width - x) return false;
    if (literal) {
      if (data.size() - at < std::size_t(count) * sampleBytes) return false;
      for (int i = 0; i < count; ++i) out[x++] = static_cast<std::uint16_t>(sample());
    } else {
      if (at + sampleBytes > data.size()) return false;
      const std::uint16_t v = static_cast<std::uint16_t>(sample());
      for (int i = 0; i < count; ++i) out[x++] = v;
    }
  }
  return x == width;
}

}  // namespace

ImageRecord* ReadSgi(std::span<const std::uint8_t> file, const std::string& name) {
  if (file.size() < kHeaderBytes) return Refuse("SGI image header is truncated.", name);
  ByteReader in(file);
  if (in.U16BE() != 474) return Refuse("File is not an SGI image.", name);
  Header h;
  h.storage = in.U8();
  h.sampleBytes = in.U8();
  h.dimension = in.U16BE();
  h.width = in.U16BE();
  h.height = in.U16BE();
  h.depth = in.U16BE();
  if (h.dimension == 1) h.height = 1, h.depth = 1;
  if (h.dimension == 2) h.depth = 1;
  if (h.storage > 1 || h.sampleBytes < 1 || h.sampleBytes > 2 || h.dimension < 1 || h.dimension > 3 || h.width < 1 ||
      h.height < 1 || h.depth < 1) {
    char detail[96];
    std::snprintf(detail, sizeof detail, "storage %d, %d-byte samples, %d x %d x %d", h.storage, h.sampleBytes,
                  h.width, h.height, h.depth);
    return Refuse("SGI image header looks corrupted.", detail);
  }
  const int channels = std::min(h.depth, kMaxChannels);
  const std::uint64_t rowSamples = std::uint64_t(h.width);
  const std::uint64_t rows = std::uint64_t(h.height) * std::uint64_t(h.depth);
  const std::uint64_t pixels = std::uint64_t(h.width) * std::uint64_t(h.height);
  std::span<const std::uint8_t> starts, lengths;
  if (h.storage == 0) {
    if (kHeaderBytes + rowSamples * h.sampleBytes * h.height * channels > file.size())
      return Refuse("SGI image data is truncated.", name);
  } else {
    // A row offset and a row length for every row of every channel.
    if (kHeaderBytes + rows * 8 > file.size()) return Refuse("SGI image tables run past the end of the file.", name);
    starts = file.subspan(kHeaderBytes, rows * 4);
    lengths = file.subspan(kHeaderBytes + rows * 4, rows * 4);
    if (pixels > std::max(kFreeRlePixels, file.size() * kMaxRlePixelsPerByte))
      return Refuse("SGI image is larger than the data in the file.", name);
  }

  TaggedBuffer rowBuffer(std::int64_t{h.width} * 2 * kMaxChannels, "sgirow");
  if (!rowBuffer) return Refuse("Out of memory.", name);
  ImageRecord* image = CreateImage(h.width, h.height, "rgb");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    ShowMessageFile(kMessageNoImageMemory, name);
    return nullptr;
  }
  auto* samples = reinterpret_cast<std::uint16_t*>(rowBuffer.data());
  const int maximum = h.sampleBytes == 2 ? 65535 : 255;
  bool damaged = false;
  bool anyAlpha = false;
  BeginProgress("Loading SGI", h.height);
  for (int y = 0; y < h.height && !damaged; ++y) {
    for (int c = 0; c < channels && !damaged; ++c) {
      std::uint16_t* out = samples + std::size_t(c) * h.width;
      const std::uint64_t row = std::uint64_t(c) * h.height + y;
      if (h.storage == 0) {
        const std::uint8_t* s = file.data() + kHeaderBytes + row * rowSamples * h.sampleBytes;
        for (int x = 0; x < h.width; ++x) out[x] = h.sampleBytes == 2 ? (s[2 * x] << 8 | s[2 * x + 1]) : s[x];
      } else {
        ByteReader t(starts);
        t.Seek(row * 4);
        std::uint64_t start = t.U32BE();
        ByteReader l(lengths);
        l.Seek(row * 4);
        std::uint64_t length = l.U32BE();
        if (start > file.size() || length > file.size() - start) {
          damaged = true;
          break;
        }
        std::fill(out, out + h.width, 0);
        if (!UnpackRow(file.subspan(start, length), h.sampleBytes, out, h.width)) damaged = true;
      }
    }
    if (damaged) break;
    // The file's first row is the bottom of the picture.
    std::uint8_t* p = PixelAt(image, 0, h.height - 1 - y);
    auto byte = [&](int c, int x) {
      int v = samples[std::size_t(c) * h.width + x];
      return static_cast<std::uint8_t>(maximum == 255 ? v : (v + 128) / 257);
    };
    for (int x = 0; x < h.width; ++x, p += 4) {
      if (channels <= 2) {
        p[0] = p[1] = p[2] = byte(0, x);
        if (channels == 2) p[3] = byte(1, x);
      } else {
        p[0] = byte(0, x), p[1] = byte(1, x), p[2] = byte(2, x);
        if (channels == 4) p[3] = byte(3, x);
      }
      anyAlpha = anyAlpha || p[3] != 255;
    }
    Progress(y);
  }
  EndProgress();
  if (damaged) {
    UnlockImage(image);
    FreeImage(image);
    return Refuse("SGI image data is damaged.", name);
  }
  image->hasAlpha = anyAlpha ? 1 : 0;
  image->bitDepth = anyAlpha ? 32 : channels == 1 ? 8 : 24;
  std::snprintf(image->format, sizeof image->format, "RGB");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadSgiFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    char text[300];
    std::snprintf(text, sizeof text, "Failed to open image file %s.", path.c_str());
    ShowNote(text);
    return nullptr;
  }
  return ReadSgi(bytes, path);
}

}  // namespace qv
