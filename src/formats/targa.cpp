// Targa files: all fields little-endian; rows bottom-up unless descriptor
// bit 5 is set, right to left when bit 4 is set.
#include "formats/targa.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/file_writing.h"
#include "formats/plausible_image.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNewImageMemory = 7;
constexpr int kMessageOperationMemory = 22;
constexpr int kMessageCannotCreate = 37;

constexpr std::size_t kHeaderBytes = 18;
constexpr std::size_t kFooterBytes = 26;
constexpr std::size_t kExtensionBytes = 495;
constexpr char kSignature[] = "TRUEVISION-XFILE";
constexpr int kStampMaxWidth = 36;
constexpr int kStampMaxHeight = 32;
constexpr int kMaxSide = 65535;

// Offsets of the extension area's fields that are read (the published
// layout; job time at 420, version at 467, gamma at 478 and attributes at
// 494 are only written).
constexpr std::size_t kExtAuthor = 2, kExtComment = 43, kExtDate = 367, kExtJob = 379, kExtSoftware = 426,
                      kExtKeyColour = 470, kExtAspect = 474, kExtCorrection = 482, kExtStamp = 486,
                      kExtScanLines = 490;
constexpr std::size_t kAuthorField = 41, kCommentField = 324, kJobField = 41, kSoftwareField = 41;

struct Header {
  int idLength = 0, mapType = 0, imageType = 0;
  int mapFirst = 0, mapLength = 0, mapBits = 0;
  int xOrigin = 0, yOrigin = 0, width = 0, height = 0;
  int pixelBits = 0, descriptor = 0;
};

struct Footer {
  bool v2 = false;
  std::uint32_t extOffset = 0, devOffset = 0;
};

Header ReadHeader(ByteReader& in) {
  Header h;
  h.idLength = in.U8();
  h.mapType = in.U8();
  h.imageType = in.U8();
  h.mapFirst = in.U16LE();
  h.mapLength = in.U16LE();
  h.mapBits = in.U8();
  h.xOrigin = in.U16LE();
  h.yOrigin = in.U16LE();
  h.width = in.U16LE();
  h.height = in.U16LE();
  h.pixelBits = in.U8();
  h.descriptor = in.U8();
  return h;
}

// A file shorter than the footer simply has none.
Footer ReadFooter(std::span<const std::uint8_t> file) {
  Footer f;
  if (file.size() < kFooterBytes) return f;
  ByteReader in(file.subspan(file.size() - kFooterBytes));
  std::uint32_t ext = in.U32LE();
  std::uint32_t dev = in.U32LE();
  auto sig = in.Take(16);
  if (std::memcmp(sig.data(), kSignature, 16) == 0) {
    f.v2 = true;
    f.extOffset = ext;
    f.devOffset = dev;
  }
  return f;
}

const char* TypeName(int type) {
  switch (type) {
    case 1: return "TARGA: Color mapped, uncompressed";
    case 2: return "TARGA: RGB, uncompressed";
    case 9: return "TARGA: Color mapped, RLE compressed";
    case 10: return "TARGA: RGB, RLE compressed";
  }
  return "unknown !!";
}

using Rgba = std::array<std::uint8_t, 4>;
using ColourMap = std::vector<Rgba>;

