// AVI files through a RIFF reader and writer of our own.
#include "anim/avi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "base/progress.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "display/colour_reduce.h"
#include "formats/bmp.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr int kMessageWrongSize = 51;
constexpr int kMessageNotSequence = 57;
constexpr int kMessageCannotWrite = 73;
constexpr int kMessageNoVideo = 98;
constexpr int kMessageNoCodec = 99;
constexpr std::uint32_t kMainHeaderBytes = 56;
constexpr std::uint32_t kStreamHeaderBytes = 56;
constexpr std::uint32_t kInfoBytes = 40;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutId(std::vector<std::uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

std::uint32_t RowBytes(int bits, int width) {
  return static_cast<std::uint32_t>(((std::uint64_t(bits) * std::uint64_t(width) + 31) / 32) * 4);
}

// ---------------------------------------------------------------- writer

bool WriteAt(std::FILE* f, std::uint64_t at, std::span<const std::uint8_t> bytes) {
  return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 &&
         std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

// The packed DIB's bits and, for the first frame, the format block.
bool BuildFrame(ImageRecord* image, AviWriter& w, bool first, std::vector<std::uint8_t>& bits) {
  const int width = image->width, height = image->height;
  const std::uint32_t row = RowBytes(w.bits, width);
  bits.assign(static_cast<std::size_t>(row) * height, 0);
  if (w.bits == 8) {
    std::uint8_t r[256]{}, g[256]{}, b[256]{};
    ReducedImage reduced;
    const ColourReduceState& s = ReduceState();
    if (first) {
      reduced = ReduceFrame(image, r, g, b, kReduce256Colours, true);
    } else {
      // One palette serves the whole stream: later frames are mapped to it.
      for (int i = 0; i < 256; ++i) {
        r[i] = w.palette[3 * i];
        g[i] = w.palette[3 * i + 1];
        b[i] = w.palette[3 * i + 2];
      }
      reduced = ReduceColours(image, r, g, b, kReduce256Colours, kPaletteGiven, s.ordered != 0, true, s.ditherAmount,
                              256);
    }
    if (!reduced || reduced.bitsPerPixel() != 8) return false;
    for (int y = 0; y < height; ++y)
      std::copy_n(reduced.Row(y), width, bits.begin() + static_cast<std::ptrdiff_t>(height - 1 - y) * row);
    if (first)
      for (int i = 0; i < 256; ++i) {
        w.palette[3 * i] = r[i];
        w.palette[3 * i + 1] = g[i];
        w.palette[3 * i + 2] = b[i];
      }
  } else {
    if (LockImage(image) != 0) return false;
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* p = PixelAt(image, 0, y);
      std::uint8_t* d = bits.data() + static_cast<std::size_t>(height - 1 - y) * row;
      for (int x = 0; x < width; ++x, p += 4, d += 3) {
        d[0] = p[2];
        d[1] = p[1];
        d[2] = p[0];
      }
    }
    UnlockImage(image);
  }
  if (first) {
    std::vector<std::uint8_t>& f = w.format;
    f.clear();
    Put32(f, kInfoBytes);
    Put32(f, static_cast<std::uint32_t>(width));
    Put32(f, static_cast<std::uint32_t>(height));
    Put16(f, 1);
    Put16(f, static_cast<std::uint32_t>(w.bits));
    Put32(f, 0);
    Put32(f, static_cast<std::uint32_t>(bits.size()));
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, w.bits == 8 ? 256 : 0);
    Put32(f, 0);
    if (w.bits == 8)
      for (int i = 0; i < 256; ++i) {
        f.push_back(w.palette[3 * i + 2]);
        f.push_back(w.palette[3 * i + 1]);
        f.push_back(w.palette[3 * i]);
        f.push_back(0);
      }
  }
  return true;
}

