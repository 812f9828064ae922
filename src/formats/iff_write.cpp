// IFF pictures written: a 24-plane ILBM or TRIM file, and the Toaster
// framestore sampled to its fixed size.
#include "formats/iff.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/chunk_sink.h"
#include "formats/iff_chunks.h"
#include "formats/image_files.h"
#include "formats/planar.h"
#include "formats/tagged_buffer.h"
#include "formats/toaster.h"
#include "formats/trim.h"
#include "store/image_record.h"

namespace qv {

using namespace iff_chunks;

namespace {

// The container, the bitmap header of a 24-plane or framestore picture,
// and helpers shared by the writers.
struct IffWriter {
  ChunkSink& out;
  std::uint64_t formSizeAt = 0;

  bool Begin(std::uint32_t type) {
    out.Id("FORM");
    formSizeAt = out.Offset();
    out.U32BE(0);
    return out.U32BE(type);
  }
  bool Header(int width, int height, int planes, bool compress, int xAspect, int yAspect, int pageWidth,
              int pageHeight) {
    out.Id("BMHD");
    out.U32BE(20);
    out.U16BE(static_cast<std::uint16_t>(width));
    out.U16BE(static_cast<std::uint16_t>(height));
    out.U16BE(0);
    out.U16BE(0);
    out.U8(static_cast<std::uint8_t>(planes));
    out.U8(0);
    out.U8(compress ? 1 : 0);
    out.U8(0);
    out.U16BE(0);
    out.U8(static_cast<std::uint8_t>(xAspect));
    out.U8(static_cast<std::uint8_t>(yAspect));
    out.U16BE(static_cast<std::uint16_t>(pageWidth));
    return out.U16BE(static_cast<std::uint16_t>(pageHeight));
  }
  // A chunk's identifier and a size to be completed; returns where the
  // size is.
  std::uint64_t Open(const char (&id)[5]) {
    out.Id(id);
    std::uint64_t at = out.Offset();
    out.U32BE(0);
    return at;
  }
  bool Close(std::uint64_t sizeAt) {
    std::uint64_t size = out.Offset() - sizeAt - 4;
    if (size & 1) out.U8(0);
    return size <= 0xFFFFFFFFu && out.PatchU32BE(sizeAt, static_cast<std::uint32_t>(size));
  }
  bool Text(const char (&id)[5], const char* text) {
    std::uint64_t at = Open(id);
    out.Write(text, std::strlen(text));
    return Close(at);
  }
  bool Finish() {
    std::uint64_t size = out.Offset() - 8;
    return size <= 0xFFFFFFFFu && out.PatchU32BE(formSizeAt, static_cast<std::uint32_t>(size));
  }
};

// The writer's aspect: x from the vertical resolution and y from the
// horizontal one, halved together into a byte each. A resolution whose
// denominator is 0 is taken over 1.
IffAspect AspectOf(const ImageRecord* image) {
  auto ratio = [](int num, int den) { return num / (den ? den : 1); };
  int x = ratio(image->dpiYNum, image->dpiYDen), y = ratio(image->dpiXNum, image->dpiXDen);
  for (int i = 0; i < 20 && (x > 255 || y > 255); ++i) x /= 2, y /= 2;
  return {std::clamp(x, 1, 255), std::clamp(y, 1, 255)};
}

void AppendPlaneRows(const std::uint8_t* rows, int count, std::size_t rowBytes, bool compress,
                     std::vector<std::uint8_t>& out) {
  out.clear();
  if (!compress) {
    out.assign(rows, rows + rowBytes * std::size_t(count));
    return;
  }
  for (int p = 0; p < count; ++p) PackByteRun1({rows + rowBytes * std::size_t(p), rowBytes}, out);
}

struct ImageLock {
  ImageRecord* image;
  bool ok;
  explicit ImageLock(ImageRecord* i) : image(i), ok(LockImage(i) == 0) {}
  ~ImageLock() { UnlockImage(image); }
};

}  // namespace

int EncodeIlbm(ChunkSink& out, ImageRecord* image, bool trim, bool compress, std::string& note) {
  note.clear();
  if (!image) return 1;
  const int width = image->width, height = image->height;
  if (width > kMaxSide || height > kMaxSide) {
    note = "IFF pictures cannot be wider or taller than 65535 pixels.";
    return 1;
  }
  ImageLock lock(image);
  if (!lock.ok) {
    note = "Not enough real memory for IFF image.";
    return 1;
  }
  IffWriter w{out};
  const IffAspect aspect = AspectOf(image);
  w.Begin(trim ? kTrim : kIlbm);
  w.Header(width, height, 24, compress, aspect.x, aspect.y, width, height);
  if (!trim) {
    const std::size_t rowBytes = PlaneRowBytes(width);
    TaggedBuffer planes(static_cast<std::int64_t>(rowBytes * 24), "pplanes");
    if (!planes) {
      note = "Not enough memory for planes.";
      return 1;
    }
    std::uint64_t bodyAt = w.Open("BODY");
    std::vector<std::uint8_t> row;
    row.reserve(rowBytes * 26);
    BeginProgress("Writing IFF", height);
    bool ok = out.Offset() > 0;
    for (int y = 0; y < height && ok; ++y) {
      const std::uint8_t* pixels = PixelAt(image, 0, y);
      for (int ch = 0; ch < 3; ++ch) {
        std::uint8_t* rows[8];
        for (int b = 0; b < 8; ++b) rows[b] = planes.data() + rowBytes * std::size_t(ch * 8 + b);
        ScatterPlanes(pixels + ch, 4, width, rows);
      }
      AppendPlaneRows(planes.data(), 24, rowBytes, compress, row);
      ok = out.Write(row.data(), row.size());
      Progress(y);
    }
    EndProgress();
    if (!ok) {
      note = "Problem writing IFF line.";
      return 1;
    }
    w.Close(bodyAt);
  } else {
    const bool mono = IsGrayPicture(image);
    std::uint64_t at = w.Open(mono ? "MONO" : "RGBT");
    if (EncodeTrim(out, image, mono) == 0) return 1;  // the encoder has told the user
    w.Close(at);
  }
  w.Text("AUTH", std::string(image->author, strnlen(image->author, sizeof image->author)).c_str());
  w.Text("ANNO", image->annotation ? image->annotation : "");
  if (!w.Finish()) {
    note = "Problem writing file";
    return 1;
  }
  return 0;
}

int EncodeToasterFs(ChunkSink& out, ImageRecord* image, bool compress, std::string& note) {
  note.clear();
  if (!image) return 1;
  ImageLock lock(image);
  if (!lock.ok) {
    note = "Not enough real memory for IFF image.";
    return 1;
  }
  constexpr int kWidth = kFramestoreWidth, kHeight = kFramestoreHeight;
  static constexpr std::uint8_t kPltp[32] = {6, 7, 6, 6, 6, 5, 6, 4, 6, 3, 6, 2, 6, 1, 6, 0,
                                             7, 7, 7, 6, 7, 5, 7, 4, 7, 3, 7, 2, 7, 1, 7, 0};
  IffWriter w{out};
  w.Begin(kIlbm);
  w.Header(kWidth, kHeight, 16, compress, 10, 11, (kWidth + 15) / 16 * 16, kHeight);
  out.Id("PLTP");
  out.U32BE(sizeof kPltp);
  out.Write(kPltp, sizeof kPltp);
  std::uint64_t bodyAt = w.Open("BODY");

  const std::size_t rowBytes = PlaneRowBytes(kWidth);
  TaggedBuffer planes(static_cast<std::int64_t>(rowBytes * 16), "pplanes");
  if (!planes) {
    note = "Not enough memory for planes.";
    return 1;
  }
  std::vector<std::uint8_t> sampled(std::size_t{kWidth} * 4), a(kWidth), b(kWidth), row;
  BeginProgress("Saving FS", kHeight, 8);
  bool ok = true;
  for (int y = 0; y < kHeight && ok; ++y) {
    // Nearest pixel; points off the picture are black.
    const int sy = static_cast<int>(std::int64_t{y} * image->height / kHeight);
    for (int x = 0; x < kWidth; ++x) {
      const int sx = static_cast<int>(std::int64_t{x} * image->width / kWidth);
      std::uint8_t* to = &sampled[std::size_t(x) * 4];
      if (sx < image->width && sy < image->height) std::memcpy(to, PixelAt(image, sx, sy), 4);
      else std::memset(to, 0, 4);
    }
    EncodeFramestoreRow(sampled.data(), kWidth, y, a.data(), b.data());
    std::uint8_t* aRows[8];
    std::uint8_t* bRows[8];
    for (int bit = 0; bit < 8; ++bit) {
      // Most significant bit in the first plane of each group.
      aRows[bit] = planes.data() + rowBytes * std::size_t(8 + 7 - bit);
      bRows[bit] = planes.data() + rowBytes * std::size_t(7 - bit);
    }
    ScatterPlanes(a.data(), 1, kWidth, aRows);
    ScatterPlanes(b.data(), 1, kWidth, bRows);
    AppendPlaneRows(planes.data(), 16, rowBytes, compress, row);
    ok = out.Write(row.data(), row.size());
    if (y % 8 == 0) Progress(y);
  }
  EndProgress();
  if (!ok || !w.Close(bodyAt) || !w.Finish()) {
    note = "Problem writing file";
    return 1;
  }
  return 0;
}

namespace {

int Store(ImageRecord* image, const std::string& path, const char* cannotCreate,
          int (*encode)(ChunkSink&, ImageRecord*, bool, bool, std::string&), bool trim, bool compress) {
  FileSink sink;
  if (!sink.Open(path)) {
    ShowNote(cannotCreate);
    return 1;
  }
  std::string note;
  if (encode(sink, image, trim, compress, note) != 0) {
    if (!note.empty()) ShowNote(note);
    return 1;
  }
  if (!sink.Commit()) {
    ShowNote("Problem writing file");
    return 1;
  }
  return 0;
}

int EncodeFsAdapter(ChunkSink& out, ImageRecord* image, bool, bool compress, std::string& note) {
  return EncodeToasterFs(out, image, compress, note);
}

}  // namespace

int WriteIlbm(ImageRecord* image, const std::string& path, bool trim, bool compress) {
  if (!image) return 1;
  return Store(image, path, "Unable to Create file.", EncodeIlbm, trim, compress);
}

int WriteToasterFs(ImageRecord* image, const std::string& path, bool compress) {
  if (!image) return 1;
  return Store(image, path, "Could not create file.", EncodeFsAdapter, false, compress);
}

}  // namespace qv
