// FLIC reading: the header, the frame chunks and the eight sub-chunk kinds
// the Animator family writes, decoded into one index buffer and three
// colour tables.
#include "anim/flic.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/plausible_image.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoFilmMemory = 4;
constexpr int kMessageNoImageMemory = 7;
constexpr int kMessageNoHeader = 24;

std::uint16_t U16At(std::span<const std::uint8_t> f, std::size_t at) {
  return static_cast<std::uint16_t>(f[at] | (f[at + 1] << 8));
}
std::uint32_t U32At(std::span<const std::uint8_t> f, std::size_t at) {
  return std::uint32_t{f[at]} | std::uint32_t{f[at + 1]} << 8 | std::uint32_t{f[at + 2]} << 16 |
         std::uint32_t{f[at + 3]} << 24;
}

void LogHeader(const FlicHeader& h, std::span<const std::uint8_t> file) {
  if (!TheLog().file) return;
  auto text = [&](std::size_t at, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n && at + i < file.size(); ++i) s += file[at + i] ? static_cast<char>(file[at + i]) : ' ';
    return s;
  };
  LogLine("FLISize    = %ld    \n", static_cast<long>(h.size));
  LogLine("Magic      = %04X   \n", h.magic);
  LogLine("NFrames    = %4d    \n", h.frames);
  LogLine("Width      = %4d    \n", h.width);
  LogLine("Height     = %4d    \n", h.height);
  LogLine("BitPlanes  = %4d    \n", h.depth);
  LogLine("Flags      = %04X   \n", h.flags);
  LogLine("Jiffies    = %4ld   \n", static_cast<long>(h.speed));
  LogLine("Reserved1  = %d     \n", h.reserved1);
  LogLine("CreateDate = %ld    \n", static_cast<long>(h.created));
  LogLine("CreateNum  = %ld    \n", static_cast<long>(h.creator));
  LogLine("ModDate    = %ld    \n", static_cast<long>(h.updated));
  LogLine("ModNum     = %ld    \n", static_cast<long>(h.updater));
  LogLine("XAspect    = %4d    \n", h.aspectX);
  LogLine("YAspect    = %4d    \n", h.aspectY);
  LogLine("Reserved2  = \"%s\" \n", h.magic == kFlcMagic ? text(42, 38).c_str() : "");
  LogLine("Frame1Offs = %8ld   \n", static_cast<long>(h.frame1));
  LogLine("Frame2Offs = %8ld   \n", static_cast<long>(h.frame2));
  LogLine("Reserved3  = \"%s\" \n", h.magic == kFlcMagic ? text(88, 40).c_str() : "");
}

// Each decoder walks its chunk's data with a ByteReader; a short read makes
// the reader fail, which fails the frame.
using Area = std::vector<std::uint8_t>;

bool DecodePalette(ByteReader d, FlicDecoder& s, int shift) {
  int packets = d.U16LE();
  int index = 0;
  for (int p = 0; p < packets && d.Ok(); ++p) {
    index += d.U8();
    int count = d.U8();
    if (count == 0) count = 256;
    for (int c = 0; c < count; ++c) {
      const std::uint8_t r = d.U8(), g = d.U8(), b = d.U8();
      if (!d.Ok()) return false;
      // Entries past 255 have no table to land in: the rest is dropped.
      if (index > 255) return true;
      s.red[index] = static_cast<std::uint8_t>(r << shift);
      s.green[index] = static_cast<std::uint8_t>(g << shift);
      s.blue[index] = static_cast<std::uint8_t>(b << shift);
      ++index;
    }
  }
  return d.Ok();
}

bool DecodeWordDelta(ByteReader d, Area& a, int width, int height) {
  int lines = d.U16LE();
  int y = 0;
  while (lines > 0) {
    if (!d.Has(2)) return LogLine("FLIC WordDelta read failed\n"), false;
    const std::uint16_t op = d.U16LE();
    if ((op & 0xC000) == 0xC000) {
      y += 0x10000 - op;
      if (y > height) return LogLine("FLC over-run 1\n"), false;
      continue;
    }
    if ((op & 0xC000) == 0x4000) return LogLine("Unknown packet type in FLI_SS2 chunk\n"), false;
    if (y >= height) return LogLine("FLC over-run 1\n"), false;
    std::uint8_t* line = a.data() + static_cast<std::size_t>(y) * width;
    if ((op & 0xC000) == 0x8000) {
      line[width - 1] = static_cast<std::uint8_t>(op & 0xFF);
      continue;  // the line's packet count follows
    }
    int x = 0;
    for (int p = 0; p < op; ++p) {
      x += d.U8();
      const int count = static_cast<std::int8_t>(d.U8());
      if (!d.Ok()) return LogLine("FLIC WordDelta read failed\n"), false;
      const int words = count >= 0 ? count : -count;
      if (x + 2 * words > width) return LogLine("FLC over-run 2\n"), false;
      if (count >= 0) {
        if (!d.Bytes(line + x, 2 * static_cast<std::size_t>(words))) return LogLine("FLIC WordDelta read failed\n"), false;
      } else {
        const std::uint8_t p0 = d.U8(), p1 = d.U8();
        if (!d.Ok()) return LogLine("FLIC WordDelta read failed\n"), false;
        for (int k = 0; k < words; ++k) {
          line[x + 2 * k] = p0;
          line[x + 2 * k + 1] = p1;
        }
      }
      x += 2 * words;
    }
    ++y;
    --lines;
  }
  return true;
}