inline void From16(std::uint32_t w, std::uint8_t* d) {
  std::uint32_t r = (w >> 10) & 31, g = (w >> 5) & 31, b = w & 31;
  d[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
  d[1] = static_cast<std::uint8_t>((g << 3) | (g >> 2));
  d[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
  d[3] = 255;
}

// Converts n file pixels to red, green, blue, alpha. Mapped pixels go
// through the map by index less the first entry; an index outside it is
// black.
struct Converter {
  int bits = 24;
  bool mapped = false;
  int mapFirst = 0;
  const ColourMap* map = nullptr;

  void MapIndex(std::uint32_t index, std::uint8_t* d) const {
    std::int64_t e = static_cast<std::int64_t>(index) - mapFirst;
    if (e >= 0 && e < static_cast<std::int64_t>(map->size())) {
      std::memcpy(d, (*map)[static_cast<std::size_t>(e)].data(), 4);
    } else {
      d[0] = d[1] = d[2] = 0;
      d[3] = 255;
    }
  }

  void Row(const std::uint8_t* s, std::uint8_t* d, int n) const {
    if (mapped) {
      if (bits == 8) {
        for (int i = 0; i < n; ++i) MapIndex(s[i], d + 4 * i);
      } else {
        for (int i = 0; i < n; ++i) MapIndex(static_cast<std::uint32_t>(s[2 * i] | (s[2 * i + 1] << 8)), d + 4 * i);
      }
      return;
    }
    switch (bits) {
      case 15:
      case 16:
        for (int i = 0; i < n; ++i, s += 2, d += 4) From16(static_cast<std::uint32_t>(s[0] | (s[1] << 8)), d);
        break;
      case 24:
        for (int i = 0; i < n; ++i, s += 3, d += 4) {
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
          d[3] = 255;
        }
        break;
      default:
        for (int i = 0; i < n; ++i, s += 4, d += 4) {
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
          d[3] = s[3];
        }
        break;
    }
  }
};

// Packets run on from one row into the next, so the state outlives a row.
struct RleState {
  int left = 0;
  bool run = false;
  std::uint8_t value[4] = {0, 0, 0, 255};
};

bool DecodeRleRow(ByteReader& in, RleState& st, std::uint8_t* d, int width, int bytes, const Converter& conv) {
  int x = 0;
  while (x < width) {
    if (st.left == 0) {
      if (!in.Has(1)) return false;
      std::uint8_t h = in.U8();
      st.left = (h & 127) + 1;
      st.run = (h & 128) != 0;
      if (st.run) {
        auto v = in.Take(static_cast<std::size_t>(bytes));
        if (v.empty()) return false;
        conv.Row(v.data(), st.value, 1);
      }
    }
    int n = std::min(st.left, width - x);
    if (st.run) {
      std::uint8_t* p = d + 4 * static_cast<std::size_t>(x);
      for (int i = 0; i < n; ++i, p += 4) std::memcpy(p, st.value, 4);
    } else {
      auto v = in.Take(static_cast<std::size_t>(n) * bytes);
      if (v.empty()) return false;
      conv.Row(v.data(), d + 4 * static_cast<std::size_t>(x), n);
    }
    x += n;
    st.left -= n;
  }
  return true;
}

// The note, with what was refused on a second line (the log gets both).
ImageRecord* Refuse(const char* note, const std::string& detail = {}) {
  ShowNote(note, detail);
  return nullptr;
}

// A text field of the extension area, cut at its first zero byte.
std::string Field(const std::uint8_t* at, std::size_t width) {
  std::size_t n = 0;
  while (n < width && at[n]) ++n;
  return std::string(reinterpret_cast<const char*>(at), n);
}

std::uint16_t Word(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }
std::uint32_t Long(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
         (std::uint32_t{at[3]} << 24);
}

// The extension area's bytes: as many of its 495 as the file and its size
// field give (3ds max writes 494), the rest zero.
std::array<std::uint8_t, kExtensionBytes> ExtensionArea(std::span<const std::uint8_t> file, std::uint32_t offset,
                                                        int& size) {
  std::array<std::uint8_t, kExtensionBytes> ext{};
  size = 0;
  if (offset > file.size() || file.size() - offset < 2) return ext;
  size = Word(file.data() + offset);
  std::size_t have = std::min<std::size_t>({kExtensionBytes, static_cast<std::size_t>(size), file.size() - offset});
  std::memcpy(ext.data(), file.data() + offset, have);
  return ext;
}

struct PlaceFree {
  const char* tag;
  void operator()(void* p) const { FreeReal(p, tag); }
};
using TaggedPlace = std::unique_ptr<std::uint8_t, PlaceFree>;

TaggedPlace Place(std::int64_t bytes, const char* tag) {
  return TaggedPlace(static_cast<std::uint8_t*>(AllocReal(bytes, tag)), PlaceFree{tag});
}

// The developer area's tags are read for the record and not used. Their
// data is kept only up to the file's own size in all, so that a thousand
// tags pointing at one large block cannot make the read slow.
void ReadDeveloperArea(std::span<const std::uint8_t> file, std::uint32_t offset) {
  LogLine("File has Developer area\n");
  ByteReader in(file);
  if (!in.Seek(offset)) return;
  int count = in.U16LE();
  if (!in.Has(std::uint64_t{10} * count)) return;
  TaggedPlace list = Place(std::int64_t{10} * count + 2, "Ttag");
  if (!list || !in.Bytes(list.get(), std::size_t{10} * count)) return;
  std::vector<TaggedPlace> kept;
  std::uint64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* t = list.get() + 10 * i;
    std::uint32_t at = Long(t + 2), size = Long(t + 6);
    if (at > file.size() || size > file.size() - at || total + size > file.size()) continue;
    TaggedPlace data = Place(std::int64_t{size} + 1, "TagD");
    if (!data) break;
    std::memcpy(data.get(), file.data() + at, size);
    total += size;
    kept.push_back(std::move(data));
  }
}

void ReadExtensionArea(std::span<const std::uint8_t> file, std::uint32_t offset, ImageRecord* image) {
  LogLine("File has Extension area\n");
  int size = 0;
  auto ext = ExtensionArea(file, offset, size);
  LogLine("ExtSize: %d\n", size);
  if (size == 0) return;
  std::string author = Field(&ext[kExtAuthor], kAuthorField - 1);
  std::string comment = Field(&ext[kExtComment], kCommentField);
  std::snprintf(image->author, sizeof image->author, "%s", author.c_str());
  if (!comment.empty() && EnsureAnnotation(image, kCommentField + 1) == 0)
    std::snprintf(image->annotation, kCommentField + 1, "%s", comment.c_str());
  int month = Word(&ext[kExtDate]), day = Word(&ext[kExtDate + 2]), year = Word(&ext[kExtDate + 4]);
  int hour = Word(&ext[kExtDate + 6]), minute = Word(&ext[kExtDate + 8]), second = Word(&ext[kExtDate + 10]);
  if (year < 61)
    year += 2000;
  else if (year < 100)
    year += 1900;
  LogLine("Author: %s\n", author.c_str());
  LogLine("Comment: %s\n", comment.c_str());
  LogLine("Stamp date: %4d:%02d:%02d %02d:%02d:%02d\n", year, month, day, hour, minute, second);
  LogLine("Job: %s\n", Field(&ext[kExtJob], kJobField).c_str());
  LogLine("Software: %s\n", Field(&ext[kExtSoftware], kSoftwareField).c_str());
  LogLine("KeyColor: %06lX\n", static_cast<unsigned long>(Long(&ext[kExtKeyColour])));
  int num = Word(&ext[kExtAspect]), den = Word(&ext[kExtAspect + 2]);
  LogLine("PixelAspect: %d / %d\n", num, den);
  if (num != 0 && den != 0) {
    if (num < 20 && den < 20) num *= 10, den *= 10;
    if (num > 4000 || den > 4000) num = den = 1;
    image->dpiXNum = num;
    image->dpiYNum = den;
    image->dpiXDen = image->dpiYDen = 1;
  }
  if (Long(&ext[kExtScanLines])) LogLine("File has Scan offsets\n");
  std::uint32_t stamp = Long(&ext[kExtStamp]);
  if (stamp && stamp < file.size() && file.size() - stamp >= 2) {
    LogLine("File has Stamp image\n");
    LogLine("Stamp size = %d x %d\n", file[stamp], file[stamp + 1]);
  }
  if (Long(&ext[kExtCorrection])) LogLine("File has Color correction table\n");
}

}  // namespace

