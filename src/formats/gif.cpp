// GIF files: little-endian words, LZW codes packed least significant bit
// first into sub-blocks of at most 255 bytes.
#include "formats/gif.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "base/messages.h"
#include "base/progress.h"
#include "formats/bmp.h"
#include "formats/byte_io.h"
#include "formats/file_writing.h"
#include "formats/formats_state.h"
#include "formats/plausible_image.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageIoBuffer = 43;
constexpr int kMessageRealMemory = 27;
constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;
constexpr int kMaxSide = 65535;
// Pixels per byte of LZW data: a code of w bits stands for at most 2^w
// pixels (the table holds fewer entries than that), and 2^w / w is
// largest at the 12-bit limit: 4096 pixels for 1.5 bytes.
constexpr std::int64_t kLzwPixelsPerByte = 2731;

constexpr char kPrematureEnd[] = "Premature end of data in GIF, Part 3";
constexpr char kPrematureEof[] = "Premature EOF in GIF, Part 3";
constexpr char kInvalid[] = "Invalid GIF format";

// The note, with what was refused on a second line (the log gets both).
ImageRecord* Refuse(const char* note, const std::string& detail = {}) {
  ShowNote(note, detail);
  return nullptr;
}

// The bytes of the sub-blocks of one image's data, read as codes.
class CodeReader {
 public:
  enum class End { None, ZeroBlock, Eof };

  explicit CodeReader(ByteReader& in) : in_(in) {}