bool DecodeByteDelta(ByteReader d, Area& a, int width, int height) {
  const int start = d.U16LE();
  const int lines = d.U16LE();
  if (!d.Ok() || start + lines > height) {
    LogLine("Illegal start or end line in FLI_LC chunk\n");
    LogLine("Start = %4ld  End = %4ld  Max = %4d\n", static_cast<long>(start), static_cast<long>(start + lines), height);
    return false;
  }
  for (int y = start; y < start + lines; ++y) {
    std::uint8_t* line = a.data() + static_cast<std::size_t>(y) * width;
    const int packets = d.U8();
    int x = 0;
    for (int p = 0; p < packets; ++p) {
      x += d.U8();
      const int count = static_cast<std::int8_t>(d.U8());
      if (!d.Ok()) return false;
      const int n = count >= 0 ? count : -count;
      if (x + n > width) return LogLine("Expansion beyond image width in FLI_LC chunk\n"), false;
      if (count >= 0) {
        if (!d.Bytes(line + x, static_cast<std::size_t>(n))) return false;
      } else {
        const std::uint8_t v = d.U8();
        std::fill_n(line + x, n, v);
      }
      x += n;
    }
    if (!d.Ok()) return false;
  }
  return true;
}

bool DecodeByteRun(ByteReader d, Area& a, int width, int height) {
  for (int y = 0; y < height; ++y) {
    std::uint8_t* line = a.data() + static_cast<std::size_t>(y) * width;
    d.U8();  // the packet count: lines are filled to their width instead
    int x = 0;
    while (x < width) {
      const int count = static_cast<std::int8_t>(d.U8());
      if (!d.Ok()) return false;
      const int n = count >= 0 ? count : -count;
      if (x + n > width) return LogLine("FLC over-run 2\n"), false;
      if (count < 0) {
        if (!d.Bytes(line + x, static_cast<std::size_t>(n))) return false;
      } else {
        std::fill_n(line + x, n, d.U8());
      }
      x += n;
    }
  }
  return d.Ok();
}

// The frame the user picks, from 0; -1 when cancelled.
long ChooseFrame(const FlicHeader& h, const std::string& name) {
  VideoFrameRequest request;
  request.fileName = name;
  request.frames = std::max<long>(1, h.frames);
  request.secondsPerFrame = FlicSecondsPerFrame(h);
  const long frame = TheHost().ChooseVideoFrame(request);
  if (frame < 0 || frame >= request.frames) return -1;
  return frame;
}

}  // namespace

bool ParseFlicHeader(std::span<const std::uint8_t> f, FlicHeader& h) {
  if (f.size() < 22) return false;
  h = FlicHeader{};
  h.size = U32At(f, 0);
  h.magic = U16At(f, 4);
  h.frames = U16At(f, 6);
  h.width = U16At(f, 8);
  h.height = U16At(f, 10);
  h.depth = U16At(f, 12);
  h.flags = U16At(f, 14);
  if (h.magic != kFlcMagic) {
    h.speed = U16At(f, 16);
    return true;
  }
  if (f.size() < kFlicHeaderBytes) return false;
  h.speed = U32At(f, 16);
  h.reserved1 = U16At(f, 20);
  h.created = U32At(f, 22);
  h.creator = U32At(f, 26);
  h.updated = U32At(f, 30);
  h.updater = U32At(f, 34);
  h.aspectX = U16At(f, 38);
  h.aspectY = U16At(f, 40);
  h.frame1 = U32At(f, 80);
  h.frame2 = U32At(f, 84);
  return true;
}

