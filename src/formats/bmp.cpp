// Windows and OS/2 bitmaps: all fields little-endian, rows bottom-up unless
// the height is negative.
#include "formats/bmp.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "base/huge_pages.h"
#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/file_writing.h"
#include "formats/formats_state.h"
#include "formats/plausible_image.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMaxSide = 40000;
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;
// Run-length data can describe far more pixels than it has bytes, but not
// without limit: beyond this many pixels per byte of data a file is taken
// for a bomb rather than a picture.
constexpr std::int64_t kMaxRlePixelsPerByte = 1024;
constexpr std::int64_t kFreeRlePixels = std::int64_t{1} << 20;

struct Header {
  std::uint32_t fileSize = 0;
  std::uint16_t reserved1 = 0, reserved2 = 0;
  std::uint32_t dataOffset = 0;
  std::uint32_t infoSize = 0;
  std::int64_t width = 0, height = 0;
  std::uint16_t planes = 0, bits = 0;
  std::uint32_t compression = 0, imageSize = 0;
  std::int32_t xppm = 0, yppm = 0;
  std::uint32_t coloursUsed = 0, coloursImportant = 0;
  bool os2 = false;
  bool topDown = false;
  bool hasMasks = false;
  std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

// Four-byte loads and stores in place of byte moves (little-endian hosts;
// others take the plain loops). A store may run one byte past the pixel it
// makes, into the next pixel's place, so the last pixel of a row is moved
// byte by byte.
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
// R G B A <-> B G R A: the first and third bytes swapped.
inline std::uint32_t SwapRedBlue(std::uint32_t v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); }

// Four pixels at a time by one byte shuffle, where the processor has it.
// A 16-byte load or store of packed pixels reaches 4 bytes past the four
// it moves, so these stop 6 pixels short of the row's end (the callers'
// byte loops finish the row) and never touch a byte outside the row.
#if defined(__x86_64__) || defined(__i386__)
constexpr bool kShuffles = true;
bool HasShuffle() { return __builtin_cpu_supports("ssse3"); }

__attribute__((target("ssse3"))) int ShuffleRgbaToBgr(const std::uint8_t* p, std::uint8_t* d, int width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  int x = 0;
  for (; x + 6 <= width; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * x)), order));
  return x;
}

__attribute__((target("ssse3"))) int ShuffleRgbaToBgra(const std::uint8_t* p, std::uint8_t* d, int width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  int x = 0;
  for (; x + 4 <= width; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * x)), order));
  return x;
}

__attribute__((target("ssse3"))) int ShuffleBgrToRgba(const std::uint8_t* s, std::uint8_t* out, int width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int x = 0;
  for (; x + 6 <= width; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                     _mm_or_si128(_mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x)), order),
                                  opaque));
  return x;
}
#else
constexpr bool kShuffles = false;
bool HasShuffle() { return false; }
int ShuffleRgbaToBgr(const std::uint8_t*, std::uint8_t*, int) { return 0; }
int ShuffleRgbaToBgra(const std::uint8_t*, std::uint8_t*, int) { return 0; }
int ShuffleBgrToRgba(const std::uint8_t*, std::uint8_t*, int) { return 0; }
#endif

void RgbaToBgr(const std::uint8_t* p, std::uint8_t* d, int width) {
  int x = 0;
  if (kShuffles && HasShuffle()) x = ShuffleRgbaToBgr(p, d, width);
  if constexpr (kLittleEndian)
    for (; x + 1 < width; ++x) Store32(d + 3 * x, SwapRedBlue(Load32(p + 4 * x)));
  for (; x < width; ++x) {
    d[3 * x] = p[4 * x + 2];
    d[3 * x + 1] = p[4 * x + 1];
    d[3 * x + 2] = p[4 * x];
  }
}

void RgbaToBgra(const std::uint8_t* p, std::uint8_t* d, int width) {
  int x = 0;
  if (kShuffles && HasShuffle()) x = ShuffleRgbaToBgra(p, d, width);
  for (; x < width; ++x) {
    if constexpr (kLittleEndian) {
      Store32(d + 4 * x, SwapRedBlue(Load32(p + 4 * x)));
    } else {
      d[4 * x] = p[4 * x + 2];
      d[4 * x + 1] = p[4 * x + 1];
      d[4 * x + 2] = p[4 * x];
      d[4 * x + 3] = p[4 * x + 3];
    }
  }
}