  // The next code of `width` bits, or -1 when the data ran out (End says how).
  int Next(int width) {
    while (bits_ < width) {
      if (at_ == stop_ && !Refill()) return -1;
      acc_ |= std::uint32_t{*at_++} << bits_;
      bits_ += 8;
    }
    int code = static_cast<int>(acc_ & ((1u << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return code;
  }
  End Ended() const { return end_; }
  // Passes the rest of the data up to and including its zero-length block.
  bool SkipRest() {
    if (end_ != End::None) return end_ == End::ZeroBlock;
    at_ = stop_;
    while (in_.Has(1)) {
      int n = in_.U8();
      if (n == 0) return true;
      if (!in_.Skip(static_cast<std::uint64_t>(n))) return false;
    }
    return false;
  }

 private:
  bool Refill() {
    if (end_ != End::None) return false;
    if (!in_.Has(1)) {
      end_ = End::Eof;
      return false;
    }
    std::size_t n = in_.U8();
    if (n == 0) {
      end_ = End::ZeroBlock;
      return false;
    }
    auto block = in_.Take(std::min(n, in_.Remaining()));
    if (block.size() < n) end_ = End::Eof;  // what there is is still used
    if (block.empty()) return false;
    at_ = block.data();
    stop_ = at_ + block.size();
    return true;
  }

  ByteReader& in_;
  const std::uint8_t* at_ = nullptr;
  const std::uint8_t* stop_ = nullptr;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
  End end_ = End::None;
};

// Where decoded indexes of one image descriptor land: its rows in order,
// or by the four interlace passes, placed at left/top in the picture;
// what falls outside the picture is dropped.
class FrameWriter {
  static constexpr std::uint8_t kBlack[4] = {0, 0, 0, 255};

 public:
  FrameWriter(ImageRecord* image, const FilePalette& pal, int left, int top, int width, int height, bool interlaced)
      : image_(image), pal_(pal), left_(left), top_(top), width_(width), height_(height), interlaced_(interlaced) {}

  bool Complete() const { return pass_ >= 4; }

  void Put(const std::uint16_t* s, int n) {
    while (n > 0 && !Complete()) {
      int take = std::min(n, width_ - x_);
      int py = top_ + row_;
      if (py < image_->height) {
        int from = std::max(x_, -left_), to = std::min(x_ + take, image_->width - left_);
        if (from < to) {
          std::uint8_t* d = PixelAt(image_, left_ + from, py);
          for (int i = from; i < to; ++i, d += 4) {
            // Minimum code sizes above 8 allow indexes past the table: black.
            const std::uint16_t index = s[i - x_];
            std::memcpy(d, index < 256 ? pal_[index].data() : kBlack, 4);
          }
        }
      }
      s += take;
      n -= take;
      x_ += take;
      if (x_ == width_) NextRow();
    }
  }

 private:
  void NextRow() {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    x_ = 0;
    Progress(++rowsDone_);
    if (!interlaced_) {
      if (++row_ >= height_) pass_ = 4;
      return;
    }
    row_ += kStep[pass_];
    while (row_ >= height_ && ++pass_ < 4) row_ = kStart[pass_];
  }

  ImageRecord* image_;
  const FilePalette& pal_;
  int left_, top_, width_, height_;
  bool interlaced_;
  int x_ = 0, row_ = 0, pass_ = 0, rowsDone_ = 0;
};

enum class Decoded { Complete, Short, Corrupt };

// LZW decoding of one image's data into the frame.
Decoded DecodeImage(CodeReader& codes, int minSize, FrameWriter& frame) {
  std::array<std::uint16_t, kMaxCodes> prefix{};
  std::array<std::uint16_t, kMaxCodes> suffix{}, first{}, length{}, string{};
  const int clear = 1 << minSize, end = clear + 1;
  for (int i = 0; i < clear; ++i) {
    suffix[i] = first[i] = static_cast<std::uint16_t>(i);
    length[i] = 1;
  }
  int next = clear + 2, width = minSize + 1, prev = -1;
  while (!frame.Complete()) {
    int code = codes.Next(width);
    if (code < 0) return Decoded::Short;
    if (code == clear) {
      next = clear + 2;
      width = minSize + 1;
      prev = -1;
      continue;
    }
    if (code == end) return frame.Complete() ? Decoded::Complete : Decoded::Short;
    if (prev < 0) {
      if (code > clear) return Decoded::Corrupt;  // nothing is defined yet
    } else if (code > next || (code == next && next >= kMaxCodes)) {
      return Decoded::Corrupt;
    } else if (next < kMaxCodes) {
      prefix[next] = static_cast<std::uint16_t>(prev);
      suffix[next] = code == next ? first[prev] : first[code];
      first[next] = first[prev];
      length[next] = static_cast<std::uint16_t>(length[prev] + 1);
      if (++next == (1 << width) && width < kMaxCodeBits) ++width;
    }
    int n = length[code];
    for (int c = code, i = n - 1; i >= 0; --i) {
      string[i] = suffix[c];
      c = prefix[c];
    }
    frame.Put(string.data(), n);
    prev = code;
  }
  return Decoded::Complete;
}

bool ReadColourTable(ByteReader& in, FilePalette& pal, int entries) {
  for (int i = 0; i < entries; ++i) {
    pal[i][0] = in.U8();
    pal[i][1] = in.U8();
    pal[i][2] = in.U8();
    pal[i][3] = 255;
  }
  return in.Ok();
}

bool SkipSubBlocks(ByteReader& in) {
  while (in.Has(1)) {
    int n = in.U8();
    if (n == 0) return true;
    if (!in.Skip(static_cast<std::uint64_t>(n))) return false;
  }
  return false;
}

}  // namespace

ImageRecord* ReadGif(std::span<const std::uint8_t> file) {
  LogLine("Reading GIF image\n");
  ByteReader in(file);
  if (file.empty() || file[0] != 'G') return Refuse("Not GIF file");
  in.Skip(6);
  const int width = in.U16LE(), height = in.U16LE();
  if (!in.Ok()) return Refuse(kPrematureEof);
  LogLine("Image Width %ld %08lX Height %ld %08lX\n", static_cast<long>(width), static_cast<unsigned long>(width),
          static_cast<long>(height), static_cast<unsigned long>(height));
  ImageLimits limits;
  limits.maxSide = kMaxSide;
  limits.pixelsPerByte = kLzwPixelsPerByte;
  if (std::string why = PlausibleImage(width, height, file.size(), limits); !why.empty()) return Refuse(kInvalid, why);
  const int flags = in.U8();
  in.U8();  // background index: the picture starts blank
  // The aspect byte (GIF89a) may be anything; the pixels do not depend on it.
  const int aspect = in.U8();
  if (aspect) LogLine("Aspect byte: %d\n", aspect);
  if (!in.Ok()) return Refuse(kPrematureEof);

  FilePalette& pal = FileLoads().palette;
  for (auto& e : pal) e = {0, 0, 0, 255};
  if ((flags & 0x80) && !ReadColourTable(in, pal, 2 << (flags & 7))) return Refuse(kPrematureEof);

  ImageRecord* image = CreateImage(width, height, "igif");
  if (!image) return Refuse("Unable to allocate new image");
  if (LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageRealMemory);
    return nullptr;
  }
  BeginProgress("Reading GIF image", height);
  const char* problem = nullptr;
  bool corrupt = false;
  std::string detail;
  int images = 0;
  bool trailer = false;
  while (!problem && in.Has(1)) {
    int block = in.U8();
    if (block == '!') {
      in.U8();
      if (!SkipSubBlocks(in)) problem = kPrematureEof;
      continue;
    }
    if (block != ',') {
      trailer = true;  // ";" ends the file; anything else is taken for it
      break;
    }
    const int left = in.U16LE(), top = in.U16LE(), w = in.U16LE(), h = in.U16LE();
    const int imageFlags = in.U8();
    if ((imageFlags & 0x80) && !ReadColourTable(in, pal, 2 << (imageFlags & 7))) {
      problem = kPrematureEof;
      break;
    }
    const int minSize = in.U8();
    if (!in.Ok()) {
      problem = kPrematureEof;
      break;
    }
    if (minSize < 1 || minSize > kMaxCodeBits - 1) {
      problem = kInvalid;
      corrupt = true;
      detail = "minimum code size " + std::to_string(minSize);
      break;
    }
    if (w == 0 || h == 0) {  // nothing to draw; the data is passed over
      if (!SkipSubBlocks(in)) problem = kPrematureEof;
      continue;
    }
    ++images;
    FrameWriter frame(image, pal, left, top, w, h, (imageFlags & 0x40) != 0);
    CodeReader codes(in);
    switch (DecodeImage(codes, minSize, frame)) {
      case Decoded::Corrupt:
        problem = kInvalid;
        corrupt = true;
        detail = "a code past the next free one";
        break;
      case Decoded::Short: problem = codes.Ended() == CodeReader::End::Eof ? kPrematureEof : kPrematureEnd; break;
      case Decoded::Complete:
        if (!codes.SkipRest()) problem = kPrematureEof;
        break;
    }
  }
  // A file that stops before any image has nothing to show.
  if (!problem && images == 0 && !trailer) problem = kPrematureEof;
  EndProgress();
  if (corrupt) {
    UnlockImage(image);
    FreeImage(image);
    return Refuse(problem, detail);
  }
  // Running out of data leaves what was decoded, as the note says.
  if (problem) ShowNote(problem);
  image->bitDepth = static_cast<std::uint16_t>((flags & 7) + 1);
  std::snprintf(image->format, sizeof image->format, "GIF");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadGifFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowMessage(kMessageIoBuffer);
    return nullptr;
  }
  return ReadGif(bytes);
}