ImageRecord* ReadTarga(std::span<const std::uint8_t> file) {
  LogLine("Reading TGA file.\n");
  ByteReader in(file);
  if (file.size() < kHeaderBytes) {
    LogLine("TGA file header read failed.\n");
    return Refuse("TGA file header truncated.");
  }
  Header h = ReadHeader(in);
  LogLine("IDlength: %d MapType: %d ImgType: %d MapOrg: %d MapLen: %d\n", h.idLength, h.mapType, h.imageType,
          h.mapFirst, h.mapLength);
  LogLine("MapBits: %d Xorg: %d Yorg: %d Width: %d Height: %d\n", h.mapBits, h.xOrigin, h.yOrigin, h.width, h.height);
  LogLine("PixSize: %d  ImgDesc: %d\n", h.pixelBits, h.descriptor);
  Footer footer = ReadFooter(file);
  if (footer.v2) {
    LogLine("TGA is a Targa 2.\n");
    LogLine("EAOffs: %ld  DAOffs: %ld\n", static_cast<long>(footer.extOffset), static_cast<long>(footer.devOffset));
  }
  LogLine("ImgType: %d  is \"%s\"\n", h.imageType, TypeName(h.imageType));
  const bool bottomUp = (h.descriptor & 0x20) == 0;
  const bool rightToLeft = (h.descriptor & 0x10) != 0;
  LogLine("Image orientation: %d\n", bottomUp ? 1 : 0);

  const bool mapped = h.imageType == 1 || h.imageType == 9;
  const bool rle = h.imageType == 9 || h.imageType == 10;
  if (!mapped && h.imageType != 2 && h.imageType != 10) return Refuse("TGA file type is not supported.");
  bool pixelsOk = mapped ? (h.pixelBits == 8 || h.pixelBits == 16)
                         : (h.pixelBits == 15 || h.pixelBits == 16 || h.pixelBits == 24 || h.pixelBits == 32);
  bool mapOk =
      h.mapType == 0 || (h.mapType == 1 && (h.mapBits == 15 || h.mapBits == 16 || h.mapBits == 24 || h.mapBits == 32));
  if (mapped && (h.mapType != 1 || h.mapLength == 0)) mapOk = false;
  if (!pixelsOk || !mapOk) {
    char detail[80];
    std::snprintf(detail, sizeof detail, "pixel size %d, colour map type %d of %d-bit entries", h.pixelBits, h.mapType,
                  h.mapBits);
    return Refuse("TGA file type is not supported.", detail);
  }

  const int bytes = (h.pixelBits + 7) / 8;
  const int mapEntryBytes = (h.mapBits + 7) / 8;
  const std::uint64_t mapAt = kHeaderBytes + std::uint64_t{static_cast<unsigned>(h.idLength)};
  const std::uint64_t dataAt =
      mapAt + (h.mapType == 1 ? std::uint64_t{static_cast<unsigned>(h.mapLength)} * mapEntryBytes : 0);
  if (dataAt > file.size()) return Refuse("TGA file image data truncated.");
  const std::uint64_t available = file.size() - dataAt;
  ImageLimits limits;
  limits.maxSide = kMaxSide;
  // A run packet is one byte and one pixel for up to 128 pixels.
  limits.pixelsPerByte = rle ? (128 + bytes) / (1 + bytes) : 1;
  if (std::string why = PlausibleImage(h.width, h.height, available, limits); !why.empty())
    return Refuse("TGA file looks corrupted", why);
  const std::uint64_t rowBytes = std::uint64_t{static_cast<unsigned>(h.width)} * bytes;
  if (!rle && rowBytes * static_cast<unsigned>(h.height) > available) return Refuse("TGA file image data truncated.");

  ColourMap map;
  if (mapped) {
    ByteReader m(file);
    m.Seek(mapAt);
    map.resize(static_cast<std::size_t>(h.mapLength));
    Converter entry{h.mapBits == 15 ? 16 : h.mapBits, false, 0, nullptr};
    for (auto& e : map) {
      auto raw = m.Take(static_cast<std::size_t>(mapEntryBytes));
      entry.Row(raw.data(), e.data(), 1);
      e[3] = 255;  // the fourth byte of a 32-bit entry is not alpha here
    }
  }

  ImageRecord* image = CreateImage(h.width, h.height, "itga");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNewImageMemory);
    return nullptr;
  }
  BeginProgress("Reading TGA", h.height);
  Converter conv{h.pixelBits, mapped, h.mapFirst, &map};
  std::vector<std::uint8_t> mirror(rightToLeft ? std::size_t{4} * h.width : 0);
  ByteReader data(file.subspan(dataAt));
  RleState state;
  bool complete = true;
  for (int r = 0; r < h.height && complete; ++r) {
    std::uint8_t* row = PixelAt(image, 0, bottomUp ? h.height - 1 - r : r);
    std::uint8_t* d = rightToLeft ? mirror.data() : row;
    if (rle) {
      complete = DecodeRleRow(data, state, d, h.width, bytes, conv);
    } else {
      conv.Row(file.data() + dataAt + rowBytes * r, d, h.width);
    }
    if (rightToLeft)
      for (int x = 0; x < h.width; ++x) std::memcpy(row + 4 * x, d + 4 * (h.width - 1 - x), 4);
    if (r % 8 == 0) Progress(r);
  }
  EndProgress();
  if (!complete) {
    UnlockImage(image);
    FreeImage(image);
    return Refuse("TGA file image data truncated.");
  }
  image->bitDepth = static_cast<std::uint16_t>(h.pixelBits);
  if (h.pixelBits == 32 && !mapped) image->hasAlpha = 1;
  if (footer.v2) {
    if (footer.devOffset) ReadDeveloperArea(file, footer.devOffset);
    if (footer.extOffset) ReadExtensionArea(file, footer.extOffset, image);
  }
  std::snprintf(image->format, sizeof image->format, "TGA");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadTargaFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    LogLine("TGA file header read failed.\n");
    return Refuse("TGA file header truncated.");
  }
  return ReadTarga(bytes);
}