std::vector<std::uint8_t> Headers(const AviWriter& w) {
  const std::uint32_t scale = static_cast<std::uint32_t>(std::max<long>(1, w.millis)) * 1000u;
  const std::uint32_t rate = 1000000;
  std::vector<std::uint8_t> strl;
  PutId(strl, "strh");
  Put32(strl, kStreamHeaderBytes);
  PutId(strl, "vids");
  Put32(strl, 0);  // handler
  Put32(strl, 0);  // flags
  Put32(strl, 0);  // priority, language
  Put32(strl, 0);  // initial frames
  Put32(strl, scale);
  Put32(strl, rate);
  Put32(strl, 0);  // start
  Put32(strl, w.frames);
  Put32(strl, w.imageBytes);
  Put32(strl, 0xFFFFFFFFu);  // quality: the codec's default
  Put32(strl, 0);  // sample size
  Put16(strl, 0);
  Put16(strl, 0);
  Put16(strl, static_cast<std::uint32_t>(w.width));
  Put16(strl, static_cast<std::uint32_t>(w.height));
  PutId(strl, "strf");
  Put32(strl, static_cast<std::uint32_t>(w.format.size()));
  strl.insert(strl.end(), w.format.begin(), w.format.end());

  std::vector<std::uint8_t> hdrl;
  PutId(hdrl, "avih");
  Put32(hdrl, kMainHeaderBytes);
  Put32(hdrl, scale);  // microseconds per frame
  Put32(hdrl, 0);
  Put32(hdrl, 0);
  Put32(hdrl, kAviHasIndex);
  Put32(hdrl, w.frames);
  Put32(hdrl, 0);
  Put32(hdrl, 1);
  Put32(hdrl, 0);
  Put32(hdrl, static_cast<std::uint32_t>(w.width));
  Put32(hdrl, static_cast<std::uint32_t>(w.height));
  hdrl.insert(hdrl.end(), 16, 0);
  PutId(hdrl, "LIST");
  Put32(hdrl, static_cast<std::uint32_t>(strl.size() + 4));
  PutId(hdrl, "strl");
  hdrl.insert(hdrl.end(), strl.begin(), strl.end());

  std::vector<std::uint8_t> out;
  PutId(out, "RIFF");
  Put32(out, 0);  // set at Close
  PutId(out, "AVI ");
  PutId(out, "LIST");
  Put32(out, static_cast<std::uint32_t>(hdrl.size() + 4));
  PutId(out, "hdrl");
  out.insert(out.end(), hdrl.begin(), hdrl.end());
  // JUNK up to the movi list, which starts 12 bytes before the first frame.
  const std::uint32_t moviAt = w.dataStart - 12;
  PutId(out, "JUNK");
  Put32(out, static_cast<std::uint32_t>(moviAt - out.size() - 4));
  out.resize(moviAt, 0);
  PutId(out, "LIST");
  Put32(out, static_cast<std::uint32_t>(w.end - moviAt - 8));
  PutId(out, "movi");
  return out;
}

void Abandon(AviWriter& w) {
  w.file.reset();
  if (!w.tempPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(w.tempPath, ec);
  }
  const std::uint64_t limit = w.limit;
  w = AviWriter{};
  w.limit = limit;
}

bool Create(AviWriter& w) {
  namespace fs = std::filesystem;
  const fs::path target(w.path);
  w.tempPath = (target.parent_path() / (".partial-" + std::to_string(static_cast<long>(getpid())) + "-" +
                                        target.filename().string()))
                   .string();
  w.file.reset(std::fopen(w.tempPath.c_str(), "w+b"));
  if (!w.file) return false;
  // Room for the headers of the one stream: its format and 512 bytes.
  w.dataStart = static_cast<std::uint32_t>(std::max<std::size_t>(4096, w.format.size() + 512));
  w.end = w.dataStart;
  return true;
}

}  // namespace

bool AviOpen() { return Anim().avi.state == 2; }

void ArmAvi(const std::string& path) {
  AviWriter& w = Anim().avi;
  if (w.state == 2) (void)CloseAvi();
  w.state = 1;
  w.path = path;
  w.millis = Prefs().animMillis;
  w.failed = false;
}