// B G R rows into opaque R G B A pixels.
void BgrToRgba(const std::uint8_t* s, std::uint8_t* out, int width) {
  int x = 0;
  if (kShuffles && HasShuffle()) x = ShuffleBgrToRgba(s, out, width);
  if constexpr (kLittleEndian)
    for (; x + 1 < width; ++x) Store32(out + 4 * x, 0xFF000000u | SwapRedBlue(Load32(s + 3 * x)));
  for (; x < width; ++x) {
    out[4 * x] = s[3 * x + 2];
    out[4 * x + 1] = s[3 * x + 1];
    out[4 * x + 2] = s[3 * x];
    out[4 * x + 3] = 255;
  }
}

ImageRecord* Refuse(const char* note, const char* logLine = nullptr) {
  if (logLine) LogLine("%s", logLine);
  ShowNote(note);
  return nullptr;
}

std::string MaskBits(std::uint32_t mask) {
  std::string s;
  for (int b = 31; b >= 0; --b) s += ((mask >> b) & 1) ? '1' : '0';
  return s;
}

// One channel of a bit-field pixel, scaled to 0..255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t max = 0;

  explicit Channel(std::uint32_t m) : mask(m) {
    if (!m) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  std::uint8_t Get(std::uint32_t pixel, std::uint8_t whenAbsent) const {
    if (!mask) return whenAbsent;
    std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
};

// The row of the image that the file's row r lands in.
int ImageRow(const Header& h, int r) { return h.topDown ? r : static_cast<int>(h.height) - 1 - r; }

void PutIndex(ImageRecord* image, const Header& h, int x, int r, std::uint8_t index, const FilePalette& pal,
              std::array<int, 256>* uses) {
  std::uint8_t* p = PixelAt(image, x, ImageRow(h, r));
  const auto& e = pal[index];
  p[0] = e[0];
  p[1] = e[1];
  p[2] = e[2];
  p[3] = e[3];
  if (uses) ++(*uses)[index];
}

// RLE4 and RLE8. The cursor wraps to the next row only when another pixel
// is due beyond the right edge, so a run that exactly fills a row followed
// by an end-of-line does not skip a row.
void DecodeRle(ImageRecord* image, const Header& h, ByteReader data, const FilePalette& pal,
               std::array<int, 256>* uses) {
  const bool four = h.bits == 4;
  const int width = static_cast<int>(h.width);
  const int height = static_cast<int>(h.height);
  int row = 0, col = 0;
  auto put = [&](std::uint8_t index, bool wrap) {
    if (wrap && col >= width) {
      col = 0;
      row = std::min(row + 1, height);
    }
    if (row < height && col < width) PutIndex(image, h, col, row, index, pal, uses);
    ++col;
  };
  int lastRow = -1;
  while (data.Has(2)) {
    if (row != lastRow) {
      Progress(std::min(row, height));
      lastRow = row;
    }
    if (row >= height) break;
    int n = data.U8();
    int v = data.U8();
    if (n > 0) {
      for (int i = 0; i < n; ++i) {
        if (four) put(static_cast<std::uint8_t>((i & 1) ? (v & 0x0F) : (v >> 4)), true);
        else if (col < width) put(static_cast<std::uint8_t>(v), false);
        else col = width;  // the rest of an 8-bit run is lost
      }
      continue;
    }
    if (v == 0) {
      col = 0;
      row = std::min(row + 1, height);
    } else if (v == 1) {
      break;
    } else if (v == 2) {
      if (!data.Has(2)) break;
      col = std::min(col + data.U8(), width);  // kept at the edge, so the sum stays small
      row = std::min(row + data.U8(), height);
    } else if (four) {
      std::size_t bytes = static_cast<std::size_t>((v + 3) / 4) * 2;
      auto run = data.Take(std::min(bytes, data.Remaining()));
      for (int i = 0; i < v && static_cast<std::size_t>(i / 2) < run.size(); ++i)
        put(static_cast<std::uint8_t>((i & 1) ? (run[i / 2] & 0x0F) : (run[i / 2] >> 4)), true);
      if (run.size() < bytes) break;
    } else {
      std::size_t bytes = static_cast<std::size_t>(v + (v & 1));
      auto run = data.Take(std::min(bytes, data.Remaining()));
      for (int i = 0; i < v && static_cast<std::size_t>(i) < run.size(); ++i) put(run[i], true);
      if (run.size() < bytes) break;
    }
  }
}

void DecodePlain(ImageRecord* image, const Header& h, std::span<const std::uint8_t> data, std::uint64_t stride,
                 const FilePalette& pal, std::array<int, 256>* uses) {
  const int width = static_cast<int>(h.width);
  const int height = static_cast<int>(h.height);
  Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
  for (int r = 0; r < height; ++r) {
    const std::uint8_t* s = data.data() + stride * static_cast<std::uint64_t>(r);
    std::uint8_t* out = PixelAt(image, 0, ImageRow(h, r));
    switch (h.bits) {
      case 1:
        for (int x = 0; x < width; ++x) PutIndex(image, h, x, r, (s[x >> 3] >> (7 - (x & 7))) & 1, pal, nullptr);
        break;
      case 4:
        for (int x = 0; x < width; ++x)
          PutIndex(image, h, x, r, static_cast<std::uint8_t>((x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4)), pal,
                   nullptr);
        break;
      case 8:
        for (int x = 0; x < width; ++x) PutIndex(image, h, x, r, s[x], pal, uses);
        break;
      case 16:
        for (int x = 0; x < width; ++x, out += 4) {
          std::uint32_t w = static_cast<std::uint32_t>(s[2 * x] | (s[2 * x + 1] << 8));
          if (h.hasMasks) {
            out[0] = red.Get(w, 0);
            out[1] = green.Get(w, 0);
            out[2] = blue.Get(w, 0);
            if (alpha.mask) out[3] = alpha.Get(w, 255);
          } else {
            out[0] = static_cast<std::uint8_t>(((w >> 10) & 31) << 3);
            out[1] = static_cast<std::uint8_t>(((w >> 5) & 31) << 3);
            out[2] = static_cast<std::uint8_t>((w & 31) << 3);
          }
        }
        break;
      case 24:
        BgrToRgba(s, out, width);
        break;
      case 32:
        for (int x = 0; x < width; ++x, out += 4) {
          const std::uint8_t* q = s + 4 * x;
          if (h.hasMasks) {
            std::uint32_t w = std::uint32_t{q[0]} | (std::uint32_t{q[1]} << 8) | (std::uint32_t{q[2]} << 16) |
                              (std::uint32_t{q[3]} << 24);
            out[0] = red.Get(w, 0);
            out[1] = green.Get(w, 0);
            out[2] = blue.Get(w, 0);
            out[3] = alpha.Get(w, 255);
          } else {
            out[0] = q[2];
            out[1] = q[1];
            out[2] = q[0];
            out[3] = q[3];
          }
        }
        break;
    }
    if (h.bits >= 16 ? (r % 8 == 0) : true) Progress(r);
  }
}

std::uint64_t FileStride(int bits, std::int64_t width) {
  return ((static_cast<std::uint64_t>(bits) * static_cast<std::uint64_t>(width) + 31) / 32) * 4;
}

// The header fields; a null result has already given its note.
bool ReadHeaders(ByteReader& in, Header& h) {
  if (in.Size() < 14) return Refuse("BMP file Header truncated.", "BMP Header read failed\n"), false;
  char t0 = static_cast<char>(in.U8()), t1 = static_cast<char>(in.U8());
  h.fileSize = in.U32LE();
  h.reserved1 = in.U16LE();
  h.reserved2 = in.U16LE();
  h.dataOffset = in.U32LE();
  if (t0 != 'B' || t1 != 'M')
    return Refuse("File is not a Windows or OS/2 bitmap.", "Image file header not recognized\n"), false;
  LogLine("Type: %c%c File size: %ld  Reserved: %d , %d Image at: %ld\n", t0, t1, static_cast<long>(h.fileSize),
          h.reserved1, h.reserved2, static_cast<long>(h.dataOffset));

  h.infoSize = in.U32LE();
  if (!in.Ok()) return Refuse("BMP file info truncated.", "BMP Info size read failed\n"), false;
  in.Seek(14);
  if (h.infoSize == 12) {
    h.os2 = true;
    if (!in.Has(12)) return Refuse("BMP file old info truncated.", "BMP Info read failed\n"), false;
    in.U32LE();
    h.width = in.U16LE();
    h.height = in.U16LE();
    h.planes = in.U16LE();
    h.bits = in.U16LE();
    h.coloursUsed = h.bits < 16 ? (1u << h.bits) : 0;
    return true;
  }
  if (!in.Has(40)) return Refuse("BMP file full info truncated.", "BMP Info read failed\n"), false;
  in.U32LE();
  h.width = in.I32LE();
  h.height = in.I32LE();
  h.planes = in.U16LE();
  h.bits = in.U16LE();
  h.compression = in.U32LE();
  h.imageSize = in.U32LE();
  h.xppm = in.I32LE();
  h.yppm = in.I32LE();
  h.coloursUsed = in.U32LE();
  h.coloursImportant = std::min(in.U32LE(), h.coloursUsed);
  LogLine("StrSize: %ld  Xw: %ld  Yw: %ld Planes: %d Bits: %d\n", static_cast<long>(h.infoSize),
          static_cast<long>(h.width), static_cast<long>(h.height), h.planes, h.bits);
  LogLine("Compression: %ld RLE8=%d RLE4=%d ImageSize: %ld Xppm: %ld Yppm: %ld\n", static_cast<long>(h.compression), 1,
          2, static_cast<long>(h.imageSize), static_cast<long>(h.xppm), static_cast<long>(h.yppm));
  LogLine("ColorsUsed: %ld  ColorsImportant: %ld\n", static_cast<long>(h.coloursUsed),
          static_cast<long>(h.coloursImportant));
  return true;
}

}  // namespace

