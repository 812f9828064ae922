#include "anim/film_strip.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "anim/anim_state.h"
#include "anim/timeline.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "display/render.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageRecordLock = 2;
constexpr int kMessageInsertLock = 3;
constexpr int kMessageNewFilm = 4;
constexpr int kMessageNoFilm = 19;
constexpr int kMessageNoMemory = 22;
constexpr int kMessageNewFrame = 50;
constexpr int kMessageEmptyFilm = 56;
constexpr int kMessageNoTimer = 77;
constexpr int kMessageRendering = 100;
constexpr int kFilmStep = 8;  // Rewind and Forward

constexpr const char* kSlotTableTag = "flms";
constexpr const char* kFlagsTag = "FmUsed";
constexpr const char* kBitmapTableTag = "flmb";

template <class T>
T* AllocTable(long count, const char* tag) {
  return static_cast<T*>(AllocReal(static_cast<std::int64_t>(sizeof(T)) * std::max(count, 1L), tag));
}

void FreeBitmap(PlaceHandle& bitmap) {
  if (bitmap) FreeVirtual(bitmap);
  bitmap = nullptr;
}

void Redraw() {
  if (Film().redraw) Film().redraw();
}

// A film frame's pixels: the colour bytes, and an opaque alpha so that the
// frame shows the same wherever an image is drawn.
inline void PutColour(std::uint8_t* to, const std::uint8_t* from) {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
  to[3] = 255;
}

// A resolution field of 0 would make the aspect infinite or zero.
double Field(std::int32_t v) { return v == 0 ? 0.0001 : static_cast<double>(v); }

struct ImageLock {
  explicit ImageLock(ImageRecord* i) : image(i), ok(LockImage(i) == 0) {}
  ~ImageLock() {
    if (ok) UnlockImage(image);
  }
  ImageRecord* image;
  bool ok;
};

}  // namespace

FilmFit FitIntoFrame(const ImageRecord& image, int frameWidth, int frameHeight) {
  const double resX = Field(image.dpiXNum) / Field(image.dpiXDen);
  const double resY = Field(image.dpiYNum) / Field(image.dpiYDen);
  // The picture's shape as shown: its size in inches, not in pixels.
  const double shownWidth = std::max(image.width, 1) / resX;
  const double shownHeight = std::max(image.height, 1) / resY;
  FilmFit fit;
  double height = std::floor(frameWidth * shownHeight / shownWidth);
  if (height > frameHeight) {
    fit.height = frameHeight;
    double width = std::floor(frameHeight * shownWidth / shownHeight);
    fit.width = static_cast<int>(std::clamp(width, 1.0, static_cast<double>(frameWidth)));
  } else {
    fit.width = frameWidth;
    fit.height = static_cast<int>(std::max(height, 1.0));
  }
  fit.left = (frameWidth - fit.width) / 2;
  fit.top = (frameHeight - fit.height) / 2;
  return fit;
}

bool FilmHasSlots() {
  const FilmStrip& f = Film();
  for (int i = 0; i < f.length; ++i)
    if (f.slots[i]) return true;
  return false;
}

int EnsureFilm() {
  FilmStrip& f = Film();
  if (f.length > 0) return 0;
  const int frames = std::max(FrameCount(), 1);
  auto* slots = AllocTable<ImageRecord*>(frames, kSlotTableTag);
  if (!slots) {
    ShowErrorBox("No real memory for film image");
    return 1;
  }
  auto* used = AllocTable<std::uint8_t>(frames + kFilmFlagSlack, kFlagsTag);
  auto* bitmaps = used ? AllocTable<PlaceHandle>(frames, kBitmapTableTag) : nullptr;
  if (!used || !bitmaps) {
    if (used) FreeReal(used, kFlagsTag);
    FreeReal(slots, kSlotTableTag);
    ShowMessageWith(kMessageNoMemory, "For filmstrip array");
    return 1;
  }
  std::fill_n(slots, frames, nullptr);
  std::fill_n(used, frames + kFilmFlagSlack, std::uint8_t{0});
  std::fill_n(bitmaps, frames, nullptr);
  f.slots = slots;
  f.used = used;
  f.bitmaps = bitmaps;
  f.length = frames;
  const Settings& s = Prefs();
  f.frameWidth = std::clamp(s.filmWidth, 1, kFilmMaxSide);
  f.frameHeight = std::clamp(s.filmHeight, 1, kFilmMaxSide);
  f.current = std::clamp(f.current, 0, frames - 1);
  return 0;
}

