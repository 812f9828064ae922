// FLIC writing: a new file holds its first frame as a palette and a byte
// run (or raw rows); each later call appends one frame as a word delta (or
// raw rows) and, after the run's last frame, the ring frame back to frame 0.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/flic.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "display/colour_reduce.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageIncomplete = 74;
constexpr int kMessageWrongSize = 51;
constexpr int kMessageCannotCreate = 53;
constexpr int kMessageHeaderWrite = 8;
// A line's packet count shares its word with the opcode bits.
constexpr std::size_t kMaxLinePackets = 0x3FFF;

using Palette = std::array<std::uint8_t, 768>;

struct Frame {
  std::vector<std::uint8_t> indexes;
  Palette palette{};
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set16(std::uint8_t* at, std::uint32_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
}
void Set32(std::uint8_t* at, std::uint32_t v) {
  Set16(at, v & 0xFFFF);
  Set16(at + 2, v >> 16);
}

// One sub-chunk: its 6-byte header and the data.
void PutChunk(std::vector<std::uint8_t>& out, int type, std::span<const std::uint8_t> data) {
  Put32(out, static_cast<std::uint32_t>(data.size() + 6));
  Put16(out, static_cast<std::uint32_t>(type));
  out.insert(out.end(), data.begin(), data.end());
}

std::vector<std::uint8_t> PaletteData(const Palette& p) {
  std::vector<std::uint8_t> d;
  d.reserve(772);
  Put16(d, 1);  // one packet: skip 0, all 256 entries
  d.push_back(0);
  d.push_back(0);
  d.insert(d.end(), p.begin(), p.end());
  return d;
}

// The frame chunk holding the given sub-chunks.
std::vector<std::uint8_t> FrameChunk(const std::vector<std::vector<std::uint8_t>>& chunks) {
  std::size_t size = 16;
  for (const auto& c : chunks) size += c.size();
  std::vector<std::uint8_t> out;
  out.reserve(size);
  Put32(out, static_cast<std::uint32_t>(size));
  Put16(out, kFlicFrameType);
  Put16(out, static_cast<std::uint32_t>(chunks.size()));
  out.insert(out.end(), 8, 0);
  for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

// The change from one frame to the next as sub-chunks: the palette when it
// differs from the one in force, then the word delta, or raw rows when the
// delta is larger than the picture or cannot be made.
std::vector<std::uint8_t> ChangeChunk(const Frame& from, const Frame& to, int width, int height) {
  std::vector<std::vector<std::uint8_t>> chunks;
  if (from.palette != to.palette) {
    std::vector<std::uint8_t> c;
    PutChunk(c, kFlicPalette256, PaletteData(to.palette));
    chunks.push_back(std::move(c));
  }
  std::vector<std::uint8_t> delta = EncodeWordDelta(from.indexes, to.indexes, width, height);
  std::vector<std::uint8_t> c;
  if (!delta.empty() && delta.size() <= to.indexes.size()) PutChunk(c, kFlicWordDelta, delta);
  else PutChunk(c, kFlicRaw, to.indexes);
  chunks.push_back(std::move(c));
  return FrameChunk(chunks);
}

bool Reduce(ImageRecord* image, bool firstFrame, const Palette* given, Frame& out) {
  std::uint8_t r[256]{}, g[256]{}, b[256]{};
  ReducedImage reduced;
  if (given) {
    for (int i = 0; i < 256; ++i) {
      r[i] = (*given)[3 * i];
      g[i] = (*given)[3 * i + 1];
      b[i] = (*given)[3 * i + 2];
    }
    const ColourReduceState& s = ReduceState();
    reduced = ReduceColours(image, r, g, b, kReduce256Colours, kPaletteGiven, s.ordered != 0, true, s.ditherAmount, 256);
  } else {
    reduced = ReduceFrame(image, r, g, b, kReduce256Colours, firstFrame);
  }
  if (!reduced || reduced.bitsPerPixel() != 8) return false;
  const int w = reduced.width(), h = reduced.height();
  out.indexes.resize(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    std::copy_n(reduced.Row(y), w, out.indexes.begin() + static_cast<std::ptrdiff_t>(y) * w);
  for (int i = 0; i < 256; ++i) {
    out.palette[3 * i] = r[i];
    out.palette[3 * i + 1] = g[i];
    out.palette[3 * i + 2] = b[i];
  }
  return true;
}

// "Palette per image": colours chosen for every frame, not locked.
bool PalettePerImage() {
  const ColourReduceState& s = ReduceState();
  return s.chooseColors == kPaletteChoose && !s.lockAfterFirst;
}

int WriteNewFile(ImageRecord* image, const std::string& path, FlicRunState& run) {
  Frame frame;
  if (!Reduce(image, true, nullptr, frame)) return 1;
  const int width = image->width, height = image->height;
  std::vector<std::uint8_t> run8 = EncodeByteRun(frame.indexes, width, height);
  const bool raw = frame.indexes.size() <= run8.size();
  const std::size_t p = raw ? frame.indexes.size() : run8.size();

  std::vector<std::uint8_t> out;
  out.reserve(kFlicHeaderBytes + 800 + p);
  out.resize(kFlicHeaderBytes, 0);
  std::uint8_t* h = out.data();
  Set32(h, static_cast<std::uint32_t>(kFlicHeaderBytes + 800 + p));
  Set16(h + 4, kFlcMagic);
  Set16(h + 6, 1);
  Set16(h + 8, static_cast<std::uint32_t>(width));
  Set16(h + 10, static_cast<std::uint32_t>(height));
  Set16(h + 12, 8);
  // Every other reader takes an FLC's speed as milliseconds.
  Set32(h + 16, static_cast<std::uint32_t>(std::max(1, Prefs().animMillis)));
  Set16(h + 38, 1);
  Set16(h + 40, 1);
  Set32(h + 80, kFlicHeaderBytes);
  Set32(h + 84, static_cast<std::uint32_t>(kFlicHeaderBytes + 800 + p));
  std::vector<std::vector<std::uint8_t>> chunks(2);
  PutChunk(chunks[0], kFlicPalette256, PaletteData(frame.palette));
  if (raw) PutChunk(chunks[1], kFlicRaw, frame.indexes);
  else PutChunk(chunks[1], kFlicByteRun, run8);
  std::vector<std::uint8_t> chunk = FrameChunk(chunks);
  out.insert(out.end(), chunk.begin(), chunk.end());

  const int written = WriteFileSafely(path, out);
  if (written == 1) {
    ShowMessageFile(kMessageCannotCreate, path);
    return 1;
  }
  if (written != 0) {
    ShowMessageFile(kMessageHeaderWrite, path);
    return 1;
  }
  run.path = path;
  run.fileBytes = out.size();
  run.frames = 1;
  run.end = out.size();
  run.width = static_cast<std::uint16_t>(width);
  run.height = static_cast<std::uint16_t>(height);
  run.first = frame.indexes;
  run.last = std::move(frame.indexes);
  run.firstPalette = frame.palette;
  run.lastPalette = frame.palette;
  run.valid = true;
  return 0;
}

Palette DecoderPalette(const FlicDecoder& d) {
  Palette p{};
  for (int i = 0; i < 256; ++i) {
    p[3 * i] = d.red[i];
    p[3 * i + 1] = d.green[i];
    p[3 * i + 2] = d.blue[i];
  }
  return p;
}

// Reads the file into the run state: frames 0..wanted-1 decoded (fewer when
// the file holds fewer). False after the notice.
bool Position(const std::string& path, long wanted, FlicRunState& run, const ImageRecord* image) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowNote("Unable to update FLIC file.", path);
    return false;
  }
  FlicDecoder dec;
  if (!dec.Start(bytes, path)) return false;
  if (dec.header.width != image->width || dec.header.height != image->height ||
      (dec.header.depth != 8 && dec.header.depth != 0)) {
    ShowMessageWith(kMessageWrongSize, path + ": " + std::to_string(image->width) + " x " +
                                           std::to_string(image->height) + " onto " + std::to_string(dec.header.width) +
                                           " x " + std::to_string(dec.header.height) + " at " +
                                           std::to_string(dec.header.depth) + " bits");
    return false;
  }
  const long frames = std::min<long>(wanted, dec.header.frames);
  if (frames < 1) {
    ShowNote("Problem positioning FLICK", path);
    return false;
  }
  for (long f = 0; f < frames; ++f) {
    if (!dec.DecodeNext(bytes)) {
      ShowNote("Problem positioning FLICK", path);
      return false;
    }
    if (f == 0) {
      run.first = dec.area;
      run.firstPalette = DecoderPalette(dec);
    }
  }
  run.path = path;
  run.fileBytes = bytes.size();
  run.frames = frames;
  run.end = dec.frameEnd;
  run.width = dec.header.width;
  run.height = dec.header.height;
  run.last = dec.area;
  run.lastPalette = DecoderPalette(dec);
  run.valid = true;
  return true;
}

bool WriteAt(std::FILE* f, std::uint64_t at, std::span<const std::uint8_t> bytes) {
  return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 &&
         std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

}  // namespace

std::vector<std::uint8_t> EncodeByteRun(std::span<const std::uint8_t> pixels, int width, int height) {
  std::vector<std::uint8_t> out;
  out.reserve(pixels.size() / 2 + static_cast<std::size_t>(height) * 2);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* line = pixels.data() + static_cast<std::size_t>(y) * width;
    const std::size_t countAt = out.size();
    out.push_back(0);
    int packets = 0;
    int x = 0;
    while (x < width) {
      int run = 1;
      while (x + run < width && run < 127 && line[x + run] == line[x]) ++run;
      if (run >= 2) {
        out.push_back(static_cast<std::uint8_t>(run));
        out.push_back(line[x]);
        x += run;
      } else {
        // Literal bytes up to the next pair of equal bytes.
        int n = 1;
        while (x + n < width && n < 126 && !(x + n + 1 < width && line[x + n] == line[x + n + 1])) ++n;
        out.push_back(static_cast<std::uint8_t>(-n));
        out.insert(out.end(), line + x, line + x + n);
        x += n;
      }
      ++packets;
    }
    out[countAt] = static_cast<std::uint8_t>(std::min(packets, 255));
  }
  return out;
}