ImageRecord* ReadBmp(std::span<const std::uint8_t> file) {
  ByteReader in(file);
  Header h;
  if (!ReadHeaders(in, h)) return nullptr;

  // A negative height marks a top-down bitmap, stored first row first.
  if (h.height < 0) {
    h.topDown = true;
    h.height = -h.height;
  }
  if (h.imageSize == 0) h.imageSize = static_cast<std::uint32_t>(FileStride(h.bits, h.width) * h.height);
  bool indexed = h.bits == 1 || h.bits == 4 || h.bits == 8;
  bool rle = !h.os2 && (h.bits == 4 || h.bits == 8) && h.compression != kCompressionRgb;
  ImageLimits sides;
  sides.maxSide = kMaxSide;
  sides.pixelsPerByte = kPlausibleMaxPixels;  // the data is checked below, by packing
  if (std::string why = PlausibleImage(h.width, h.height, file.size(), sides); !why.empty()) {
    ShowNote("BMP file looks corrupted", why);
    return nullptr;
  }
  if (h.bits < 1 || h.bits > 32) return Refuse("BMP file looks corrupted");
  // Depths and compressions no decoder exists for would give a blank picture
  // that looks like a successful load.
  bool knownDepth = indexed || h.bits == 16 || h.bits == 24 || h.bits == 32;
  bool knownPacking = h.os2 || indexed || h.compression == kCompressionRgb ||
                      ((h.bits == 16 || h.bits == 32) &&
                       (h.compression == kCompressionBitFields || h.compression == kCompressionAlphaBitFields));
  if (!knownDepth || !knownPacking || (rle && h.topDown)) return Refuse("BMP file looks corrupted");

  // Masks: in the header itself when it is long enough to hold them, else
  // just after a 40-byte header. Files without any keep the 5-5-5 and
  // blue-green-red-alpha layouts.
  std::uint64_t afterInfo = 14 + std::uint64_t{h.infoSize};
  std::uint64_t tableAt = afterInfo;
  if (!h.os2 && (h.bits == 16 || h.bits == 32)) {
    int count = h.compression == kCompressionAlphaBitFields ? 4 : 3;
    std::uint64_t maskAt = h.infoSize >= 52 ? 54 : afterInfo;
    ByteReader m(file);
    if (m.Seek(maskAt) && m.Has(12)) {
      for (int i = 0; i < 3; ++i) h.masks[i] = m.U32LE();
      if (h.infoSize >= 56 || count == 4) h.masks[3] = m.Has(4) ? m.U32LE() : 0;
      static const char* names[] = {"Red", "Green", "Blue", "Alpha"};
      for (int i = 0; i < 4; ++i)
        if (i < 3 || h.masks[3]) LogLine("Mask %s: %08lX %s\n", names[i], static_cast<unsigned long>(h.masks[i]),
                                         MaskBits(h.masks[i]).c_str());
    }
    if (h.compression == kCompressionBitFields || h.compression == kCompressionAlphaBitFields) {
      if (h.masks[0] == 0 && h.masks[1] == 0 && h.masks[2] == 0) return Refuse("BMP file looks corrupted");
      h.hasMasks = true;
      if (h.infoSize < 52) tableAt = afterInfo + 4u * count;
    } else if (h.infoSize < 52) {
      h.masks[3] = 0;
    }
    if (!h.hasMasks) h.masks[3] = 0;
  }

  // The pixel data must be there before anything is allocated for it.
  std::uint64_t stride = FileStride(h.bits, h.width);
  std::uint64_t pixels = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
  if (h.dataOffset > file.size()) return Refuse("BMP file image data truncated.");
  std::uint64_t available = file.size() - h.dataOffset;
  if (rle) {
    ImageLimits runs;
    runs.maxSide = kMaxSide;
    runs.pixelsPerByte = kMaxRlePixelsPerByte;
    runs.freePixels = kFreeRlePixels;
    if (std::string why = PlausibleImage(h.width, h.height, std::min<std::uint64_t>(h.imageSize, available), runs);
        !why.empty()) {
      ShowNote("BMP file looks corrupted", why);
      return nullptr;
    }
  } else if (stride * h.height > available) {
    return Refuse("BMP file image data truncated.");
  }

  // Plain 24- and 32-bit rows write all four bytes of every pixel.
  const bool everyByte = !rle && (h.bits == 24 || h.bits == 32);
  ImageRecord* image = (everyByte ? CreateImageToFill : CreateImage)(static_cast<int>(h.width),
                                                                    static_cast<int>(h.height), "ibmp");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    return Refuse("No real memory for image");
  }
  BeginProgress("Reading BMP", static_cast<int>(h.height));

  FilePalette& pal = FileLoads().palette;
  for (auto& e : pal) e = {0, 0, 0, 255};
  std::uint32_t entries = h.coloursUsed;
  if (entries == 0 && h.bits < 16) entries = 1u << h.bits;
  ByteReader table(file);
  table.Seek(tableAt);
  int entrySize = h.os2 ? 3 : 4;
  for (std::uint32_t i = 0; i < std::min<std::uint32_t>(entries, 256) && table.Has(entrySize); ++i) {
    pal[i][2] = table.U8();
    pal[i][1] = table.U8();
    pal[i][0] = table.U8();
    if (!h.os2) table.U8();
  }
  if (entries == 2) pal[255] = pal[1];

  std::array<int, 256> uses{};
  bool counting = FileLoads().diagnostics && h.bits == 8;
  if (rle) {
    ByteReader data(file.subspan(h.dataOffset, std::min<std::uint64_t>(h.imageSize, available)));
    DecodeRle(image, h, data, pal, counting ? &uses : nullptr);
  } else {
    DecodePlain(image, h, file.subspan(h.dataOffset), stride, pal, counting ? &uses : nullptr);
  }

  if (h.bits == 32 || (h.bits == 16 && h.masks[3])) {
    // Most 32-bit files leave the fourth byte 0; such a picture is opaque,
    // not invisible.
    bool anyAlpha = false;
    std::uint8_t* p = image->pixels;
    for (std::uint64_t i = 0; i < pixels && !anyAlpha; ++i) anyAlpha = p[i * 4 + 3] != 0;
    if (anyAlpha && (!h.hasMasks || h.masks[3])) {
      image->hasAlpha = 1;
    } else {
      for (std::uint64_t i = 0; i < pixels; ++i) p[i * 4 + 3] = 255;
    }
  }
  image->bitDepth = h.bits;
  std::snprintf(image->format, sizeof image->format, "BMP");
  EndProgress();
  UnlockImage(image);
  if (counting)
    for (int i = 0; i < 256; ++i) LogLine("DIAG BMP use %3d = %5d\n", i, uses[i]);
  return image;
}