double FlicSecondsPerFrame(const FlicHeader& h) {
  return h.magic == kFlcMagic ? h.speed / 1000.0 : h.speed / 70.0;
}

bool FlicDecoder::Start(std::span<const std::uint8_t> file, const std::string& name) {
  if (!ParseFlicHeader(file, header)) {
    ShowMessageFile(kMessageNoHeader, name);
    return false;
  }
  LogHeader(header, file);
  if (header.magic != kFliMagic && header.magic != kFlcMagic) {
    ShowNote("File is not recognized as a .FLI or .FLC image.", name);
    return false;
  }
  // A clear chunk paints any size from six bytes; a run byte pair covers at
  // most 127 pixels. A header claiming more than the file could ever paint
  // is refused before the buffer is made.
  ImageLimits limits;
  limits.pixelsPerByte = 256;
  if (std::string why = PlausibleImage(header.width, header.height, file.size(), limits); !why.empty()) {
    ShowNote("File is not recognized as a .FLI or .FLC image.", name + ": " + why);
    return false;
  }
  try {
    area.assign(static_cast<std::size_t>(header.width) * header.height, 0);
  } catch (const std::bad_alloc&) {
    ShowMessage(kMessageNoImageMemory);
    return false;
  }
  red.fill(0);
  green.fill(0);
  blue.fill(0);
  next = kFlicHeaderBytes;
  decoded = 0;
  return true;
}

bool FlicDecoder::DecodeNext(std::span<const std::uint8_t> file) {
  const int width = header.width, height = header.height;
  for (;;) {
    if (next > file.size() || file.size() - next < 6) return LogLine("FLC read failure FRM chunk\n"), false;
    const std::uint32_t size = U32At(file, next);
    const std::uint16_t type = U16At(file, next + 4);
    // A size below the chunk's own header would never move on.
    if (size < 6 || (type == kFlicFrameType && size < 16)) return LogLine("FLC read failure FRM chunk\n"), false;
    if (type != kFlicFrameType) {
      next += size;
      continue;
    }
    if (file.size() - next < 16) return LogLine("FLC read failure FRM chunk\n"), false;
    // Some writers count a byte or two more than they wrote: the last
    // frame's data is taken up to the end of the file.
    const std::size_t end = std::min<std::uint64_t>(std::uint64_t{next} + size, file.size());
    const int chunks = U16At(file, next + 6);
    std::size_t pos = next + 16;
    frameStart = next;
    frameEnd = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{next} + size, file.size()));
    next = static_cast<std::size_t>(std::uint64_t{next} + size);
    ++decoded;
    for (int k = 0; k < chunks; ++k) {
      if (end < pos || end - pos < 6) return LogLine("FLC read failure Chunk ID\n"), false;
      const std::uint32_t csize = U32At(file, pos);
      const int ctype = U16At(file, pos + 4);
      if (csize < 6) return LogLine("FLC read failure Chunk ID\n"), false;
      const std::size_t dataEnd = static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{pos} + csize, end));
      ByteReader d(file.subspan(pos + 6, dataEnd - (pos + 6)));
      bool ok = true;
      switch (ctype) {
        case kFlicPalette256:
          LogLine("256 palette\n");
          ok = DecodePalette(d, *this, 0);
          break;
        case kFlicPalette64:
          LogLine(" 64 palette\n");
          ok = DecodePalette(d, *this, 2);
          break;
        case kFlicWordDelta:
          LogLine("word delta\n");
          ok = DecodeWordDelta(d, area, width, height);
          break;
        case kFlicByteDelta:
          LogLine("byte delta\n");
          ok = DecodeByteDelta(d, area, width, height);
          break;
        case kFlicClear:
          LogLine("clear screen\n");
          std::fill(area.begin(), area.end(), std::uint8_t{0});
          break;
        case kFlicByteRun:
          LogLine("byte RLL\n");
          ok = DecodeByteRun(d, area, width, height);
          break;
        case kFlicRaw: {
          LogLine("raw frame Size = %ld\n", static_cast<long>(csize));
          const std::size_t n = std::min<std::size_t>(d.Size(), area.size());
          std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(pos + 6), n, area.begin());
          break;
        }
        case kFlicStamp:
          LogLine("postage stamp\n");
          break;
        default:
          LogLine("Skipping unknown chunk type %06lX\n", static_cast<unsigned long>(ctype));
          break;
      }
      if (!ok) return false;
      pos = static_cast<std::size_t>(std::uint64_t{pos} + csize);
    }
    return true;
  }
}