int AddAviFrame(ImageRecord* image, const std::string& path, int bits) {
  AviWriter& w = Anim().avi;
  if (w.state == 0) {
    ShowMessageFile(kMessageNotSequence, path);
    return 1;
  }
  if (!image) {
    ShowMessageFile(74, path);
    return 0;
  }
  if (w.failed) return 1;
  const bool first = w.state == 1;
  if (!first && (image->width != w.width || image->height != w.height)) {
    ShowMessageWith(kMessageWrongSize, path + ": " + std::to_string(image->width) + " x " +
                                           std::to_string(image->height) + " after " + std::to_string(w.width) +
                                           " x " + std::to_string(w.height));
    w.failed = true;
    (void)CloseAvi();
    return 1;
  }
  if (first) {
    w.bits = bits == 8 ? 8 : 24;
    w.width = image->width;
    w.height = image->height;
    w.index.clear();
    w.frames = 0;
  }
  std::vector<std::uint8_t> data;
  if (!BuildFrame(image, w, first, data)) {
    if (first) w.state = 0;
    return 1;
  }
  if (first) {
    if (!Create(w)) {
      ShowMessageFile(kMessageCannotWrite, path);
      Abandon(w);
      return 1;
    }
    w.imageBytes = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), 0xFFFFFFFFu));
    w.state = 2;
  }
  // The RIFF sizes and index offsets are 32-bit: the frame must fit with
  // the index it adds.
  const std::uint64_t chunk = 8 + data.size() + (data.size() & 1);
  const std::uint64_t indexBytes = 8 + 16ull * (w.index.size() + 1);
  if (w.end + chunk + indexBytes > w.limit) {
    ShowMessageWith(kMessageCannotWrite, path + ": the file would pass 4 GB; it ends at frame " +
                                             std::to_string(w.frames));
    w.failed = true;
    (void)CloseAvi();
    return 1;
  }
  std::vector<std::uint8_t> header;
  PutId(header, "00db");
  Put32(header, static_cast<std::uint32_t>(data.size()));
  if (data.size() & 1) data.push_back(0);
  if (!WriteAt(w.file.get(), w.end, header) || std::fwrite(data.data(), 1, data.size(), w.file.get()) != data.size()) {
    ShowMessageFile(kMessageCannotWrite, path);
    w.failed = true;
    (void)CloseAvi();
    return 1;
  }
  if (w.index.size() == w.index.capacity()) w.index.reserve(w.index.size() + 256);
  AviIndexEntry e;
  std::memcpy(e.id, "00db", 4);
  e.flags = kAviKeyFrame;
  e.offset = static_cast<std::uint32_t>(w.end);
  e.size = static_cast<std::uint32_t>(header[4] | header[5] << 8 | header[6] << 16 | std::uint32_t{header[7]} << 24);
  w.index.push_back(e);
  w.end += chunk;
  ++w.frames;
  return 0;
}

int CloseAvi() {
  AviWriter& w = Anim().avi;
  if (w.state != 2 || w.frames == 0) {
    Abandon(w);
    return 0;
  }
  std::vector<std::uint8_t> idx;
  PutId(idx, "idx1");
  Put32(idx, static_cast<std::uint32_t>(16 * w.index.size()));
  for (const AviIndexEntry& e : w.index) {
    idx.insert(idx.end(), e.id, e.id + 4);
    Put32(idx, e.flags);
    Put32(idx, e.offset);
    Put32(idx, e.size);
  }
  std::vector<std::uint8_t> head = Headers(w);
  const std::uint64_t total = w.end + idx.size();
  const std::uint32_t riff = static_cast<std::uint32_t>(total - 8);
  head[4] = static_cast<std::uint8_t>(riff);
  head[5] = static_cast<std::uint8_t>(riff >> 8);
  head[6] = static_cast<std::uint8_t>(riff >> 16);
  head[7] = static_cast<std::uint8_t>(riff >> 24);
  std::FILE* f = w.file.get();
  bool ok = head.size() <= w.dataStart && WriteAt(f, w.end, idx) && WriteAt(f, 0, head) && std::fflush(f) == 0 &&
            fsync(fileno(f)) == 0;
  w.file.reset();
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(w.tempPath, w.path, ec);
    ok = !ec;
  }
  const std::string path = w.path;
  if (!ok) {
    ShowMessageFile(kMessageCannotWrite, path);
    Abandon(w);
    return 1;
  }
  w.tempPath.clear();
  Abandon(w);
  return 0;
}