ImageRecord* ReadBmpFile(const std::string& path) {
  // The whole file in one read, into a buffer that is not cleared first:
  // the read writes every byte the decoder looks at.
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  long end = -1;
  if (f && std::fseek(f.get(), 0, SEEK_END) == 0) end = std::ftell(f.get());
  if (end < 0 || static_cast<std::uint64_t>(end) > (std::uint64_t{1} << 32))
    return Refuse("BMP file Header truncated.", "BMP Header read failed\n");
  std::rewind(f.get());
  const auto size = static_cast<std::size_t>(end);
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[std::max<std::size_t>(size, 1)]);
  if (!bytes) return Refuse("No real memory for image");
  AdviseHugePages(bytes.get(), size);
  const std::size_t got = size == 0 ? 0 : std::fread(bytes.get(), 1, size, f.get());
  f.reset();
  return ReadBmp(std::span<const std::uint8_t>(bytes.get(), got));
}

namespace {

void WriteFileHeader(ByteWriter& w, int width, int height, int depth, std::uint32_t rowSize, int colours) {
  std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(height);
  w.U8('B');
  w.U8('M');
  w.U32LE(imageSize + 4u * colours + 54);
  w.U16LE(0);
  w.U16LE(0);
  w.U32LE(4u * colours + 54);
  w.U32LE(40);
  w.U32LE(static_cast<std::uint32_t>(width));
  w.U32LE(static_cast<std::uint32_t>(height));
  w.U16LE(1);
  w.U16LE(static_cast<std::uint16_t>(depth));
  w.U32LE(0);
  w.U32LE(imageSize);
  w.U32LE(0);
  w.U32LE(0);
  w.U32LE(static_cast<std::uint32_t>(colours));
  w.U32LE(static_cast<std::uint32_t>(colours));
}

std::uint32_t RowSize(int depth, int width) { return static_cast<std::uint32_t>(FileStride(depth, width)); }


int Store(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  return StoreImageBytes(bytes, path, [] { ShowNote("Unable to Create file."); });
}

}  // namespace