// Each changed stretch of a line is covered by whole words (pixel pairs).
// Stretches closer than two pixels are joined, so that a stretch that must
// start one pixel early to end at the line's edge never overlaps the
// previous packet. The "last byte" opcode is never written: some players
// put that byte at the end of their padded row, not at the line's end.
std::vector<std::uint8_t> EncodeWordDelta(std::span<const std::uint8_t> from, std::span<const std::uint8_t> to,
                                          int width, int height) {
  std::vector<std::uint8_t> out;
  if (width < 2 || from.size() != to.size() || to.size() != static_cast<std::size_t>(width) * height) return out;
  out.resize(2);
  int lines = 0;
  int skipped = 0;
  std::vector<std::uint8_t> line;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* a = from.data() + static_cast<std::size_t>(y) * width;
    const std::uint8_t* b = to.data() + static_cast<std::size_t>(y) * width;
    if (std::memcmp(a, b, static_cast<std::size_t>(width)) == 0) {
      ++skipped;
      continue;
    }
    line.clear();
    std::size_t packets = 0;
    int cursor = 0;
    int x = 0;
    while (x < width) {
      while (x < width && a[x] == b[x]) ++x;
      if (x >= width) break;
      int start = x, stop = x;  // stop: one past the stretch
      for (;;) {
        while (stop < width && a[stop] != b[stop]) ++stop;
        int next = stop;
        while (next < width && a[next] == b[next]) ++next;
        if (next < width && next - stop < 2) {
          stop = next;
          continue;
        }
        break;
      }
      if ((stop - start) % 2 != 0) {
        if (stop < width) ++stop;
        else if (start > cursor) --start;
        else return {};
      }
      x = stop;
      int skip = start - cursor;
      int p = start;
      while (p < stop) {
        while (skip > 255) {
          line.push_back(255);
          line.push_back(0);
          skip -= 255;
          ++packets;
        }
        int repeats = 1;
        while (p + 2 * repeats + 1 < stop && repeats < 127 && b[p + 2 * repeats] == b[p] &&
               b[p + 2 * repeats + 1] == b[p + 1])
          ++repeats;
        line.push_back(static_cast<std::uint8_t>(skip));
        if (repeats >= 2) {
          line.push_back(static_cast<std::uint8_t>(-repeats));
          line.push_back(b[p]);
          line.push_back(b[p + 1]);
          p += 2 * repeats;
        } else {
          int words = 1;
          while (p + 2 * words < stop && words < 127 &&
                 !(p + 2 * words + 3 < stop && b[p + 2 * words] == b[p + 2 * words + 2] &&
                   b[p + 2 * words + 1] == b[p + 2 * words + 3]))
            ++words;
          line.push_back(static_cast<std::uint8_t>(words));
          line.insert(line.end(), b + p, b + p + 2 * words);
          p += 2 * words;
        }
        skip = 0;
        ++packets;
      }
      cursor = stop;
    }
    if (packets > kMaxLinePackets) return {};
    while (skipped > 0) {
      const int n = std::min(skipped, 0x4000);
      Put16(out, static_cast<std::uint32_t>(0x10000 - n));
      skipped -= n;
    }
    Put16(out, static_cast<std::uint32_t>(packets));
    out.insert(out.end(), line.begin(), line.end());
    ++lines;
  }
  Set16(out.data(), static_cast<std::uint32_t>(lines));
  if (out.size() % 2) out.push_back(0);
  return out;
}