int SaveFilmAsAvi(const std::string& path, int bits) {
  const FilmStrip& film = Film();
  if (!FilmHasSlots()) {
    ShowMessage(19);
    return 1;
  }
  ArmAvi(path);
  bool toldEmpty = false;
  int result = 0;
  BeginProgress("Saving AVI", film.length);
  for (int i = 0; i < film.length && result == 0; ++i) {
    if (Progress(i)) {
      result = 2;
      break;
    }
    if (!film.slots[i]) {
      if (!toldEmpty) ShowMessageFile(74, path);
      toldEmpty = true;
      continue;
    }
    if (AddAviFrame(film.slots[i], path, bits) != 0) result = 1;
  }
  EndProgress();
  if (CloseAvi() != 0) result = 1;
  return result;
}

int SaveFilmAsAviCommand(int bits) {
  Settings& s = Prefs();
  std::string name = TheHost().ChooseSaveFile({"Save Film as AVI", "Video for Windows (*.AVI)", s.filmPath, false});
  if (name.empty()) return 2;
  std::filesystem::path path(name);
  if (!path.has_extension()) path += ".AVI";
  const int result = SaveFilmAsAvi(path.string(), bits);
  if (result == 0) s.filmPath = path.parent_path().string();
  return result;
}

// ---------------------------------------------------------------- reader

namespace {

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
         std::uint32_t{b[at + 3]} << 24;
}
bool IdIs(std::span<const std::uint8_t> b, std::size_t at, const char* id) {
  return b.size() >= at + 4 && std::memcmp(b.data() + at, id, 4) == 0;
}

// Bytes of the file at an offset, from memory or from the disk.
class Source {
 public:
  explicit Source(std::span<const std::uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}
  explicit Source(std::FILE* f) : file_(f) {
    if (fseeko(f, 0, SEEK_END) == 0) size_ = static_cast<std::uint64_t>(ftello(f));
  }
  std::uint64_t Size() const { return size_; }
  // Up to n bytes at `at` (fewer at the end).
  std::vector<std::uint8_t> Read(std::uint64_t at, std::uint64_t n) const {
    if (at >= size_) return {};
    n = std::min(n, size_ - at);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(n));
    if (file_) {
      if (fseeko(file_, static_cast<off_t>(at), SEEK_SET) != 0 || std::fread(out.data(), 1, out.size(), file_) != out.size())
        out.clear();
    } else {
      std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), n, out.begin());
    }
    return out;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

struct FrameRef {
  std::uint64_t at = 0;  // the chunk's data
  std::uint32_t size = 0;
  bool palette = false;  // a palette change ("##pc")
};

struct AviInfo {
  bool riff = false;
  bool video = false;
  std::vector<std::uint8_t> format;  // strf of the video stream
  std::uint32_t handler = 0, scale = 0, rate = 0, length = 0, quality = 0;
  std::string name;
  int stream = -1;
  std::uint64_t moviAt = 0, moviEnd = 0;  // the "movi" fourcc, the list's end
  std::uint64_t idx1At = 0, idx1Size = 0;
  std::vector<FrameRef> chunks;  // the stream's chunks in file order
};

bool StreamChunk(const std::uint8_t* id, int stream, bool& palette) {
  char tag[3];
  std::snprintf(tag, sizeof tag, "%02d", stream);
  if (id[0] != tag[0] || id[1] != tag[1]) return false;
  palette = id[2] == 'p' && id[3] == 'c';
  return palette || (id[2] == 'd' && (id[3] == 'b' || id[3] == 'c'));
}

