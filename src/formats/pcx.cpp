// PCX files: a 128-byte header of little-endian words, then each row as
// its plane lines, each line run-length encoded on its own.
#include "formats/pcx.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/bmp.h"
#include "formats/byte_io.h"
#include "formats/file_writing.h"
#include "formats/plausible_image.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr int kMaxSide = 65535;
constexpr int kLongestRun = 63;
constexpr std::uint8_t kPaletteLeadIn = 12;

struct Header {
  int manufacturer = 0, version = 0, encoding = 0, bits = 0;
  int xmin = 0, ymin = 0, xmax = 0, ymax = 0, hres = 0, vres = 0;
  std::array<std::array<std::uint8_t, 3>, 16> palette{};
  int reserved = 0, planes = 0, bytesPerLine = 0, paletteInfo = 0;
};

// The note, with what was refused on a second line (the log gets both).
ImageRecord* Refuse(const char* note, const std::string& detail = {}) {
  ShowNote(note, detail);
  return nullptr;
}

// The layouts there is a decoder for, by bits per plane and planes.
bool Decodable(int bits, int planes) {
  return (bits == 1 && planes >= 1 && planes <= 4) || (planes == 1 && (bits == 2 || bits == 4 || bits == 8)) ||
         (bits == 8 && (planes == 3 || planes == 4));
}

// One plane line: a byte with both top bits set counts the next byte out
// (low 6 bits); a run longer than what is left of the line is cut there.
// False when the data ends first.
bool DecodeLine(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t* out, int n, bool rle) {
  if (!rle) {
    if (end - p < n) return false;
    std::memcpy(out, p, static_cast<std::size_t>(n));
    p += n;
    return true;
  }
  int i = 0;
  while (i < n) {
    if (p == end) return false;
    std::uint8_t b = *p++;
    if ((b & 0xC0) != 0xC0) {
      out[i++] = b;
      continue;
    }
    if (p == end) return false;
    int count = std::min(b & 0x3F, n - i);
    std::memset(out + i, *p++, static_cast<std::size_t>(count));
    i += count;
  }
  return true;
}

}  // namespace