// ---------------------------------------------------------------- writing

namespace {

// Codes packed least significant bit first, in sub-blocks of 254 bytes.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Put(int code, int width) {
    acc_ |= static_cast<std::uint32_t>(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      block_[count_++] = static_cast<std::uint8_t>(acc_);
      acc_ >>= 8;
      bits_ -= 8;
      if (count_ == 254) Flush();
    }
  }
  void Finish() {
    if (bits_ > 0) block_[count_++] = static_cast<std::uint8_t>(acc_);
    acc_ = 0;
    bits_ = 0;
    Flush();
    out_.push_back(0);
  }

 private:
  void Flush() {
    if (count_ == 0) return;
    out_.push_back(static_cast<std::uint8_t>(count_));
    out_.insert(out_.end(), block_, block_ + count_);
    count_ = 0;
  }
  std::vector<std::uint8_t>& out_;
  std::uint32_t acc_ = 0;
  int bits_ = 0;
  std::uint8_t block_[256];
  int count_ = 0;
};

// LZW: the greedy parse of the classic encoder (minimum code size 8, codes
// up to 12 bits, a clear code once 4096 codes are defined). The strings are
// found in a table indexed by prefix and next byte, a direct look-up where
// the classic encoder hashes into 5003 slots; the codes written are the
// same. A clear empties only the entries that were defined.
void Compress(const std::vector<std::uint8_t>& indexes, int width, int height, std::vector<std::uint8_t>& out) {
  constexpr int kMinSize = 8;
  constexpr int kClear = 1 << kMinSize, kEnd = kClear + 1;
  out.push_back(kMinSize);
  CodeWriter w(out);
  std::vector<std::uint16_t> child(std::size_t{kMaxCodes} << 8, 0);  // 0: no such string
  std::vector<std::uint32_t> defined(kMaxCodes);                     // the entry each code filled
  int bits = kMinSize + 1, maxCode = (1 << bits) - 1, next = kClear + 2;
  bool clearing = false;
  auto output = [&](int code) {
    w.Put(code, bits);
    // The decoder defines each code one code later than the encoder, so the
    // width grows after the code that follows the definition.
    if (clearing) {
      bits = kMinSize + 1;
      maxCode = (1 << bits) - 1;
      clearing = false;
    } else if (next > maxCode && bits < kMaxCodeBits) {
      ++bits;
      maxCode = bits == kMaxCodeBits ? kMaxCodes : (1 << bits) - 1;
    }
  };
  output(kClear);
  std::uint32_t prefix = indexes[0];
  for (int y = 0; y < height; ++y) {
    Progress(y);
    const std::uint8_t* row = indexes.data() + static_cast<std::size_t>(y) * width;
    for (int x = y == 0 ? 1 : 0; x < width; ++x) {
      const std::uint32_t c = row[x];
      const std::uint32_t slot = (prefix << 8) | c;
      if (const std::uint16_t code = child[slot]; code != 0) {
        prefix = code;
        continue;
      }
      output(static_cast<int>(prefix));
      prefix = c;
      if (next < kMaxCodes) {
        child[slot] = static_cast<std::uint16_t>(next);
        defined[next++] = slot;
      } else {
        for (int k = kClear + 2; k < kMaxCodes; ++k) child[defined[k]] = 0;
        next = kClear + 2;
        clearing = true;
        output(kClear);
      }
    }
  }
  output(static_cast<int>(prefix));
  output(kEnd);
  w.Finish();
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const IndexedImage& image) {
  if (image.width < 1 || image.height < 1 || image.width > kMaxSide || image.height > kMaxSide ||
      image.indexes.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
    return {};
  std::vector<std::uint8_t> out;
  out.reserve(800 + image.indexes.size() / 2);
  ByteWriter head;
  head.Bytes("GIF87a", 6);
  head.U16LE(static_cast<std::uint16_t>(image.width));
  head.U16LE(static_cast<std::uint16_t>(image.height));
  head.U8(0xF7);
  head.U8(0);
  head.U8(0);
  for (int i = 0; i < 256; ++i) {
    const auto& e = image.palette[i];
    head.Bytes(e.data(), 3);
    LogLine(" Saved at %3d RR= %3d GG= %3d BB= %3d\n", i, e[0], e[1], e[2]);
  }
  head.U8(',');
  head.U16LE(0);
  head.U16LE(0);
  head.U16LE(static_cast<std::uint16_t>(image.width));
  head.U16LE(static_cast<std::uint16_t>(image.height));
  head.U8(0);
  out = head.Data();
  BeginProgress("Saving GIF", image.height);
  Compress(image.indexes, image.width, image.height, out);
  EndProgress();
  out.push_back(';');
  return out;
}

int WriteGif(ImageRecord* image, const std::string& path) {
  if (!image) return 1;
  LogLine("\n About to save to GIF format: %s\n", path.c_str());
  if (TooLargeFor(image, "GIF", kMaxSide)) return 1;
  IndexedImage reduced;
  if (ReduceImageForSave(image, 1, reduced) != 0) return 1;
  std::vector<std::uint8_t> file = EncodeGif(reduced);
  if (file.empty()) return 1;
  return StoreImageBytes(file, path, [&] { ShowNote("Unable to open output file.", path); });
}

}  // namespace qv