void ParseStreamList(const Source& src, std::uint64_t at, std::uint64_t end, int number, AviInfo& info) {
  bool isVideo = false;
  AviInfo candidate;
  while (at + 8 <= end) {
    auto h = src.Read(at, 8);
    if (h.size() < 8) break;
    const std::uint32_t size = U32(h, 4);
    if (size > end - at - 8) break;
    if (IdIs(h, 0, "strh") && size >= 48) {
      auto s = src.Read(at + 8, 48);
      if (s.size() == 48 && IdIs(s, 0, "vids")) {
        isVideo = true;
        candidate.handler = U32(s, 4);
        candidate.scale = U32(s, 20);
        candidate.rate = U32(s, 24);
        candidate.length = U32(s, 32);
        candidate.quality = U32(s, 40);
      }
    } else if (IdIs(h, 0, "strf")) {
      // A format block is a header and a palette: a few kilobytes at most.
      candidate.format = src.Read(at + 8, std::min<std::uint32_t>(size, 1 << 16));
    } else if (IdIs(h, 0, "strn")) {
      auto n = src.Read(at + 8, std::min<std::uint32_t>(size, 255));
      candidate.name.assign(n.begin(), std::find(n.begin(), n.end(), 0));
    }
    at += 8 + std::uint64_t{size} + (size & 1);
  }
  if (isVideo && !info.video) {
    info.video = true;
    info.stream = number;
    info.handler = candidate.handler;
    info.scale = candidate.scale;
    info.rate = candidate.rate;
    info.length = candidate.length;
    info.quality = candidate.quality;
    info.format = std::move(candidate.format);
    info.name = std::move(candidate.name);
  }
}

void ParseHeaders(const Source& src, AviInfo& info) {
  auto riff = src.Read(0, 12);
  if (riff.size() < 12 || !IdIs(riff, 0, "RIFF") || !IdIs(riff, 8, "AVI ")) return;
  info.riff = true;
  const std::uint64_t end = std::min<std::uint64_t>(src.Size(), 8ull + U32(riff, 4));
  std::uint64_t at = 12;
  int streams = 0;
  while (at + 8 <= end) {
    auto h = src.Read(at, 12);
    if (h.size() < 8) break;
    const std::uint32_t size = U32(h, 4);
    const std::uint64_t next = at + 8 + size + (size & 1);
    const std::uint64_t chunkEnd = std::min<std::uint64_t>(at + 8 + size, end);
    if (IdIs(h, 0, "LIST") && h.size() == 12 && IdIs(h, 8, "hdrl")) {
      std::uint64_t in = at + 12;
      while (in + 12 <= chunkEnd) {
        auto l = src.Read(in, 12);
        if (l.size() < 12) break;
        const std::uint32_t lsize = U32(l, 4);
        const std::uint64_t lend = std::min<std::uint64_t>(in + 8 + lsize, chunkEnd);
        if (IdIs(l, 0, "LIST") && IdIs(l, 8, "strl")) ParseStreamList(src, in + 12, lend, streams++, info);
        in += 8 + std::uint64_t{lsize} + (lsize & 1);
      }
    } else if (IdIs(h, 0, "LIST") && h.size() == 12 && IdIs(h, 8, "movi") && info.moviAt == 0) {
      info.moviAt = at + 8;
      info.moviEnd = chunkEnd;
    } else if (IdIs(h, 0, "idx1")) {
      info.idx1At = at + 8;
      info.idx1Size = chunkEnd - (at + 8);
    }
    at = next;
  }
}

// The stream's chunks from the index: offsets from the start of the file or
// from the "movi" fourcc, whichever points at the chunk the entry names.
bool FramesFromIndex(const Source& src, AviInfo& info) {
  if (!info.idx1At || !info.moviAt) return false;
  const std::uint64_t count = info.idx1Size / 16;
  auto idx = src.Read(info.idx1At, count * 16);
  if (idx.size() < count * 16) return false;
  std::int64_t base = -1;
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint8_t* e = idx.data() + i * 16;
    bool palette = false;
    if (!StreamChunk(e, info.stream, palette)) continue;
    const std::uint32_t offset = U32(idx, i * 16 + 8);
    const std::uint32_t size = U32(idx, i * 16 + 12);
    if (base < 0) {
      for (std::uint64_t b : {std::uint64_t{0}, info.moviAt}) {
        auto h = src.Read(b + offset, 4);
        if (h.size() == 4 && std::memcmp(h.data(), e, 4) == 0) {
          base = static_cast<std::int64_t>(b);
          break;
        }
      }
      if (base < 0) return false;
    }
    const std::uint64_t at = static_cast<std::uint64_t>(base) + offset + 8;
    // Entries past the end of the file name nothing.
    if (at > src.Size() || size > src.Size() - at) continue;
    info.chunks.push_back({at, size, palette});
  }
  return !info.chunks.empty();
}