namespace {

// One row of the image as the file has it, padding included (d holds
// rowSize bytes).
void BmpRow(const std::uint8_t* p, std::uint8_t* d, int width, int depth, std::uint32_t rowSize) {
  std::size_t used = 0;
  if (depth == 24) {
    RgbaToBgr(p, d, width);
    used = std::size_t{3} * width;
  } else if (depth == 32) {
    RgbaToBgra(p, d, width);
    used = std::size_t{4} * width;
  } else {
    for (int x = 0; x < width; ++x, p += 4) {
      const auto v = static_cast<std::uint16_t>(((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3));
      d[2 * x] = static_cast<std::uint8_t>(v);
      d[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    used = std::size_t{2} * width;
  }
  std::fill(d + used, d + rowSize, std::uint8_t{0});
}

// The header, then each row from the bottom one up, made in `chunk` (a
// whole number of rows) and handed to put(bytes, count) as it fills; false
// when put failed. The image is locked by the caller.
template <class Put>
bool EmitBmp(ImageRecord* image, int depth, std::span<std::uint8_t> chunk, Put put) {
  const int width = image->width, height = image->height;
  const std::uint32_t rowSize = RowSize(depth, width);
  ByteWriter header;
  WriteFileHeader(header, width, height, depth, rowSize, 0);
  if (!put(header.Data().data(), header.Size())) return false;
  const std::size_t rowsPerChunk = std::max<std::size_t>(1, chunk.size() / rowSize);
  BeginProgress("Saving BMP", height);
  std::size_t filled = 0;
  bool ok = true;
  for (int y = height - 1; y >= 0 && ok; --y) {
    BmpRow(PixelAt(image, 0, y), chunk.data() + filled * rowSize, width, depth, rowSize);
    if (++filled == rowsPerChunk || y == 0) {
      ok = put(chunk.data(), filled * rowSize);
      filled = 0;
    }
    if ((height - 1 - y) % 8 == 0) Progress(height - 1 - y);
  }
  EndProgress();
  return ok;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(ImageRecord* image, int depth) {
  if (!image || (depth != 32 && depth != 24 && depth != 16)) return {};
  if (depth == 32 && !image->hasAlpha) depth = 24;
  if (LockImage(image) != 0) return {};
  // The rows are made in place, straight into the file's bytes.
  const std::uint32_t rowSize = RowSize(depth, image->width);
  std::vector<std::uint8_t> out(54 + std::size_t{rowSize} * image->height);
  std::size_t at = 0;
  EmitBmp(image, depth, std::span(out).subspan(54), [&](const std::uint8_t* bytes, std::size_t count) {
    if (bytes != out.data() + at) std::copy_n(bytes, count, out.data() + at);
    at += count;
    return true;
  });
  UnlockImage(image);
  return out;
}

std::vector<std::uint8_t> EncodeBmpIndexed(const IndexedImage& image, int depth) {
  if (depth != 8 && depth != 4 && depth != 1) return {};
  if (image.width < 1 || image.height < 1 ||
      image.indexes.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    return {};
  const int colours = 1 << depth;
  const std::uint32_t rowSize = RowSize(depth, image.width);
  ByteWriter w;
  WriteFileHeader(w, image.width, image.height, depth, rowSize, colours);
  for (int i = 0; i < colours; ++i) {
    w.U8(image.palette[i][2]);
    w.U8(image.palette[i][1]);
    w.U8(image.palette[i][0]);
    w.U8(0);
  }
  std::vector<std::uint8_t> row(rowSize);
  for (int y = image.height - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    const std::uint8_t* s = image.indexes.data() + static_cast<std::size_t>(y) * image.width;
    for (int x = 0; x < image.width; ++x) {
      if (depth == 8) row[x] = s[x];
      else if (depth == 4) row[x >> 1] |= static_cast<std::uint8_t>((s[x] & 0x0F) << ((x & 1) ? 0 : 4));
      else if (s[x]) row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
    w.Bytes(row.data(), row.size());
  }
  return w.Data();
}

int WriteBmpIndexed(const IndexedImage& image, const std::string& path, int depth) {
  auto bytes = EncodeBmpIndexed(image, depth);
  if (bytes.empty()) return 1;
  return Store(bytes, path);
}

int WriteBmp(ImageRecord* image, const std::string& path, int depth) {
  if (!image) return 1;
  if (depth == 8 || depth == 4 || depth == 1) {
    IndexedImage reduced;
    if (ReduceImageForSave(image, depth == 8 ? 1 : depth == 4 ? 3 : 5, reduced) != 0) return 1;
    return WriteBmpIndexed(reduced, path, depth);
  }
  if (depth != 32 && depth != 24 && depth != 16) return 1;
  if (depth == 32 && !image->hasAlpha) depth = 24;
  // Rows go to the file a few hundred kilobytes at a time: no copy of the
  // whole file is ever made.
  std::vector<std::uint8_t> chunk;
  const std::size_t rowSize = RowSize(depth, image->width);
  try {
    chunk.resize(std::max<std::size_t>(rowSize, std::size_t{256} << 10));
  } catch (const std::bad_alloc&) {
    chunk.clear();
  }
  if (chunk.empty() || LockImage(image) != 0) {
    ShowNote("Not enough memory for save");
    return 1;
  }
  const int r = StoreImageWith(
      [&](std::FILE* f) {
        return EmitBmp(image, depth, chunk, [f](const std::uint8_t* bytes, std::size_t count) {
          return std::fwrite(bytes, 1, count, f) == count;
        });
      },
      path, [] { ShowNote("Unable to Create file."); });
  UnlockImage(image);
  return r;
}

}  // namespace qv