void FlicDecoder::Convert(ImageRecord* image) const {
  const int width = header.width, height = header.height;
  const std::uint8_t* index = area.data();
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < width; ++x, p += 4, ++index) {
      p[0] = red[*index];
      p[1] = green[*index];
      p[2] = blue[*index];
      p[3] = 255;
    }
  }
}

ImageRecord* ReadFlicFrame(std::span<const std::uint8_t> file, const std::string& name) {
  LogLine("Reading \"%s\" as a .FLI/.FLC image.\n", name.c_str());
  FlicDecoder dec;
  if (!dec.Start(file, name)) return nullptr;
  const long frame = ChooseFrame(dec.header, name);
  if (frame < 0) return nullptr;
  ImageRecord* image = CreateImageToFill(dec.header.width, dec.header.height, "iflc");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNoImageMemory);
    return nullptr;
  }
  BeginProgress("Loading AutoDesk FLIC", static_cast<int>(frame + 1));
  bool ok = true;
  for (long f = 0; f <= frame && ok; ++f) {
    Progress(static_cast<int>(f));
    LogLine("At FLC frame %ld\n", f);
    if (!dec.DecodeNext(file)) {
      LogLine("Problem at FLC frame %ld\n", f);
      ok = false;
    }
  }
  EndProgress();
  if (!ok) {
    // Nothing decodable is not a picture: a frame that failed before any
    // frame decoded leaves no image.
    if (dec.decoded <= 1) {
      UnlockImage(image);
      FreeImage(image);
      ShowNote("Could not read the FLIC frame.", name);
      return nullptr;
    }
  }
  BeginProgress("Converting FLIC", 1);
  dec.Convert(image);
  EndProgress();
  UnlockImage(image);
  image->bitDepth = dec.header.depth ? dec.header.depth : 8;
  image->frameIndex = static_cast<std::uint16_t>(frame);
  std::snprintf(image->format, sizeof image->format, "FLI/FLC");
  return image;
}

ImageRecord* ReadFlicFrameFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowMessageFile(kMessageNoHeader, path);
    return nullptr;
  }
  return ReadFlicFrame(bytes, path);
}

int LoadFlicIntoFilm(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowNote("Could not open the animation.", path);
    return 1;
  }
  FlicDecoder dec;
  if (!dec.Start(bytes, path)) return 1;
  const int width = dec.header.width, height = dec.header.height;
  if (width > kFilmMaxSide || height > kFilmMaxSide) {
    ShowMessageWith(kMessageNoFilmMemory, path + ": frame " + std::to_string(width) + " x " + std::to_string(height) +
                                              " is larger than a film frame (" + std::to_string(kFilmMaxSide) + ")");
    return 1;
  }
  const int frames = std::min(FrameCount(), static_cast<int>(dec.header.frames));
  if (frames < 1) {
    ShowNote("Could not open the animation.", path + ": no frames");
    return 1;
  }
  std::vector<ImageRecord*> images;
  auto freeAll = [&images] {
    for (ImageRecord* image : images) FreeImage(image);
  };
  BeginProgress("Loading AutoDesk FLIC", frames);
  for (int i = 0; i < frames; ++i) {
    Progress(i);
    if (!dec.DecodeNext(bytes)) {
      // The frames read so far make the film; the rest stay empty.
      LogLine("Problem at FLC frame %ld\n", static_cast<long>(i));
      break;
    }
    ImageRecord* image = CreateImageToFill(width, height, "aflm");
    if (!image || LockImage(image) != 0) {
      FreeImage(image);
      EndProgress();
      freeAll();
      ShowMessage(kMessageNoFilmMemory);
      return 1;
    }
    std::snprintf(image->name, sizeof image->name, "Film[%d]", i);
    dec.Convert(image);
    image->bitDepth = 8;
    UnlockImage(image);
    images.push_back(image);
  }
  EndProgress();
  if (images.empty()) {
    ShowNote("Could not read the FLIC frame.", path);
    return 1;
  }
  FilmStrip& f = Film();
  StopPlayback();
  FreeFilm();
  f.frameWidth = width;
  f.frameHeight = height;
  Prefs().filmWidth = width;
  Prefs().filmHeight = height;
  if (EnsureFilm() != 0) {
    freeAll();
    return 1;
  }
  for (std::size_t i = 0; i < images.size() && static_cast<int>(i) < f.length; ++i) {
    f.slots[i] = images[i];
    images[i] = nullptr;
  }
  freeAll();
  std::fill_n(f.used, f.length, std::uint8_t{1});
  if (f.redraw) f.redraw();
  return 0;
}

}  // namespace qv