int AppendFlicFrame(ImageRecord* image, const std::string& path, long frame, bool lastFrame) {
  if (!image) {
    // An empty film slot: the file goes on without it.
    ShowMessageFile(kMessageIncomplete, path);
    return 0;
  }
  FlicRunState& run = Anim().flicRun;
  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  if (frame <= 0 || !exists) {
    run.valid = false;
    return WriteNewFile(image, path, run);
  }
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  const bool kept = run.valid && run.path == path && !ec && size == run.fileBytes && run.frames <= frame;
  if (!kept) {
    run.valid = false;
    if (!Position(path, frame, run, image)) return 1;
  } else if (run.width != image->width || run.height != image->height) {
    ShowMessageWith(kMessageWrongSize, path + ": " + std::to_string(image->width) + " x " +
                                           std::to_string(image->height) + " onto " + std::to_string(run.width) +
                                           " x " + std::to_string(run.height));
    return 1;
  }
  const int width = run.width, height = run.height;

  Frame next;
  Palette first = run.firstPalette;
  if (!Reduce(image, false, PalettePerImage() ? nullptr : &first, next)) return 1;
  Frame last{run.last, run.lastPalette};
  BeginProgress("Saving FLIC frame", 1);
  std::vector<std::uint8_t> bytes = ChangeChunk(last, next, width, height);
  const std::size_t frameBytes = bytes.size();
  if (lastFrame) {
    const Frame ring{run.first, run.firstPalette};
    std::vector<std::uint8_t> back = ChangeChunk(next, ring, width, height);
    bytes.insert(bytes.end(), back.begin(), back.end());
  }
  EndProgress();

  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "r+b"));
  if (!f) {
    ShowNote("Unable to update FLIC file.", path);
    run.valid = false;
    return 1;
  }
  // What this append overwrites is kept, so that a failed write can put the
  // file back as it was: the old header and everything past the new frame's
  // place (a ring frame, frames being cut).
  std::vector<std::uint8_t> oldHeader = ReadFileRange(path, 0, kFlicHeaderBytes);
  std::vector<std::uint8_t> oldTail = ReadFileRange(path, run.end, static_cast<std::size_t>(size - std::min(size, run.end)));
  const std::uint64_t newSize = run.end + bytes.size();
  std::vector<std::uint8_t> header = oldHeader;
  bool ok = header.size() == kFlicHeaderBytes && newSize <= 0xFFFFFFFFu && run.frames + 1 <= 0xFFFF;
  if (ok) {
    Set32(header.data(), static_cast<std::uint32_t>(newSize));
    Set16(header.data() + 6, static_cast<std::uint32_t>(run.frames + 1));
    ok = WriteAt(f.get(), run.end, bytes) && WriteAt(f.get(), 0, header) && std::fflush(f.get()) == 0 &&
         ftruncate(fileno(f.get()), static_cast<off_t>(newSize)) == 0;
  }
  if (!ok) {
    const bool restored = WriteAt(f.get(), run.end, oldTail) && WriteAt(f.get(), 0, oldHeader) &&
                          std::fflush(f.get()) == 0 && ftruncate(fileno(f.get()), static_cast<off_t>(size)) == 0;
    if (!restored) LogLine("FLIC \"%s\" could not be put back after a failed write\n", path.c_str());
    ShowNote("Could not write the current frame.", path);
    run.valid = false;
    return 1;
  }
  f.reset();
  run.frames += 1;
  run.end += frameBytes;
  run.fileBytes = newSize;
  run.last = std::move(next.indexes);
  run.lastPalette = next.palette;
  return 0;
}