ImageRecord* ReadPcx(std::span<const std::uint8_t> file) {
  if (file.size() < kHeaderBytes) return Refuse("Truncated PCX file");
  ByteReader in(file);
  Header h;
  h.manufacturer = in.U8();
  h.version = in.U8();
  h.encoding = in.U8();
  h.bits = in.U8();
  h.xmin = in.U16LE();
  h.ymin = in.U16LE();
  h.xmax = in.U16LE();
  h.ymax = in.U16LE();
  h.hres = in.U16LE();
  h.vres = in.U16LE();
  for (auto& e : h.palette) in.Bytes(e.data(), 3);
  h.reserved = in.U8();
  h.planes = in.U8();
  h.bytesPerLine = in.U16LE();
  h.paletteInfo = in.U16LE();
  if (h.manufacturer != 10) return Refuse("Not a PCX file");
  LogLine("READING PCX image file\n");
  LogLine("Type: %d Version: %d Encoding: %d Bits: %d\n", h.manufacturer, h.version, h.encoding, h.bits);
  LogLine("Xmin: %d Ymin: %d Xmax: %d Ymax:%d Hres:%d Vres: %d\n", h.xmin, h.ymin, h.xmax, h.ymax, h.hres, h.vres);
  LogLine("Reserved: %d Planes: %d BytesPerLine: %d PaletteType: %d\n", h.reserved, h.planes, h.bytesPerLine,
          h.paletteInfo);
  const long width = static_cast<long>(h.xmax) - h.xmin + 1, height = static_cast<long>(h.ymax) - h.ymin + 1;
  LogLine("Image size = %3ld x %3ld\n", width, height);
  LogLine("Planes: %ld  Run Len: %ld\n", static_cast<long>(h.planes), static_cast<long>(h.bytesPerLine) * h.planes);

  char detail[96];
  if (!Decodable(h.bits, h.planes)) {
    std::snprintf(detail, sizeof detail, "%d bits in %d planes", h.bits, h.planes);
    return Refuse("This kind of PCX file cannot be read", detail);
  }
  const bool rle = h.encoding != 0;
  const std::uint64_t data = file.size() - kHeaderBytes;
  ImageLimits limits;
  limits.maxSide = kMaxSide;
  // A run fills at most 63 bytes of a line from two bytes of data.
  limits.pixelsPerByte = rle ? kLongestRun * 8 / h.bits : 8 / h.bits;
  if (std::string why = PlausibleImage(width, height, data, limits); !why.empty())
    return Refuse("PCX file looks corrupted", why);
  if (std::int64_t{h.bytesPerLine} * 8 < std::int64_t{width} * h.bits) {
    std::snprintf(detail, sizeof detail, "%d bytes per line hold fewer than %ld pixels of %d bits", h.bytesPerLine,
                  width, h.bits);
    return Refuse("PCX file looks corrupted", detail);
  }

  ImageRecord* image = CreateImage(static_cast<int>(width), static_cast<int>(height), "ipcx");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    return Refuse("Not enough memory for PCX line buffer");
  }
  const bool eightBit = h.bits == 8 && h.planes == 1;
  BeginProgress("Reading PCX", static_cast<int>(eightBit ? 2 * height : height));

  // The header's 16 entries are the working palette. A one-bit picture
  // whose two entries are alike (most writers leave them zero) would be a
  // flat field: it is black and white.
  std::array<std::array<std::uint8_t, 4>, 256> pal{};
  for (int i = 0; i < 16; ++i) pal[i] = {h.palette[i][0], h.palette[i][1], h.palette[i][2], 255};
  if (h.bits == 1 && h.planes == 1 && pal[0] == pal[1]) {
    pal[0] = {0, 0, 0, 255};
    pal[1] = {255, 255, 255, 255};
  }

  const int w = static_cast<int>(width);
  const int lineBytes = h.bytesPerLine;
  std::vector<std::uint8_t> lines(static_cast<std::size_t>(lineBytes) * h.planes);
  const std::uint8_t* p = file.data() + kHeaderBytes;
  const std::uint8_t* end = file.data() + file.size();
  bool complete = true;
  for (long y = 0; y < height && complete; ++y) {
    for (int k = 0; k < h.planes && complete; ++k)
      complete = DecodeLine(p, end, lines.data() + static_cast<std::size_t>(k) * lineBytes, lineBytes, rle);
    if (!complete) break;
    std::uint8_t* d = PixelAt(image, 0, static_cast<int>(y));
    const std::uint8_t* s = lines.data();
    if (h.bits == 1) {
      for (int x = 0; x < w; ++x, d += 4) {
        int index = 0;
        for (int k = 0; k < h.planes; ++k)
          index |= ((s[static_cast<std::size_t>(k) * lineBytes + (x >> 3)] >> (7 - (x & 7))) & 1) << k;
        std::memcpy(d, pal[index].data(), 4);
      }
    } else if (h.bits == 2) {
      for (int x = 0; x < w; ++x, d += 4) std::memcpy(d, pal[(s[x >> 2] >> (6 - 2 * (x & 3))) & 3].data(), 4);
    } else if (h.bits == 4) {
      for (int x = 0; x < w; ++x, d += 4) std::memcpy(d, pal[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15].data(), 4);
    } else if (eightBit) {
      for (int x = 0; x < w; ++x, d += 4) d[0] = s[x];  // the index, until the palette is read
    } else {
      const std::uint8_t *r = s, *g = s + lineBytes, *b = s + 2 * lineBytes, *a = s + 3 * lineBytes;
      for (int x = 0; x < w; ++x, d += 4) {
        d[0] = r[x];
        d[1] = g[x];
        d[2] = b[x];
        d[3] = h.planes == 4 ? a[x] : 255;
      }
    }
    Progress(static_cast<int>(y));
  }
  if (!complete) {
    EndProgress();
    UnlockImage(image);
    FreeImage(image);
    return Refuse("Truncated PCX file");
  }

  if (eightBit) {
    // The 256-colour palette follows the data after the byte 12; a file
    // that has none is shown in grays.
    if (p == end || *p != kPaletteLeadIn) LogLine("WARNING: Palette lead in not found !\n");
    if (p != end) ++p;
    if (end - p >= 768) {
      for (int i = 0; i < 256; ++i, p += 3) pal[i] = {p[0], p[1], p[2], 255};
    } else {
      for (int i = 0; i < 256; ++i) pal[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 255};
    }
    for (long y = 0; y < height; ++y) {
      std::uint8_t* d = PixelAt(image, 0, static_cast<int>(y));
      for (int x = 0; x < w; ++x, d += 4) std::memcpy(d, pal[d[0]].data(), 4);
      Progress(static_cast<int>(height + y));
    }
  }
  EndProgress();
  if (h.bits == 8 && h.planes == 4) image->hasAlpha = 1;
  image->bitDepth = static_cast<std::uint16_t>(h.bits * h.planes);
  std::snprintf(image->format, sizeof image->format, "PCX");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadPcxFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) return Refuse("Truncated PCX file");
  return ReadPcx(bytes);
}

// ---------------------------------------------------------------- writing