int ResizeFilm(long oldCount, long newCount) {
  FilmStrip& f = Film();
  if (f.length == 0) return 0;  // made with the new count on first use
  (void)oldCount;               // the film knows its own length
  const long old = f.length;
  newCount = std::clamp(newCount, 1L, static_cast<long>(kMaxFrames));
  if (newCount == old) return 0;
  auto* slots = AllocTable<ImageRecord*>(newCount, kSlotTableTag);
  auto* used = slots ? AllocTable<std::uint8_t>(newCount + kFilmFlagSlack, kFlagsTag) : nullptr;
  auto* bitmaps = used ? AllocTable<PlaceHandle>(newCount, kBitmapTableTag) : nullptr;
  if (!bitmaps) {
    if (used) FreeReal(used, kFlagsTag);
    if (slots) FreeReal(slots, kSlotTableTag);
    ShowMessage(kMessageNewFilm);
    return 1;
  }
  const long keep = std::min(old, newCount);
  std::fill_n(slots, newCount, nullptr);
  std::fill_n(used, newCount + kFilmFlagSlack, std::uint8_t{0});
  std::fill_n(bitmaps, newCount, nullptr);
  std::copy_n(f.slots, keep, slots);
  std::copy_n(f.used, keep, used);
  std::copy_n(f.bitmaps, keep, bitmaps);
  for (long i = keep; i < old; ++i) {
    if (f.slots[i]) FreeImage(f.slots[i]);
    FreeBitmap(f.bitmaps[i]);
  }
  FreeReal(f.slots, kSlotTableTag);
  FreeReal(f.used, kFlagsTag);
  FreeReal(f.bitmaps, kBitmapTableTag);
  f.slots = slots;
  f.used = used;
  f.bitmaps = bitmaps;
  f.length = static_cast<int>(newCount);
  f.current = std::min(f.current, f.length - 1);
  f.playPosition = std::min(f.playPosition, f.length - 1);
  Redraw();
  return 0;
}

namespace {

void CopyNearest(const ImageRecord& from, ImageRecord& to, const FilmFit& fit,
                 const std::array<std::uint8_t, 3>& background, const char* progressTitle) {
  const std::uint8_t back[3] = {background[0], background[1], background[2]};
  const std::int64_t sourceWidth = from.width;
  const std::int64_t sourceHeight = from.height;
  // The source column of every target column, worked out once.
  std::vector<std::uint32_t> columns(static_cast<std::size_t>(fit.width));
  for (int x = 0; x < fit.width; ++x) columns[x] = static_cast<std::uint32_t>(x * sourceWidth / fit.width);
  if (progressTitle) BeginProgress(progressTitle, to.height);
  for (int y = 0; y < to.height; ++y) {
    if (progressTitle) Progress(y);
    std::uint8_t* out = to.pixels + std::size_t{to.rows[y]} * 4;
    const int sy = y - fit.top;
    if (sy < 0 || sy >= fit.height) {
      for (int x = 0; x < to.width; ++x) PutColour(out + std::size_t(x) * 4, back);
      continue;
    }
    const std::uint8_t* in =
        from.pixels + std::size_t{from.rows[static_cast<std::size_t>(sy * sourceHeight / fit.height)]} * 4;
    for (int x = 0; x < to.width; ++x) {
      const int sx = x - fit.left;
      PutColour(out + std::size_t(x) * 4,
                sx < 0 || sx >= fit.width ? back : in + std::size_t{columns[static_cast<std::size_t>(sx)]} * 4);
    }
  }
  if (progressTitle) EndProgress();
}

}  // namespace