// ---------------------------------------------------------------- writing

namespace {

// Zero and negative parts of a resolution count as 1.
std::int64_t Positive(std::int64_t v) { return v > 0 ? v : 1; }

// One row as blue, green, red (and alpha), run-length encoded: runs of
// equal pixels up to 128; raw lists up to 127, closed where three equal
// pixels start; packets never cross rows.
std::uint8_t* EncodeRow(const std::uint8_t* p, int width, int bytes, std::uint8_t* out) {
  auto same = [p](int a, int b) { return std::memcmp(p + 4 * a, p + 4 * b, 4) == 0; };
  auto put = [&](int x) {
    const std::uint8_t* s = p + 4 * x;
    out[0] = s[2];
    out[1] = s[1];
    out[2] = s[0];
    if (bytes == 4) out[3] = s[3];
    out += bytes;
  };
  int x = 0;
  while (x < width) {
    if (x + 1 < width && same(x, x + 1)) {
      int n = 2;
      while (n < 128 && x + n < width && same(x, x + n)) ++n;
      *out++ = static_cast<std::uint8_t>(0x80 | (n - 1));
      put(x);
      x += n;
      continue;
    }
    int n = 1;
    while (n < 127 && x + n < width) {
      int j = x + n;
      if (j + 2 < width && same(j, j + 1) && same(j, j + 2)) break;
      ++n;
    }
    *out++ = static_cast<std::uint8_t>(n - 1);
    for (int i = 0; i < n; ++i) put(x + i);
    x += n;
  }
  return out;
}

void PutText(ByteWriter& w, const std::string& text, std::size_t width) {
  std::size_t n = std::min(text.size(), width - 1);
  w.Bytes(text.data(), n);
  w.Zeros(width - n);
}

}  // namespace