namespace {

void PutHeader(std::vector<std::uint8_t>& out, int width, int height, int bits, int planes, int bytesPerLine,
               const std::array<std::array<std::uint8_t, 3>, 16>& palette) {
  ByteWriter w;
  w.U8(10);
  w.U8(5);
  w.U8(1);
  w.U8(static_cast<std::uint8_t>(bits));
  w.U16LE(0);
  w.U16LE(0);
  w.U16LE(static_cast<std::uint16_t>(width - 1));
  w.U16LE(static_cast<std::uint16_t>(height - 1));
  w.U16LE(1024);
  w.U16LE(768);
  for (const auto& e : palette) w.Bytes(e.data(), 3);
  w.U8(0);
  w.U8(static_cast<std::uint8_t>(planes));
  w.U16LE(static_cast<std::uint16_t>(bytesPerLine));
  w.U16LE(0);
  w.Zeros(58);
  out.insert(out.end(), w.Data().begin(), w.Data().end());
}

// Runs of equal bytes up to 63 as 0xC0 + count and the byte; a single byte
// below 0xC0 stands for itself.
void EncodeLine(const std::uint8_t* s, int n, std::vector<std::uint8_t>& out) {
  int i = 0;
  while (i < n) {
    const std::uint8_t v = s[i];
    int run = 1;
    while (run < kLongestRun && i + run < n && s[i + run] == v) ++run;
    if (run > 1 || v >= 0xC0) out.push_back(static_cast<std::uint8_t>(0xC0 | run));
    out.push_back(v);
    i += run;
  }
}

int Store(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  return StoreImageBytes(bytes, path, [&] { ShowNote("Could not create file.", path); });
}

}  // namespace

std::vector<std::uint8_t> EncodePcx24(ImageRecord* image) {
  if (!image || LockImage(image) != 0) return {};
  const int width = image->width, height = image->height;
  std::array<std::array<std::uint8_t, 3>, 16> palette{};
  for (int i = 0; i < 16; ++i) palette[i] = {image->red[i], image->green[i], image->blue[i]};
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderBytes + std::size_t{3} * width * height + std::size_t{3} * width * height / 8);
  PutHeader(out, width, height, 8, 3, width, palette);
  std::vector<std::uint8_t> lines(std::size_t{3} * width);
  BeginProgress("- Writing PCX File -", height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    std::uint8_t *r = lines.data(), *g = r + width, *b = g + width;
    for (int x = 0; x < width; ++x, p += 4) r[x] = p[0], g[x] = p[1], b[x] = p[2];
    for (int k = 0; k < 3; ++k) EncodeLine(lines.data() + static_cast<std::size_t>(k) * width, width, out);
    Progress(y);
  }
  EndProgress();
  UnlockImage(image);
  return out;
}

std::vector<std::uint8_t> EncodePcxIndexed(const IndexedImage& image, int depth) {
  if ((depth != 8 && depth != 4 && depth != 1) || image.width < 1 || image.height < 1 ||
      image.indexes.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    return {};
  const int width = image.width, height = image.height;
  const int planes = depth == 4 ? 4 : 1;
  const int bytesPerLine = depth == 8 ? width : (width + 7) / 8;
  std::array<std::array<std::uint8_t, 3>, 16> palette{};
  std::copy_n(image.palette.begin(), 16, palette.begin());
  std::vector<std::uint8_t> out;
  PutHeader(out, width, height, depth == 8 ? 8 : 1, planes, bytesPerLine, palette);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(bytesPerLine));
  BeginProgress("- Writing PCX File -", height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* s = image.indexes.data() + static_cast<std::size_t>(y) * width;
    for (int k = 0; k < planes; ++k) {
      if (depth == 8) {
        std::copy_n(s, width, line.begin());
      } else {
        std::fill(line.begin(), line.end(), 0);
        // Plane k holds bit k of each index; one bit holds any non-zero index.
        for (int x = 0; x < width; ++x)
          if (depth == 4 ? ((s[x] >> k) & 1) : s[x] != 0) line[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
      }
      EncodeLine(line.data(), bytesPerLine, out);
    }
    Progress(y);
  }
  EndProgress();
  if (depth == 8) {
    out.push_back(kPaletteLeadIn);
    for (const auto& e : image.palette) out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

int WritePcx(ImageRecord* image, const std::string& path, int depth) {
  if (!image || TooLargeFor(image, "PCX", kMaxSide)) return 1;
  if (depth == 8 || depth == 4 || depth == 1) {
    IndexedImage reduced;
    if (ReduceImageForSave(image, depth == 8 ? 1 : depth == 4 ? 3 : 5, reduced) != 0) return 1;
    return Store(EncodePcxIndexed(reduced, depth), path);
  }
  std::vector<std::uint8_t> bytes = EncodePcx24(image);
  if (bytes.empty()) return 1;
  return Store(bytes, path);
}

}  // namespace qv