int PlaceImage(const ImageRecord& image, long frame) {
  if (EnsureFilm() != 0) return 1;
  FilmStrip& f = Film();
  if (frame < 0 || frame >= f.length) return 0;
  // Locking counts uses; it leaves the pixels as they are.
  ImageLock source(const_cast<ImageRecord*>(&image));
  if (!source.ok) {
    ShowMessage(kMessageRecordLock);
    return 1;
  }
  ImageRecord*& slot = f.slots[frame];
  if (!slot) {
    slot = CreateImageToFill(f.frameWidth, f.frameHeight, "iflm");
    if (!slot) {
      ShowMessage(kMessageNewFrame);
      return 1;
    }
    std::snprintf(slot->name, sizeof slot->name, "Film[%ld]", frame);
    slot->bitDepth = 24;
  }
  ImageLock target(slot);
  if (!target.ok) {
    ShowMessage(kMessageInsertLock);
    return 1;
  }
  CopyNearest(image, *slot, FitIntoFrame(image, f.frameWidth, f.frameHeight), f.background, "Film");
  f.used[frame] = 1;
  return 0;
}

int RescaleFilm(int newWidth, int newHeight) {
  FilmStrip& f = Film();
  newWidth = std::clamp(newWidth, 1, kFilmMaxSide);
  newHeight = std::clamp(newHeight, 1, kFilmMaxSide);
  if (f.length == 0) {
    f.frameWidth = newWidth;
    f.frameHeight = newHeight;
    return 0;
  }
  if (newWidth == f.frameWidth && newHeight == f.frameHeight) return 0;
  // Every new frame first: a film of two sizes would be written wrongly.
  std::vector<ImageRecord*> scaled(static_cast<std::size_t>(f.length), nullptr);
  auto dropScaled = [&] {
    for (ImageRecord* image : scaled)
      if (image) FreeImage(image);
  };
  const FilmFit whole{newWidth, newHeight, 0, 0};
  BeginProgress("Scaling film", f.length);
  for (int i = 0; i < f.length; ++i) {
    Progress(i);
    if (!f.slots[i]) continue;
    ImageRecord* to = CreateImageToFill(newWidth, newHeight, "iflm");
    if (!to) {
      EndProgress();
      dropScaled();
      ShowMessage(kMessageNewFilm);
      return 1;
    }
    scaled[static_cast<std::size_t>(i)] = to;
    std::snprintf(to->name, sizeof to->name, "%s", f.slots[i]->name);
    to->bitDepth = 24;
    ImageLock in(f.slots[i]);
    ImageLock out(to);
    if (!in.ok || !out.ok) {
      EndProgress();
      dropScaled();
      ShowMessage(kMessageNewFilm);
      return 1;
    }
    CopyNearest(*f.slots[i], *to, whole, f.background, nullptr);
  }
  EndProgress();
  for (int i = 0; i < f.length; ++i) {
    if (f.slots[i]) FreeImage(f.slots[i]);
    f.slots[i] = scaled[static_cast<std::size_t>(i)];
    f.used[i] = 1;
    FreeBitmap(f.bitmaps[i]);
  }
  f.frameWidth = newWidth;
  f.frameHeight = newHeight;
  Redraw();
  return 0;
}

void UpdateFilmAfterOperation(const ImageRecord& image) {
  FilmStrip& f = Film();
  if (!f.windowOpen) return;
  const int mode = Prefs().filmScrolling;
  if (mode == kFilmNoUpdate) return;
  if (EnsureFilm() != 0) return;
  if (mode == kFilmPlaceCurrent) {
    if (PlaceImage(image, f.current) == 0) Redraw();
    return;
  }
  // Scroll: the oldest picture leaves at the start, the new one enters at the end.
  if (f.slots[0]) FreeImage(f.slots[0]);
  FreeBitmap(f.bitmaps[0]);
  std::copy(f.slots + 1, f.slots + f.length, f.slots);
  std::copy(f.bitmaps + 1, f.bitmaps + f.length, f.bitmaps);
  std::copy(f.used + 1, f.used + f.length, f.used);
  f.slots[f.length - 1] = nullptr;
  f.bitmaps[f.length - 1] = nullptr;
  (void)PlaceImage(image, f.length - 1);
  Redraw();
}