StampSize TargaStampSize(int width, int height, std::int64_t dpiXNum, std::int64_t dpiXDen, std::int64_t dpiYNum,
                         std::int64_t dpiYDen) {
  // Resolutions are 32-bit, so the products need 128 bits.
  __extension__ typedef __int128 Wide;
  const Wide a = Positive(dpiXNum), b = Positive(dpiXDen), c = Positive(dpiYNum), d = Positive(dpiYDen);
  const Wide w = std::max(width, 1), h = std::max(height, 1);
  Wide sh = Wide{kStampMaxWidth} * a * h * d / (b * c * w);
  Wide sw = kStampMaxWidth;
  if (sh > kStampMaxHeight) {
    sh = kStampMaxHeight;
    sw = Wide{kStampMaxHeight} * b * c * w / (a * h * d);
  }
  StampSize s;
  s.width = static_cast<int>(std::clamp<Wide>(sw, 4, kStampMaxWidth));
  s.height = static_cast<int>(std::clamp<Wide>(sh, 4, kStampMaxHeight));
  return s;
}

std::vector<std::uint8_t> EncodeTarga(ImageRecord* image, bool compress) {
  if (!image || LockImage(image) != 0) return {};
  const int width = image->width, height = image->height;
  const int bytes = image->hasAlpha ? 4 : 3;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * bytes;
  // Worst case of a row: a raw packet header for every 127 pixels.
  const std::size_t rowWorst = rowBytes + static_cast<std::size_t>(width) / 127 + 1;

  std::vector<std::uint8_t> file(kHeaderBytes + rowWorst * static_cast<std::size_t>(height));
  ByteWriter head;
  head.U8(0);
  head.U8(0);
  head.U8(compress ? 10 : 2);
  head.U16LE(59);
  head.U16LE(0);
  head.U8(0);
  head.U16LE(0);
  head.U16LE(0);
  head.U16LE(static_cast<std::uint16_t>(width));
  head.U16LE(static_cast<std::uint16_t>(height));
  head.U8(static_cast<std::uint8_t>(bytes * 8));
  head.U8(0);
  std::memcpy(file.data(), head.Data().data(), kHeaderBytes);

  BeginProgress(bytes == 4 ? "Saving 32-bit Targa" : "Saving 24-bit Targa", height, 1);
  std::uint8_t* out = file.data() + kHeaderBytes;
  for (int y = height - 1, done = 0; y >= 0; --y, ++done) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    if (compress) {
      out = EncodeRow(p, width, bytes, out);
    } else if (bytes == 3) {
      for (int x = 0; x < width; ++x, p += 4, out += 3) out[0] = p[2], out[1] = p[1], out[2] = p[0];
    } else {
      for (int x = 0; x < width; ++x, p += 4, out += 4) out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = p[3];
    }
    if (done % 4 == 0) Progress(done);
  }
  file.resize(static_cast<std::size_t>(out - file.data()));

  // The trailer: postage stamp, extension area, footer.
  ByteWriter t;
  const std::uint32_t stampAt = static_cast<std::uint32_t>(file.size());
  StampSize s = TargaStampSize(width, height, image->dpiXNum, image->dpiXDen, image->dpiYNum, image->dpiYDen);
  t.U8(static_cast<std::uint8_t>(s.width));
  t.U8(static_cast<std::uint8_t>(s.height));
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const std::uint8_t* p = PixelAt(image, static_cast<int>(std::int64_t{x} * width / s.width),
                                      static_cast<int>(std::int64_t{y} * height / s.height));
      t.U8(p[2]);
      t.U8(p[1]);
      t.U8(p[0]);
      if (bytes == 4) t.U8(p[3]);
    }
  const std::uint32_t extAt = stampAt + static_cast<std::uint32_t>(t.Size());
  t.U16LE(static_cast<std::uint16_t>(kExtensionBytes));
  PutText(t, std::string(image->author, strnlen(image->author, sizeof image->author)), kAuthorField);
  PutText(t, image->annotation ? std::string(image->annotation) : std::string(), kCommentField);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  for (int v : {local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec})
    t.U16LE(static_cast<std::uint16_t>(v));
  t.Zeros(kJobField + 6);
  PutText(t, std::string(kProductTitle) + " by " + "Quillon", kSoftwareField);
  t.U16LE(312);
  t.U8(' ');
  t.U32LE(0);
  t.U16LE(static_cast<std::uint16_t>(Positive(image->dpiXNum) / Positive(image->dpiXDen)));
  t.U16LE(static_cast<std::uint16_t>(Positive(image->dpiYNum) / Positive(image->dpiYDen)));
  t.U16LE(1);
  t.U16LE(1);
  t.U32LE(0);
  t.U32LE(stampAt);
  t.U32LE(0);
  t.U8(0);
  t.U32LE(extAt);
  t.U32LE(0);
  t.Bytes(kSignature, 16);
  t.U8('.');
  t.U8(0);
  file.insert(file.end(), t.Data().begin(), t.Data().end());
  EndProgress();
  UnlockImage(image);
  return file;
}