int SaveFilmAsFlic(const std::string& path) {
  const FilmStrip& film = Film();
  if (!FilmHasSlots()) {
    ShowMessage(19);
    return 1;
  }
  int lastPresent = 0;
  for (int i = 0; i < film.length; ++i)
    if (film.slots[i]) lastPresent = i;
  bool toldEmpty = false;
  long written = 0;
  int result = 0;
  EndFlicRun();
  BeginProgress("Saving FLIC", film.length);
  for (int i = 0; i <= lastPresent && result == 0; ++i) {
    if (Progress(i)) {
      result = 2;
      break;
    }
    ImageRecord* slot = film.slots[i];
    if (!slot) {
      if (!toldEmpty) ShowMessageFile(kMessageIncomplete, path);
      toldEmpty = true;
      continue;
    }
    if (AppendFlicFrame(slot, path, written, i == lastPresent && written > 0) != 0) result = 1;
    ++written;
  }
  EndProgress();
  EndFlicRun();
  return result;
}

int SaveFilmAsFlicCommand() {
  Settings& s = Prefs();
  std::string name = TheHost().ChooseSaveFile({"Save Film as FLIC", "Flick (*.FLC)", s.filmPath, false});
  if (name.empty()) return 2;
  std::filesystem::path path(name);
  if (!path.has_extension()) path += ".FLC";
  const int result = SaveFilmAsFlic(path.string());
  if (result == 0) s.filmPath = path.parent_path().string();
  return result;
}

void EndFlicRun() { Anim().flicRun = FlicRunState{}; }

}  // namespace qv