void EjectFilm() {
  FilmStrip& f = Film();
  StopPlayback();
  for (int i = 0; i < f.length; ++i) {
    if (f.slots[i]) FreeImage(f.slots[i]);
    f.slots[i] = nullptr;
    f.used[i] = 1;
    FreeBitmap(f.bitmaps[i]);
  }
  Redraw();
}

void FreeFilm() {
  FilmStrip& f = Film();
  if (f.length > 0) {
    EjectFilm();
    FreeReal(f.slots, kSlotTableTag);
    FreeReal(f.used, kFlagsTag);
    FreeReal(f.bitmaps, kBitmapTableTag);
  }
  f.slots = nullptr;
  f.used = nullptr;
  f.bitmaps = nullptr;
  f.length = 0;
  f.current = 0;
  f.playPosition = 0;
}

// ---- display and playback ----

int RenderFilm(int mode) {
  FilmStrip& f = Film();
  if (f.length == 0) return 0;
  f.rendering = true;
  int result = 0;
  for (int i = 0; i < f.length && result == 0; ++i) {
    if (!f.slots[i]) {
      FreeBitmap(f.bitmaps[i]);
      f.used[i] = 0;
      continue;
    }
    if (!f.used[i] && f.bitmaps[i]) continue;
    PlaceHandle bitmap = RenderView(f.slots[i], nullptr, f.bitmaps[i], mode, 0, f.slots[i]->height - 1);
    f.bitmaps[i] = bitmap;
    if (!bitmap) result = 1;
    else f.used[i] = 0;
  }
  f.rendering = false;
  return result;
}

bool FilmRendered() {
  const FilmStrip& f = Film();
  for (int i = 0; i < f.length; ++i)
    if (f.bitmaps[i]) return true;
  return false;
}

int PlaybackInterval(int speed) {
  const double fraction = std::clamp(speed, 0, 1000) / 1000.0;
  return 1000 - static_cast<int>(std::floor(1000.0 * std::pow(fraction, 0.2)));
}

int PlaybackTick() {
  FilmStrip& f = Film();
  const int frames = std::max(f.length, 1);
  f.playPosition = std::clamp(f.playPosition, 0, frames - 1);
  const int drawn = f.playPosition;
  const Settings& s = Prefs();
  const bool pong = s.filmPong != 0;
  if (!pong) f.direction = s.filmReverse ? -1 : 1;
  int& pos = f.playPosition;
  if (pos >= frames - 1) {
    if (pong) f.direction = -1;
    else if (f.direction == 1) pos = -1;
  } else if (pos < 1) {
    if (pong) f.direction = 1;
    else if (f.direction == -1) pos = frames;
  }
  pos += f.direction;
  return drawn;
}

int StartPlayback() {
  FilmStrip& f = Film();
  if (f.playing) return 0;
  if (!FilmRendered()) {
    ShowMessage(kMessageNoFilm);
    return 1;
  }
  if (!f.startTimer || !f.startTimer(kFilmTimerId, PlaybackInterval(Prefs().filmSpeed))) {
    ShowMessage(kMessageNoTimer);
    return 1;
  }
  f.playPosition = std::clamp(f.current, 0, f.length - 1);
  f.playing = true;
  return 0;
}

void StopPlayback() {
  FilmStrip& f = Film();
  if (!f.playing) return;
  if (f.stopTimer) f.stopTimer(kFilmTimerId);
  f.playing = false;
}

void SetPlaybackSpeed(int speed) {
  FilmStrip& f = Film();
  Prefs().filmSpeed = std::clamp(speed, 0, 1000);
  if (!f.playing) return;
  if (f.stopTimer) f.stopTimer(kFilmTimerId);
  if (!f.startTimer || !f.startTimer(kFilmTimerId, PlaybackInterval(Prefs().filmSpeed))) {
    f.playing = false;
    ShowMessage(kMessageNoTimer);
  }
}

