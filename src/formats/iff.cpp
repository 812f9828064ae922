// IFF pictures. A FORM (or the first FORM inside a LIST or CAT) of type
// ILBM, PBM or TRIM holds chunks: BMHD (size, planes, packing, aspect),
// CMAP, CAMG (display modes), ANNO, AUTH, "DPI ", PLTP (Toaster
// framestore), then the picture as BODY (bit planes, or chunky bytes in a
// PBM) or as one RGBT/MONO chunk of TRIM data.
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
namespace {

using namespace iff_chunks;

constexpr std::uint32_t kCamgLace = 0x4, kCamgHalfBrite = 0x80, kCamgHam = 0x800;
constexpr int kMaskPlane = 1;
constexpr int kMaxNesting = 8;
constexpr int kAuthorChars = 40;
constexpr std::size_t kMaxAnnotationBytes = std::size_t{1} << 20;
// Packed data cannot describe more than this many times its own size
// (ByteRun1 gives at most 128 bytes for 2), nor TRIM data more than this
// many pixels per byte (a 256-pixel block takes at least 2 bytes); a header
// that claims more is refused before anything is allocated for it.
constexpr std::uint64_t kMaxBodyExpansion = 64;
constexpr std::uint64_t kMaxTrimPixelsPerByte = 128;
constexpr std::uint64_t kFreeBytes = std::uint64_t{1} << 20;

// The control-row signature of the ZPVE display device.
constexpr std::uint8_t kZpveSignature[15] = {0x0A, 0x02, 0x0F, 0x05, 0x08, 0x04, 0x0D, 0x0C,
                                             0x06, 0x0D, 0x0B, 0x00, 0x07, 0x0F, 0x01};

std::string IdText(std::uint32_t id) {
  std::string s;
  for (int i = 3; i >= 0; --i) {
    char c = static_cast<char>(id >> (8 * i));
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

struct Chunk {
  std::uint32_t id = 0;
  std::uint32_t declared = 0;  // the size the chunk header gives
  std::span<const std::uint8_t> data;  // what of it the file holds
};

struct PictureForm {
  std::uint32_t type = 0;
  std::vector<Chunk> chunks;
};

// The chunks between begin and end; a chunk running past the end is cut
// short there.
std::vector<Chunk> ChunksOf(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end) {
  std::vector<Chunk> chunks;
  ByteReader in(file);
  std::size_t at = begin;
  while (at + 8 <= end) {
    in.Seek(at);
    Chunk c;
    c.id = in.U32BE();
    c.declared = in.U32BE();
    std::size_t data = at + 8;
    std::size_t have = std::min<std::uint64_t>(c.declared, end - data);
    c.data = file.subspan(data, have);
    chunks.push_back(c);
    at = data + std::uint64_t{c.declared} + (c.declared & 1);
    if (at > end) break;
  }
  return chunks;
}

// The picture FORM: the file's own, or the first FORM nested in a LIST or
// CAT. Null (no note yet) when there is none.
std::optional<PictureForm> FindForm(std::span<const std::uint8_t> file, std::size_t at, std::size_t end, int depth) {
  if (at + 12 > end || depth > kMaxNesting) return std::nullopt;
  ByteReader in(file);
  in.Seek(at);
  std::uint32_t id = in.U32BE();
  std::uint32_t size = in.U32BE();
  std::uint32_t type = in.U32BE();
  std::size_t stop = std::min<std::uint64_t>(end, std::uint64_t{at} + 8 + size);
  if (id == kForm) return PictureForm{type, ChunksOf(file, at + 12, stop)};
  if (id != kList && id != kCat) return std::nullopt;
  for (const Chunk& c : ChunksOf(file, at + 12, stop)) {
    if (c.id != kForm && c.id != kList && c.id != kCat) continue;
    std::size_t offset = static_cast<std::size_t>(c.data.data() - file.data()) - 8;
    return FindForm(file, offset, offset + 8 + c.data.size(), depth + 1);
  }
  return std::nullopt;
}

struct Header {
  int width = 0, height = 0, left = 0, top = 0;
  int planes = 0, masking = 0, compression = 0, pad = 0, transparent = 0;
  int xAspect = 0, yAspect = 0, pageWidth = 0, pageHeight = 0;
};

using Colour = std::array<std::uint8_t, 4>;

// The state of the ZPVE display device while a picture is read.
struct Zpve {
  bool on = false;
  bool ham = false;
  bool seen = false;
  int bank = 0;
  std::array<Colour, 256> palette{};
};

class IffReader {
 public:
  explicit IffReader(const PictureForm& form) : form_(form), pbm_(form.type == kPbm) {}
  ~IffReader() {
    if (image_) {
      if (progress_) EndProgress();
      UnlockImage(image_);
      FreeImage(image_);
    }
  }

  ImageRecord* Read();

 private:
  bool TakeHeader(const Chunk& c);
  void TakeColourMap(const Chunk& c);
  void TakeModes(const Chunk& c);
  bool TakeTrim(const Chunk& c);
  bool TakeBody(const Chunk& c);
  bool Plausible() const;
  void PaletteRow(const std::uint8_t* index, std::uint8_t* out);
  void HamRow(const std::uint8_t* index, std::uint8_t* out, bool ham8) const;

  const PictureForm& form_;
  const bool pbm_;
  bool haveHeader_ = false;
  Header h_;
  ImageRecord* image_ = nullptr;
  bool progress_ = false;
  std::optional<TaggedBuffer> planes_;
  std::array<Colour, 256> colours_{};
  int colourCount_ = 0;
  bool camgSeen_ = false;
  std::uint32_t camg_ = 0;
  bool framestore_ = false;
  bool decoded_ = false;
  bool decodedFramestore_ = false;
  int dpiX_ = 0, dpiY_ = 0;
  std::string author_, annotation_;
  bool haveAuthor_ = false, haveAnnotation_ = false;
  Zpve zpve_;
};

ImageRecord* Refuse(const std::string& note, const std::string& second = {}) {
  ShowNote(note, second);
  return nullptr;
}

bool IffReader::Plausible() const {
  const std::uint64_t pixels = std::uint64_t(h_.width) * std::uint64_t(h_.height);
  for (const Chunk& c : form_.chunks) {
    if (c.id == kBody) {
      std::uint64_t row = pbm_ ? (std::uint64_t(h_.width) + 1) / 2 * 2
                               : PlaneRowBytes(h_.width) * std::uint64_t(h_.planes + (h_.masking == kMaskPlane));
      return row * std::uint64_t(h_.height) <= std::max(kFreeBytes, c.data.size() * kMaxBodyExpansion);
    }
    if (c.id == kRgbt || c.id == kMono)
      return pixels * (c.id == kRgbt ? 3 : 1) <= std::max(kFreeBytes, c.data.size() * kMaxTrimPixelsPerByte);
  }
  return false;
}

bool IffReader::TakeHeader(const Chunk& c) {
  LogLine("This is a bitmap header.\n");
  LogLine("BMHD size: %ld , Chunk size = %ld\n", 20L, static_cast<long>(c.declared));
  if (c.data.size() < 20) return Refuse("IFF bitmap header is truncated."), false;
  ByteReader in(c.data);
  h_.width = in.U16BE();
  h_.height = in.U16BE();
  h_.left = static_cast<std::int16_t>(in.U16BE());
  h_.top = static_cast<std::int16_t>(in.U16BE());
  h_.planes = in.U8();
  h_.masking = in.U8();
  h_.compression = in.U8();
  h_.pad = in.U8();
  h_.transparent = in.U16BE();
  h_.xAspect = in.U8();
  h_.yAspect = in.U8();
  h_.pageWidth = static_cast<std::int16_t>(in.U16BE());
  h_.pageHeight = static_cast<std::int16_t>(in.U16BE());
  LogLine("Width: %d  Height: %d  Left: %d  Top: %d\n", h_.width, h_.height, h_.left, h_.top);
  LogLine("Planes: %d  Masking: %d  Compression: %d  Transparent: %d\n", h_.planes, h_.masking, h_.compression,
          h_.transparent);
  LogLine("Aspect: %d : %d  Page: %d x %d\n", h_.xAspect, h_.yAspect, h_.pageWidth, h_.pageHeight);
  IffAspect used = CorrectedIffAspect(h_.xAspect, h_.yAspect, h_.width, h_.height);
  if (used.x != h_.xAspect || used.y != h_.yAspect) {
    h_.xAspect = used.x;
    h_.yAspect = used.y;
    LogLine("Aspect adjusted to : %d / %d\n", used.x, used.y);
  }
  haveHeader_ = true;

  if (h_.width < 1 || h_.height < 1 || h_.planes < 1) return Refuse("IFF bitmap header looks corrupted."), false;
  if (pbm_ && h_.planes > 8) return Refuse("IFF chunky pictures of more than 8 planes cannot be read."), false;
  if (!Plausible()) {
    bool any = std::any_of(form_.chunks.begin(), form_.chunks.end(),
                           [](const Chunk& k) { return k.id == kBody || k.id == kRgbt || k.id == kMono; });
    if (!any) return Refuse("IFF file has no picture data."), false;
    char detail[96];
    std::snprintf(detail, sizeof detail, "%d x %d pixels, %d planes", h_.width, h_.height, h_.planes);
    return Refuse("IFF picture is larger than the data in the file.", detail), false;
  }

  const std::int64_t rowBytes = pbm_ ? (h_.width + 1) / 2 * 2 : static_cast<std::int64_t>(PlaneRowBytes(h_.width));
  const int buffers = std::max(h_.planes, 8) + 1;  // and the mask plane, which is skipped
  planes_.emplace(rowBytes * buffers, "pplanes");
  if (!*planes_) return Refuse("Not enough memory for planes."), false;
  image_ = CreateImage(h_.width, h_.height, "iiff");
  if (!image_) return Refuse("Not enough memory for IFF image."), false;
  if (LockImage(image_) != 0) return Refuse("Not enough real memory for IFF image."), false;
  if (h_.xAspect && h_.yAspect) {
    dpiX_ = h_.yAspect;
    dpiY_ = h_.xAspect;
    if (dpiX_ < 10 && dpiY_ < 10) dpiX_ *= 100, dpiY_ *= 100;
  }
  std::snprintf(image_->format, sizeof image_->format, "IFF/ILBM");
  image_->bitDepth = static_cast<std::uint16_t>(h_.planes);
  image_->fileType = kFileIff;
  for (int i = 0; i < 256; ++i) colours_[i] = {image_->red[i], image_->green[i], image_->blue[i], 255};
  BeginProgress("Reading IFF", h_.height);
  progress_ = true;
  return true;
}

void IffReader::TakeColourMap(const Chunk& c) {
  const int count = static_cast<int>(c.declared / 3);
  LogLine("CMAP size: %ld , Colors = %d , Chunk size = %ld\n", static_cast<long>(c.data.size()), count,
          static_cast<long>(c.declared + (c.declared & 1)));
  if (!image_) return;
  bool ham = (count == 16 && h_.planes == 6) || (count == 64 && h_.planes == 8);
  LogLine("HAM image: %s\n", ham ? "Yes" : "No");
  if (h_.planes > 8) return;
  colourCount_ = std::min<int>(static_cast<int>(c.data.size() / 3), 256);
  for (int i = 0; i < colourCount_; ++i) {
    colours_[i] = {c.data[3 * i], c.data[3 * i + 1], c.data[3 * i + 2], 255};
    image_->red[i] = c.data[3 * i];
    image_->green[i] = c.data[3 * i + 1];
    image_->blue[i] = c.data[3 * i + 2];
  }
}

void IffReader::TakeModes(const Chunk& c) {
  if (c.data.size() < 4) return;
  camg_ = ByteReader(c.data).U32BE();
  camgSeen_ = true;
  auto yes = [](bool b) { return b ? "Yes" : "No"; };
  LogLine("CAMG file type %08lX\n", static_cast<unsigned long>(camg_));
  LogLine("CAMG = Lace: %s  Ham: %s  HBrite: %s\n", yes(camg_ & kCamgLace), yes(camg_ & kCamgHam),
          yes(camg_ & kCamgHalfBrite));
}

bool IffReader::TakeTrim(const Chunk& c) {
  LogLine("This is the RGBT image.\n");
  if (!image_ || decoded_) return true;
  if (DecodeTrim(image_, c.data, c.id == kMono) != 0) return false;
  decoded_ = true;
  return true;
}

void IffReader::HamRow(const std::uint8_t* index, std::uint8_t* out, bool ham8) const {
  Colour cur = colours_[0];
  for (int x = 0; x < h_.width; ++x, out += 4) {
    const int v = ham8 ? index[x] & 63 : index[x] & 15;
    const int control = ham8 ? index[x] >> 6 : (index[x] >> 4) & 3;
    const std::uint8_t scaled = static_cast<std::uint8_t>(ham8 ? v * 4 + v / 16 : v * 17);
    switch (control) {
      case 0: cur = colours_[v]; break;
      case 1: cur[2] = scaled; break;
      case 2: cur[0] = scaled; break;
      default: cur[1] = scaled; break;
    }
    out[0] = cur[0], out[1] = cur[1], out[2] = cur[2];
  }
}

// A palette row, or a row of the ZPVE display device.
void IffReader::PaletteRow(const std::uint8_t* index, std::uint8_t* out) {
  const int width = h_.width;
  Zpve& z = zpve_;
  if (width >= 15 && std::memcmp(index, kZpveSignature, sizeof kZpveSignature) == 0) {
    z.ham = width > 15 && index[15] == 8;
    if (z.ham) z.bank = 0;
    else if (z.seen) ++z.bank;
    z.seen = true;
    LogLine("ZPVE %s cookie found\n", z.ham ? "HAM" : "REG");
    const int limit = std::min(width, z.ham ? 376 : 400);
    for (int p = 17; p < limit; p += 2) {
      const int entry = (p - 17) / 6 + 64 * z.bank;
      if (entry < 256)
        z.palette[entry][((p - 17) % 6) / 2] = static_cast<std::uint8_t>(((index[p - 1] & 15) << 4) | (index[p] & 15));
    }
    for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, z.palette[0].data(), 3);
    z.on = true;
    return;
  }
  if (z.on && std::all_of(index, index + width, [](std::uint8_t v) { return v == 0; })) z.on = false;
  if (!z.on) {
    for (int x = 0; x < width; ++x) std::memcpy(out + 4 * x, colours_[index[x]].data(), 4);
    return;
  }
  Colour cur = z.palette[0], previous{};
  bool first = true;
  for (int x = 0; x + 1 < width; x += 2) {
    const int code = ((index[x] & 15) << 4) | (index[x + 1] & 15);
    if (!z.ham) {
      cur = z.palette[code];
    } else {
      const int v = code & 63;
      const std::uint8_t scaled = static_cast<std::uint8_t>(v * 4 + v / 16);
      switch (code >> 6) {
        case 0: cur = z.palette[v]; break;
        case 1: cur[2] = scaled; break;
        case 2: cur[0] = scaled; break;
        default: cur[1] = scaled; break;
      }
    }
    std::memcpy(out + 4 * (x + 1), cur.data(), 3);
    for (int k = 0; k < 3; ++k)
      out[4 * x + k] = first ? cur[k] : static_cast<std::uint8_t>((previous[k] + cur[k]) / 2);
    previous = cur;
    first = false;
  }
  if (width & 1) std::memcpy(out + 4 * (width - 1), (first ? cur : previous).data(), 3);
}

bool IffReader::TakeBody(const Chunk& c) {
  LogLine("BODY size: %ld , Chunk size = %ld\n", static_cast<long>(c.data.size()), static_cast<long>(c.declared));
  if (!image_ || decoded_) return true;
  if (h_.compression > 1) {
    char detail[48];
    std::snprintf(detail, sizeof detail, "Compression: %d", h_.compression);
    return Refuse("IFF picture packing cannot be read.", detail), false;
  }
  const int width = h_.width, height = h_.height;
  const bool deep = !pbm_ && h_.planes > 8 && !(framestore_ && h_.planes == 16);
  const bool framestore = !pbm_ && framestore_ && h_.planes == 16;
  // Extra half brite: the second 32 colours are the first 32 at half
  // brightness, whatever the map held and whichever chunk came first.
  if (camgSeen_ && (camg_ & kCamgHalfBrite) && !deep && !framestore) {
    for (int i = 0; i < 32; ++i) {
      Colour half = {static_cast<std::uint8_t>(colours_[i][0] / 2), static_cast<std::uint8_t>(colours_[i][1] / 2),
                     static_cast<std::uint8_t>(colours_[i][2] / 2), 255};
      colours_[32 + i] = half;
      image_->red[32 + i] = half[0], image_->green[32 + i] = half[1], image_->blue[32 + i] = half[2];
    }
  }
  // A CAMG chunk says whether the picture is HAM; without one, the usual
  // colour counts of HAM6 and HAM8 do.
  const bool ham = !pbm_ && !deep && !framestore &&
                   (camgSeen_ ? (camg_ & kCamgHam) != 0
                              : (colourCount_ == 16 && h_.planes == 6) || (colourCount_ == 64 && h_.planes == 8));
  const bool ham8 = h_.planes >= 7;

  TaggedBuffer work(std::int64_t{width} * 4 + 16, "iffw");
  if (!work) return Refuse("Not enough memory in IFF read (2)"), false;
  const std::size_t rowBytes = pbm_ ? std::size_t(width + 1) / 2 * 2 : PlaneRowBytes(width);
  const int filePlanes = pbm_ ? 1 : h_.planes + (h_.masking == kMaskPlane ? 1 : 0);
  std::uint8_t* planes = planes_->data();
  auto plane = [&](int p) { return planes + rowBytes * std::size_t(p); };
  const int buffers = std::max(h_.planes, 8) + 1;
  // The rows of planes beyond those the file has stay 0.
  std::memset(planes, 0, rowBytes * std::size_t(buffers));
  ByteRun1Reader packed(c.data);
  std::size_t plain = 0;
  auto readRow = [&](std::uint8_t* to) {
    if (h_.compression == 1) return packed.Unpack({to, rowBytes});
    if (c.data.size() - plain < rowBytes) return false;
    std::memcpy(to, c.data.data() + plain, rowBytes);
    plain += rowBytes;
    return true;
  };

  std::uint8_t* index = work.data();
  // Deep pictures: RGB, or RGBA at 32 and 64 planes; k planes a channel.
  const int channels = (h_.planes == 32 || h_.planes == 64) ? 4 : 3;
  const int k = h_.planes / channels;
  for (int y = 0; y < height; ++y) {
    bool whole = true;
    for (int p = 0; p < filePlanes && whole; ++p) {
      // The mask plane of a masked picture is read past, not shown.
      std::uint8_t* to = p < h_.planes || pbm_ ? plane(pbm_ ? 0 : p) : plane(buffers - 1);
      whole = readRow(to);
    }
    if (!whole) break;
    std::uint8_t* out = PixelAt(image_, 0, y);
    if (pbm_) {
      PaletteRow(plane(0), out);
    } else if (framestore) {
      const std::uint8_t* aPlanes[8];
      const std::uint8_t* bPlanes[8];
      for (int b = 0; b < 8; ++b) aPlanes[b] = plane(8 + 7 - b), bPlanes[b] = plane(7 - b);
      std::uint8_t* a = index;
      std::uint8_t* bs = index + width;
      GatherPlanes(aPlanes, width, a);
      GatherPlanes(bPlanes, width, bs);
      DecodeFramestoreRow(a, bs, width, y, out);
    } else if (deep) {
      for (int ch = 0; ch < channels; ++ch) {
        const std::uint8_t* src[8];
        // Bit b of a channel comes from its plane b + k - 8, wrapped into
        // the channel's k planes, so short channels repeat their top bits.
        for (int b = 0; b < 8; ++b) src[b] = plane(ch * k + (((b + k - 8) % k) + k) % k);
        GatherPlanes(src, width, index);
        for (int x = 0; x < width; ++x) out[4 * x + ch] = index[x];
      }
    } else {
      const std::uint8_t* src[8] = {};
      for (int b = 0; b < std::min(h_.planes, 8); ++b) src[b] = plane(b);
      GatherPlanes(src, width, index);
      if (ham) HamRow(index, out, ham8);
      else PaletteRow(index, out);
    }
    Progress(y);
  }
  if (deep && channels == 4) image_->hasAlpha = 1;
  decoded_ = true;
  decodedFramestore_ = framestore;
  return true;
}

ImageRecord* IffReader::Read() {
  LogLine(form_.type == kTrim ? "This is a TRIM format header\n" : "This is an Inter-Leaved Bit Map\n");
  for (const Chunk& c : form_.chunks) {
    LogLine("Chunk : %s\n", IdText(c.id).c_str());
    if (c.id == kBmhd) {
      if (!haveHeader_ && !TakeHeader(c)) return nullptr;
    } else if (c.id == kCmap) {
      TakeColourMap(c);
    } else if (c.id == kCamg) {
      TakeModes(c);
    } else if (c.id == kAnno) {
      annotation_.assign(c.data.begin(), c.data.end());
      annotation_ = annotation_.c_str();  // up to a NUL the writer may have put in
      haveAnnotation_ = true;
      LogLine("Annotation:\n");
      LogLine("%s\n", annotation_.c_str());
    } else if (c.id == kAuth) {
      author_.assign(c.data.begin(), c.data.begin() + std::min<std::size_t>(c.data.size(), kAuthorChars));
      author_ = author_.c_str();
      haveAuthor_ = true;
      LogLine("Author: %s\n", author_.c_str());
    } else if (c.id == kDpi) {
      if (c.data.size() >= 4) {
        ByteReader in(c.data);
        int x = in.U16BE(), y = in.U16BE();
        if (x >= 1) dpiX_ = x;
        if (y >= 1) dpiY_ = y;
      }
    } else if (c.id == kPltp) {
      framestore_ = true;
      LogLine("This is a TOASTER Framestore.\n");
    } else if (c.id == kRgbt || c.id == kMono) {
      if (!TakeTrim(c)) return nullptr;
    } else if (c.id == kBody) {
      if (!TakeBody(c)) return nullptr;
    }
  }
  if (!haveHeader_) return Refuse("IFF file has no bitmap header.");
  if (!decoded_) return Refuse("IFF file has no picture data.");

  if (dpiX_ > 0) image_->dpiXNum = dpiX_, image_->dpiXDen = 1;
  if (dpiY_ > 0) image_->dpiYNum = dpiY_, image_->dpiYDen = 1;
  if (haveAuthor_) std::snprintf(image_->author, sizeof image_->author, "%s", author_.c_str());
  if (haveAnnotation_ && !annotation_.empty()) {
    const int bytes = static_cast<int>(std::min<std::size_t>(annotation_.size() + 1, kMaxAnnotationBytes));
    if (EnsureAnnotation(image_, bytes) == 0) std::snprintf(image_->annotation, bytes, "%s", annotation_.c_str());
  }
  if (decodedFramestore_) std::snprintf(image_->format, sizeof image_->format, "Toaster FS");
  EndProgress();
  progress_ = false;
  UnlockImage(image_);
  ImageRecord* done = image_;
  image_ = nullptr;
  return done;
}

}  // namespace

IffAspect CorrectedIffAspect(int x, int y, int width, int height) {
  const bool square = (x == 10 && y == 11) || (x == 1 && y == 1);
  const bool wide = width >= 640 && width <= 768;
  const bool tall = height >= 392 && height <= 482;
  if (square && width >= 320 && width <= 392 && tall) return {88, 52};
  if (square && wide && height >= 192 && height <= 200) return {44, 104};
  if (wide && tall && (square || (x == 88 && y == 52) || (x == 20 && y == 11))) return {44, 52};
  return {x, y};
}

ImageRecord* ReadIff(std::span<const std::uint8_t> file) {
  if (file.size() < 12) return Refuse("File is not an IFF picture.");
  auto form = FindForm(file, 0, file.size(), 0);
  if (!form) return Refuse("File is not an IFF picture.");
  if (form->type != kIlbm && form->type != kPbm && form->type != kTrim)
    return Refuse("IFF file is not an ILBM, PBM or TRIM picture.", "Form type: " + IdText(form->type));
  IffReader reader(*form);
  return reader.Read();
}

ImageRecord* ReadIffFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) return Refuse("Not enough memory in IFF read (1)");
  return ReadIff(bytes);
}

}  // namespace qv