void FramesByWalking(const Source& src, AviInfo& info) {
  info.chunks.clear();
  std::uint64_t at = info.moviAt + 4;
  const std::uint64_t end = info.moviEnd;
  while (at + 8 <= end) {
    auto h = src.Read(at, 8);
    if (h.size() < 8) break;
    const std::uint32_t size = U32(h, 4);
    if (IdIs(h, 0, "LIST")) {  // "rec " lists hold chunks: step inside
      at += 12;
      continue;
    }
    bool palette = false;
    if (StreamChunk(h.data(), info.stream, palette)) {
      if (size > end - at - 8) break;
      info.chunks.push_back({at + 8, size, palette});
    }
    at += 8 + std::uint64_t{size} + (size & 1);
  }
}

// The frame rate as the stream states it; none stated: 15 a second.
double SecondsPerFrame(const AviInfo& info) {
  std::uint32_t scale = info.scale, rate = info.rate;
  if (scale == 0 || rate == 0) scale = 1, rate = 15;
  return static_cast<double>(scale) / rate;
}

bool Probe(const Source& src, const std::string& name, AviInfo& info, bool tell) {
  ParseHeaders(src, info);
  if (!info.riff) {
    if (tell) ShowMessageFile(kMessageNoCodec, name);
    return false;
  }
  if (!info.video || info.format.size() < kInfoBytes) {
    if (tell) ShowMessageFile(kMessageNoVideo, name);
    return false;
  }
  if (!FramesFromIndex(src, info)) FramesByWalking(src, info);
  return true;
}

long FrameCount(const AviInfo& info) {
  return static_cast<long>(std::count_if(info.chunks.begin(), info.chunks.end(), [](const FrameRef& r) {
    return !r.palette;
  }));
}

