// Film strip files: "ZFLM", width, height and frame count as 32-bit
// little-endian numbers, then every frame as its red, green and blue planes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/flic.h"
#include "anim/timeline.h"
#include "anim/trends.h"
#include "base/atomic_file.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoFilm = 19;
constexpr int kMessageWriteProblem = 26;
constexpr int kMessageCannotOpen = 71;
constexpr int kMessageDamaged = 92;

struct BufferPlace {
  BufferPlace(std::int64_t bytes, const char* tag) : tag(tag), data(static_cast<std::uint8_t*>(AllocReal(bytes, tag))) {}
  ~BufferPlace() {
    if (data) FreeReal(data, tag);
  }
  BufferPlace(const BufferPlace&) = delete;
  BufferPlace& operator=(const BufferPlace&) = delete;
  const char* tag;
  std::uint8_t* data;
};

void PutU32(std::uint8_t* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

void Refuse(int message, const std::string& name, const std::string& reason) {
  LogLine("Film strip \"%s\": %s\n", name.c_str(), reason.c_str());
  ShowMessageWith(message, name + ": " + reason);
}

struct FileCloserLocal {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Frames read so far, freed unless they became the film's.
struct NewFrames {
  std::vector<ImageRecord*> images;
  ~NewFrames() {
    for (ImageRecord* image : images)
      if (image) FreeImage(image);
  }
};

// Whether cutting the TimeLine to `frames` would drop anything the user made.
bool ShorteningLoses(int frames) {
  if (std::max(frames, kMinFrames) >= FrameCount()) return false;
  return LevelsInUse() > 0 || !Trends().empty();
}

bool AskToShorten(const std::string& name, int frames) {
  MessageRequest r;
  r.kind = MessageKind::Proceed;
  r.dialog = "MessProceed";
  r.title = "Load Film strip";
  char text[300];
  std::snprintf(text, sizeof text,
                "The film strip has %d frames. The Time Line will be cut from %d frames to %d, losing its cells "
                "and Trend points past frame %d.",
                frames, FrameCount(), frames, frames);
  r.text = text;
  r.extra = name;
  r.buttons = {"&Proceed", "&Cancel"};
  r.results = {1, 0};
  r.closeResult = 0;
  LogLine("%s\n", text);
  return TheHost().RunMessage(r) == 1;
}

}  // namespace

int SaveFilmStrip(const std::filesystem::path& path) {
  FilmStrip& f = Film();
  const std::string name = path.string();
  if (!FilmHasSlots()) {
    ShowMessage(kMessageNoFilm);
    return 1;
  }
  const int frames = f.length;
  if (frames > kFilmMaxFrames) {
    Refuse(kMessageWriteProblem, name,
           std::to_string(frames) + " frames; a film strip file holds at most " + std::to_string(kFilmMaxFrames));
    return 1;
  }
  if (f.frameWidth < 1 || f.frameWidth > kFilmMaxSide || f.frameHeight < 1 || f.frameHeight > kFilmMaxSide) {
    Refuse(kMessageWriteProblem, name,
           "frame size " + std::to_string(f.frameWidth) + " x " + std::to_string(f.frameHeight) +
               " is outside 1.." + std::to_string(kFilmMaxSide));
    return 1;
  }
  const std::size_t plane = std::size_t(f.frameWidth) * std::size_t(f.frameHeight);
  BufferPlace buffer(static_cast<std::int64_t>(plane * 3), "fiim");
  if (!buffer.data) {
    ShowNote("Not enough real memory for save.");
    return 1;
  }
  AtomicFile out;
  if (!out.Open(path, "wb")) {
    Refuse(kMessageWriteProblem, name, "the file could not be created");
    return 1;
  }
  std::uint8_t header[kFilmHeaderBytes];
  std::memcpy(header, "ZFLM", 4);
  PutU32(header + 4, static_cast<std::uint32_t>(f.frameWidth));
  PutU32(header + 8, static_cast<std::uint32_t>(f.frameHeight));
  PutU32(header + 12, static_cast<std::uint32_t>(frames));
  bool ok = std::fwrite(header, 1, sizeof header, out.get()) == sizeof header;
  BeginProgress("Writing film", frames);
  for (int i = 0; i < frames && ok; ++i) {
    Progress(i);
    std::uint8_t* red = buffer.data;
    std::uint8_t* green = red + plane;
    std::uint8_t* blue = green + plane;
    ImageRecord* slot = f.slots[i];
    if (!slot) {
      std::fill_n(buffer.data, plane * 3, std::uint8_t{0});
    } else {
      if (LockImage(slot) != 0) {
        EndProgress();
        ShowNote("Not enough real memory for save.");
        return 1;
      }
      std::size_t k = 0;
      for (int y = 0; y < f.frameHeight; ++y) {
        const std::uint8_t* p = PixelAt(slot, 0, y);
        for (int x = 0; x < f.frameWidth; ++x, ++k, p += 4) {
          red[k] = p[0];
          green[k] = p[1];
          blue[k] = p[2];
        }
      }
      UnlockImage(slot);
    }
    ok = std::fwrite(buffer.data, 1, plane * 3, out.get()) == plane * 3;
  }
  EndProgress();
  if (!ok || !out.Commit()) {
    Refuse(kMessageWriteProblem, name, "writing failed; the previous file is kept");
    return 1;
  }
  return 0;
}

int LoadFilmStrip(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::unique_ptr<std::FILE, FileCloserLocal> in(std::fopen(name.c_str(), "rb"));
  std::error_code ec;
  if (!in || std::filesystem::is_directory(path, ec)) {
    ShowMessageFile(kMessageCannotOpen, name);
    return 1;
  }
  std::uint8_t header[kFilmHeaderBytes] = {};
  const std::size_t got = std::fread(header, 1, sizeof header, in.get());
  if (got < 4 || std::memcmp(header, "ZFLM", 4) != 0) {
    if (got >= 6 && header[5] == 0xAF && (header[4] == 0x11 || header[4] == 0x12)) {
      in.reset();
      return LoadFlicIntoFilm(name);
    }
    ShowNote("File is not a Zelvane film strip", name);
    return 1;
  }
  if (got < kFilmHeaderBytes) {
    Refuse(kMessageDamaged, name, "the header is cut short");
    return 1;
  }
  const std::uint32_t width = GetU32(header + 4);
  const std::uint32_t height = GetU32(header + 8);
  const std::uint32_t count = GetU32(header + 12);
  if (width < 1 || width > kFilmMaxSide || height < 1 || height > kFilmMaxSide || count < 1 ||
      count > kFilmMaxFrames) {
    Refuse(kMessageDamaged, name,
           "width " + std::to_string(width) + ", height " + std::to_string(height) + ", frames " +
               std::to_string(count) + " (limits 1.." + std::to_string(kFilmMaxSide) + ", 1.." +
               std::to_string(kFilmMaxFrames) + ")");
    return 1;
  }
  // A whole film is up to 12 GiB: the file must hold every plane it claims
  // before anything is freed or allocated.
  const std::uint64_t frameBytes = std::uint64_t{3} * width * height;
  const std::uint64_t needed = kFilmHeaderBytes + frameBytes * count;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || size < needed) {
    Refuse(kMessageDamaged, name,
           std::to_string(ec ? 0 : size) + " bytes, " + std::to_string(needed) + " needed for " +
               std::to_string(count) + " frames of " + std::to_string(width) + " x " + std::to_string(height));
    return 1;
  }
  const int frames = static_cast<int>(count);
  if (ShorteningLoses(frames) && !AskToShorten(name, frames)) return 2;

  const std::size_t plane = std::size_t{width} * height;
  BufferPlace buffer(static_cast<std::int64_t>(frameBytes), "fiim");
  if (!buffer.data) {
    ShowNote("Not enough real memory for film.");
    return 1;
  }
  NewFrames loaded;
  loaded.images.reserve(count);
  BeginProgress("Reading film", frames);
  for (int i = 0; i < frames; ++i) {
    Progress(i);
    ImageRecord* image = CreateImageToFill(static_cast<int>(width), static_cast<int>(height), "aflm");
    if (!image) {
      EndProgress();
      ShowNote("Not enough memory for film.");
      return 1;
    }
    loaded.images.push_back(image);
    std::snprintf(image->name, sizeof image->name, "Film[%d]", i);
    image->bitDepth = 24;
    if (LockImage(image) != 0) {
      EndProgress();
      ShowNote("Not enough real memory for film.");
      return 1;
    }
    if (std::fread(buffer.data, 1, frameBytes, in.get()) != frameBytes) {
      UnlockImage(image);
      EndProgress();
      Refuse(kMessageDamaged, name, "frame " + std::to_string(i + 1) + " is cut short");
      return 1;
    }
    const std::uint8_t* red = buffer.data;
    const std::uint8_t* green = red + plane;
    const std::uint8_t* blue = green + plane;
    std::size_t k = 0;
    for (std::uint32_t y = 0; y < height; ++y) {
      std::uint8_t* p = PixelAt(image, 0, static_cast<int>(y));
      for (std::uint32_t x = 0; x < width; ++x, ++k, p += 4) {
        p[0] = red[k];
        p[1] = green[k];
        p[2] = blue[k];
        p[3] = 255;
      }
    }
    UnlockImage(image);
  }
  EndProgress();

  // The file is whole: only now does the film change.
  FilmStrip& f = Film();
  StopPlayback();
  // (The TimeLine keeps at least two frames: a one-frame film leaves one empty.)
  if (frames != FrameCount() && ChangeFrameCount(frames) != 0) return 1;
  FreeFilm();
  f.frameWidth = static_cast<int>(width);
  f.frameHeight = static_cast<int>(height);
  Prefs().filmWidth = f.frameWidth;
  Prefs().filmHeight = f.frameHeight;
  if (EnsureFilm() != 0) return 1;
  for (int i = 0; i < frames && i < f.length; ++i) {
    f.slots[i] = loaded.images[static_cast<std::size_t>(i)];
    loaded.images[static_cast<std::size_t>(i)] = nullptr;
  }
  std::fill_n(f.used, f.length, std::uint8_t{1});
  if (f.redraw) f.redraw();
  return 0;
}

}  // namespace qv