int WriteTarga(ImageRecord* image, const std::string& path, bool compress) {
  if (!image || TooLargeFor(image, "Targa", kMaxSide)) return 1;
  std::vector<std::uint8_t> file = EncodeTarga(image, compress);
  if (file.empty()) {
    ShowMessage(kMessageOperationMemory);
    return 1;
  }
  return StoreImageBytes(file, path, [&] { ShowMessageFile(kMessageCannotCreate, path); });
}

// ---------------------------------------------------------------- stamp

bool ReadTargaStamp(std::span<const std::uint8_t> file, TargaThumbnail& out) {
  out = {};
  if (file.size() < kHeaderBytes) return false;
  ByteReader in(file);
  Header h = ReadHeader(in);
  if ((h.imageType != 2 && h.imageType != 10) || (h.pixelBits != 24 && h.pixelBits != 32)) return false;
  Footer footer = ReadFooter(file);
  if (!footer.v2 || footer.extOffset == 0) return false;
  int size = 0;
  auto ext = ExtensionArea(file, footer.extOffset, size);
  if (size < static_cast<int>(kExtStamp + 4)) return false;
  std::uint32_t at = Long(&ext[kExtStamp]);
  if (at == 0 || at >= file.size() || file.size() - at < 2) return false;
  const int sw = file[at], sh = file[at + 1];
  LogLine("Stamp size = %d x %d\n", sw, sh);
  const int bytes = h.pixelBits / 8;
  const std::size_t need = static_cast<std::size_t>(sw) * sh * bytes;
  if (sw == 0 || sh == 0 || file.size() - at - 2 < need) return false;
  TaggedPlace stamp = Place(static_cast<std::int64_t>(need), "TGst");
  if (!stamp) return false;
  std::memcpy(stamp.get(), file.data() + at + 2, need);

  // Sampled to fit 36 x 32, keeping the stamp's shape.
  int tw = kStampMaxWidth, th = std::max(1, sh * kStampMaxWidth / sw);
  if (th > kStampMaxHeight) {
    th = kStampMaxHeight;
    tw = std::max(1, sw * kStampMaxHeight / sh);
  }
  TaggedPlace scaled = Place(2 + std::int64_t{tw} * th * 4, "SRst");
  if (!scaled) return false;
  std::uint8_t* q = scaled.get();
  *q++ = static_cast<std::uint8_t>(tw);
  *q++ = static_cast<std::uint8_t>(th);
  for (int y = 0; y < th; ++y)
    for (int x = 0; x < tw; ++x, q += 4) {
      const std::uint8_t* s = stamp.get() + (static_cast<std::size_t>(y * sh / th) * sw + x * sw / tw) * bytes;
      q[0] = s[2];
      q[1] = s[1];
      q[2] = s[0];
      q[3] = bytes == 4 ? s[3] : 255;
    }
  out.width = tw;
  out.height = th;
  out.rgba.assign(scaled.get() + 2, scaled.get() + 2 + std::size_t{4} * tw * th);
  return true;
}

bool ReadTargaStampFile(const std::string& path, TargaThumbnail& out) {
  std::vector<std::uint8_t> bytes;
  out = {};
  return ReadFileBytes(path, bytes) && ReadTargaStamp(bytes, out);
}

}  // namespace qv
