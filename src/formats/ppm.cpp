#include "formats/ppm.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpen = 6;
constexpr int kMessageNoImageMemory = 7;
constexpr int kMessageNoOperationMemory = 22;
constexpr int kMessageNoHeader = 24;
constexpr int kMessageTruncated = 25;
constexpr std::size_t kMaxTokenChars = 20;
constexpr std::uint64_t kMaxSide = 1u << 30;

bool Blank(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The header's numbers: each after blanks and "#" comments, digits only,
// ended by one blank (which the last number's is: the pixels follow it).
class HeaderReader {
 public:
  explicit HeaderReader(std::span<const std::uint8_t> file) : file_(file) {}
  std::size_t pos = 2;

  bool Separator() { return pos < file_.size() && Blank(file_[pos]); }
  bool Number(std::uint64_t& value) {
    while (pos < file_.size() && (Blank(file_[pos]) || file_[pos] == '#')) {
      if (file_[pos] == '#')
        while (pos < file_.size() && file_[pos] != '\n' && file_[pos] != '\r') ++pos;
      else
        ++pos;
    }
    std::size_t start = pos;
    value = 0;
    while (pos < file_.size() && std::isdigit(file_[pos])) {
      if (pos - start >= kMaxTokenChars) return false;
      // Twenty digits can pass 2^64: such a number stays at the largest.
      const std::uint64_t digit = file_[pos] - '0';
      value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
      ++pos;
    }
    if (pos == start || pos >= file_.size() || !Blank(file_[pos])) return false;
    ++pos;  // the one blank that ends the number
    return true;
  }

 private:
  std::span<const std::uint8_t> file_;
};

}  // namespace

ImageRecord* ReadPpm(std::span<const std::uint8_t> file, const std::string& name) {
  HeaderReader h(file);
  std::uint64_t width = 0, height = 0, maximum = 0;
  bool ok = file.size() >= 3 && file[0] == 'P' && file[1] == '6' && h.Separator() && h.Number(width) &&
            h.Number(height) && h.Number(maximum);
  if (!ok || width < 1 || height < 1 || maximum > 65535 || width > kMaxSide || height > kMaxSide) {
    ShowMessageFile(kMessageNoHeader, name);
    return nullptr;
  }
  if (maximum < 1) maximum = 255;
  LogLine("Xw %4ld Yw %4ld Mx %3ld\n", static_cast<long>(width), static_cast<long>(height), static_cast<long>(maximum));
  const int sampleBytes = maximum > 255 ? 2 : 1;
  const std::uint64_t rowBytes = width * 3 * sampleBytes;
  if (rowBytes * height > file.size() - h.pos) {
    ShowMessageFile(kMessageTruncated, name);
    return nullptr;
  }

  ImageRecord* image = CreateImage(static_cast<int>(width), static_cast<int>(height), "ippm");
  if (!image) {
    ShowMessage(kMessageNoImageMemory);
    return nullptr;
  }
  if (LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNoOperationMemory);
    return nullptr;
  }
  std::array<std::uint8_t, 256> scale;
  for (int v = 0; v < 256; ++v)
    scale[v] = static_cast<std::uint8_t>(std::min<std::uint64_t>(255, std::uint64_t(v) * 255 / maximum));
  const int w = static_cast<int>(width), rows = static_cast<int>(height);
  BeginProgress("Loading PPM", rows);
  const std::uint8_t* in = file.data() + h.pos;
  for (int y = 0; y < rows; ++y, in += rowBytes) {
    std::uint8_t* out = PixelAt(image, 0, y);
    if (sampleBytes == 1) {
      for (int x = 0; x < w; ++x, out += 4)
        out[0] = scale[in[3 * x]], out[1] = scale[in[3 * x + 1]], out[2] = scale[in[3 * x + 2]];
    } else {
      for (int x = 0; x < w * 3; ++x) {
        std::uint64_t v = std::min<std::uint64_t>(std::uint64_t(in[2 * x] << 8 | in[2 * x + 1]), maximum);
        out[4 * (x / 3) + x % 3] = static_cast<std::uint8_t>((v * 255 + maximum / 2) / maximum);
      }
    }
    if (y % 16 == 0) Progress(y);
  }
  EndProgress();
  image->bitDepth = 24;
  std::snprintf(image->format, sizeof image->format, "PPM");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadPpmFile(const std::string& path) {
  LogLine("Reading \"%s\" as a PPM\n", path.c_str());
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowMessageFile(kMessageCannotOpen, path);
    return nullptr;
  }
  return ReadPpm(bytes, path);
}

}  // namespace qv