void SetCurrentFilmFrame(long frame) {
  FilmStrip& f = Film();
  const long last = std::max(f.length > 0 ? f.length : FrameCount(), 1) - 1;
  f.current = static_cast<int>(std::clamp(frame, 0L, last));
  Redraw();
}

std::string FilmPositionText() {
  const FilmStrip& f = Film();
  const long total = f.length > 0 ? f.length : FrameCount();
  char text[32];
  std::snprintf(text, sizeof text, "%3ld /%3ld", static_cast<long>(f.current) + 1, total);
  return text;
}

std::string FilmTimeText(int millisPerFrame) {
  const long t = static_cast<long>(Film().current) * std::max(millisPerFrame, 0);
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld.%03ld", (t / 60000) % 60, (t / 1000) % 60, t % 1000);
  return text;
}

// ---- window commands ----

int FilmWindowCommand(int id, int value) {
  FilmStrip& f = Film();
  const long frames = f.length > 0 ? f.length : FrameCount();
  const long at = f.current;
  switch (id) {
    case 9700: HelpOn("Filmstrip"); return 0;
    case 9701:
      if (f.playing) {
        StopPlayback();
        return 0;
      }
      return StartPlayback();
    case 9702: SetCurrentFilmFrame(0); return 0;
    case 9703: SetCurrentFilmFrame(frames - 1); return 0;
    case 9704: SetCurrentFilmFrame(at - kFilmStep); return 0;
    case 9705: SetCurrentFilmFrame(at + kFilmStep); return 0;
    case 9706: StopPlayback(); return 0;
    case 9707: return EjectFilmCommand() == 1 ? 1 : 0;
    case 9708: SetCurrentFilmFrame(static_cast<long>(std::clamp(value, 0, 1000)) * frames / 1001); return 0;
    case 9710: SetCurrentFilmFrame(at + 1); return 0;
    case 9711: SetCurrentFilmFrame(at - 1); return 0;
    case 9712: SetPlaybackSpeed(value); return 0;
    default: return 1;
  }
}

int EjectFilmCommand() {
  if (!FilmHasSlots()) {
    ShowMessage(kMessageEmptyFilm);
    return 1;
  }
  MessageRequest r;
  r.kind = MessageKind::Plain;
  r.dialog = "EjectFilm";
  r.title = "Eject Film Strip";
  r.text = "Eject Film Strip";
  r.buttons = {"Save film strip before ejecting", "OK  - Eject film strip and discard", "CANCEL  - Do not eject"};
  r.results = {1, 2, 0};
  r.closeResult = 0;
  switch (TheHost().RunMessage(r)) {
    case 1:
      if (SaveFilmCommand() != 0) return 2;
      [[fallthrough]];
    case 2:
      EjectFilm();
      return 0;
    default: return 2;
  }
}

int LoadFilmCommand() {
  Settings& s = Prefs();
  std::vector<std::string> files = TheHost().ChooseFiles({"Load Film strip", "Film strips (*.FLM)", s.filmPath, false});
  if (files.empty()) return 2;
  const int result = LoadFilmStrip(files.front());
  if (result == 0) {
    s.filmPath = std::filesystem::path(files.front()).parent_path().string();
    RememberRecentFile(files.front());
  }
  return result;
}

int SaveFilmCommand() {
  Settings& s = Prefs();
  std::string name = TheHost().ChooseSaveFile({"Save Film strip", "Film strips (*.FLM)", s.filmPath, false});
  if (name.empty()) return 2;
  std::filesystem::path path(name);
  if (!path.has_extension()) path += ".FLM";
  const int result = SaveFilmStrip(path);
  if (result == 0) s.filmPath = path.parent_path().string();
  return result;
}

bool RefuseFilmClose() {
  if (!Film().rendering) return false;
  ShowMessageWith(kMessageRendering, "Cannot close the film.");
  return true;
}

}  // namespace qv