ImageRecord* ReadFrom(const Source& src, const std::string& name) {
  LogLine("Loading \"%s\" as an AVI\n", name.c_str());
  AviInfo info;
  if (!Probe(src, name, info, true)) return nullptr;
  std::span<const std::uint8_t> f(info.format);
  const std::int32_t width = static_cast<std::int32_t>(U32(f, 4));
  const std::int32_t height = static_cast<std::int32_t>(U32(f, 8));
  const int planes = f[12] | f[13] << 8;
  const int bits = f[14] | f[15] << 8;
  const std::uint32_t compression = U32(f, 16);
  const long frames = FrameCount(info);
  const double spf = SecondsPerFrame(info);
  LogLine("AVI Frame size %d x %d  Frames: %ld = %6.3lf secs\n", width, height, frames, frames * spf);
  // Uncompressed, run-length and bit-field DIBs are what the bitmap reader
  // knows; any other codec would need a decompressor this program lacks.
  if (compression > 3) {
    ShowMessageFile(kMessageNoCodec, name);
    return nullptr;
  }
  if (frames < 1) {
    ShowNote("Could not get the AVI frame", name + ": the stream holds no frame");
    return nullptr;
  }
  VideoFrameRequest request;
  request.fileName = name;
  request.frames = frames;
  request.secondsPerFrame = spf;
  const long frame = TheHost().ChooseVideoFrame(request);
  if (frame < 0 || frame >= frames) return nullptr;

  // The chosen frame's chunk, the last non-empty one up to it (an empty
  // chunk repeats the frame before), and the palette changes before it.
  std::vector<std::uint8_t> format = info.format;
  const FrameRef* chosen = nullptr;
  long seen = -1;
  for (const FrameRef& r : info.chunks) {
    if (r.palette) {
      auto pc = src.Read(r.at, r.size);
      // first entry, count (0: 256), flags, then red, green, blue, flags
      if (pc.size() >= 4) {
        const std::uint32_t tableAt = U32(f, 0);
        const std::uint32_t firstEntry = pc[0];
        const std::uint32_t count = pc[1] ? pc[1] : 256;
        for (std::uint32_t k = 0; k < count && 4 + 4 * k + 3 < pc.size() && firstEntry + k < 256; ++k) {
          const std::size_t at = tableAt + 4 * (firstEntry + k);
          if (at + 3 >= format.size()) break;
          format[at] = pc[4 + 4 * k + 2];
          format[at + 1] = pc[4 + 4 * k + 1];
          format[at + 2] = pc[4 + 4 * k];
        }
      }
      continue;
    }
    ++seen;
    if (r.size > 0) chosen = &r;
    if (seen == frame) break;
  }
  if (!chosen) {
    ShowNote("Could not get the AVI frame", name);
    return nullptr;
  }
  std::vector<std::uint8_t> data = src.Read(chosen->at, chosen->size);
  if (data.size() != chosen->size) {
    ShowNote("Could not get the AVI frame", name);
    return nullptr;
  }
  const std::uint32_t clrUsed = U32(f, 32);
  LogLine("AVI frame Size: %ld x %ld Bits: %d Planes: %d Colors: %ld DPM %ld x %ld Compression: %d\n",
          static_cast<long>(width), static_cast<long>(height), bits, planes, static_cast<long>(clrUsed),
          static_cast<long>(static_cast<std::int32_t>(U32(f, 24))), static_cast<long>(static_cast<std::int32_t>(U32(f, 28))),
          static_cast<int>(compression));

  // The frame as a bitmap file: a file header, the stream's format, then
  // the frame's bits, read by the bitmap reader.
  std::vector<std::uint8_t> bmp;
  try {
    bmp.reserve(14 + format.size() + data.size());
  } catch (const std::bad_alloc&) {
    ShowMessageFile(kMessageNoMemory, name);
    return nullptr;
  }
  bmp.push_back('B');
  bmp.push_back('M');
  Put32(bmp, static_cast<std::uint32_t>(std::min<std::uint64_t>(14 + format.size() + data.size(), 0xFFFFFFFFu)));
  Put32(bmp, 0);
  Put32(bmp, static_cast<std::uint32_t>(14 + format.size()));
  bmp.insert(bmp.end(), format.begin(), format.end());
  if (compression == 1 || compression == 2) {
    // The runs take what the chunk holds, not what the header guessed.
    const std::uint32_t n = chosen->size;
    for (int i = 0; i < 4; ++i) bmp[14 + 20 + i] = static_cast<std::uint8_t>(n >> (8 * i));
  }
  bmp.insert(bmp.end(), data.begin(), data.end());
  ImageRecord* image = ReadBmp(bmp);
  if (!image) return nullptr;
  std::snprintf(image->name, sizeof image->name, "avi");
  std::snprintf(image->format, sizeof image->format, "AVI");
  image->bitDepth = static_cast<std::uint16_t>(std::max(1, planes) * bits);
  image->frameIndex = static_cast<std::uint16_t>(frame);
  image->saveQuality = static_cast<std::uint16_t>(info.quality == 0xFFFFFFFFu ? 0 : std::min<std::uint32_t>(info.quality / 100, 100));
  if (!info.name.empty() && EnsureAnnotation(image, static_cast<int>(info.name.size()) + 1) == 0)
    std::snprintf(image->annotation, info.name.size() + 1, "%s", info.name.c_str());
  return image;
}

}  // namespace

ImageRecord* ReadAviFrame(std::span<const std::uint8_t> file, const std::string& name) {
  return ReadFrom(Source(file), name);
}

ImageRecord* ReadAviFrameFile(const std::string& path) {
  std::unique_ptr<std::FILE, AviFileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    ShowMessageFile(kMessageNoCodec, path);
    return nullptr;
  }
  return ReadFrom(Source(f.get()), path);
}

bool SummariseAvi(const std::string& path, AviSummary& out) {
  std::unique_ptr<std::FILE, AviFileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  Source src(f.get());
  AviInfo info;
  if (!Probe(src, path, info, false)) return false;
  out.frames = FrameCount(info);
  out.secondsPerFrame = SecondsPerFrame(info);
  out.width = static_cast<int>(U32(info.format, 4));
  out.height = static_cast<int>(U32(info.format, 8));
  out.bits = info.format[14] | info.format[15] << 8;
  return true;
}

}  // namespace qv
