// The drivers' fast paths against the results the plain per-pixel drivers
// gave: every colour operation on a random picture through a random, partly
// covering mask, in both affect modes.
#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ops/apply_test_support.h"
#include "base/progress.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv::test {
namespace {

constexpr int kWidth = 83, kHeight = 61;

std::uint64_t Fnv(const std::uint8_t* bytes, std::size_t n, std::uint64_t h = 1469598103934665603ull) {
  for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

class DriverResultsTest : public ApplyTest {
 protected:
  // A random picture, the action image, and a mask that is random inside a
  // box a little smaller than the picture: 0, 255 and everything between,
  // in runs as a soft-edged selection has them.
  ImageRecord* RandomPicture(std::uint32_t seed, int width = kWidth, int height = kHeight) {
    std::uint32_t s = seed;
    auto next = [&s] {
      s = s * 1664525u + 1013904223u;
      return s >> 8;
    };
    ImageRecord* image = Add(width, height, [&](int, int) {
      return std::array<int, 4>{int(next() & 255), int(next() & 255), int(next() & 255), int(next() & 255)};
    });
    image->hasAlpha = 1;
    SelectEntireImage();
    EXPECT_EQ(BuildAreaMask(image, 0), 0);
    AreaSelection& sel = TheProgram().area.selection;
    sel.left = 2, sel.top = 3, sel.right = width - 4, sel.bottom = height - 2;
    AreaMask& m = TheProgram().area.mask;
    auto* mask = static_cast<std::uint8_t*>(LockVirtual(m.place));
    int value = 0, run = 0;
    for (int i = 0; i < width * height; ++i) {
      if (run-- <= 0) {
        run = int(next() % 9);
        const std::uint32_t kind = next() % 4;
        value = kind == 0 ? 0 : kind == 1 ? 255 : int(next() % 254) + 1;
      }
      mask[i] = static_cast<std::uint8_t>(value);
    }
    UnlockVirtual(m.place);
    SetWorkMethod(kDrawFirst);
    return image;
  }

  static void Restore(ImageRecord* image, const std::vector<std::uint8_t>& pixels) {
    LockImage(image);
    std::memcpy(image->pixels, pixels.data(), pixels.size());
    UnlockImage(image);
  }
};

struct Case {
  const char* name;
  OpId op;
  void (*configure)();
};

void Balanced() {
  SampleColour& s = Pipeline().colour.sample;
  s.red = 140, s.green = 0, s.blue = 90;
  SetParamValue(3184, 1, 30);
}
void Mapped() {
  auto& map = Pipeline().colour.histogramMap;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) map[c][i] = static_cast<std::int16_t>((i * (3 + c) + 17 * c) % 300 - 20);
}
void Remapped() {
  PaletteRecord& from = Pipeline().colour.remapFrom;
  PaletteRecord& to = Pipeline().colour.remapTo;
  from.count = to.count = 16;
  for (int i = 0; i < 16; ++i) {
    from.red[i] = from.green[i] = static_cast<std::uint8_t>(i * 16);
    from.blue[i] = static_cast<std::uint8_t>(255 - i * 16);
    to.red[i] = static_cast<std::uint8_t>(255 - i * 16);
    to.green[i] = static_cast<std::uint8_t>(i * 7);
  }
  SetParamValue(3189, 0, 60);
}

const Case kCases[] = {
    {"Contrast", 3181, [] { SetParamValue(3181, 0, 40); }},
    {"ContrastDown", 3181, [] { SetParamValue(3181, 0, -70); }},
    {"Brightness", 3182, [] { SetParamValue(3182, 0, 25); }},
    {"Gamma", 3183, nullptr},
    {"ColorFill", 3186, [] { SetParamValue(3186, 0, 200), SetParamValue(3186, 1, 30), SetParamValue(3186, 2, 90); }},
    {"Balance", 3184, Balanced},
    {"HistogramMap", 3185, Mapped},
    {"Colorize", 3188, [] { SetParamValue(3188, 0, 200); }},
    {"ColorizeSaturation", 3188, [] { SetParamValue(3188, 0, 75), SetParamValue(3188, 2, 1); }},
    {"Remap", 3189, Remapped},
    {"Monochrome", 3179, nullptr},
    {"MonochromeAverage", 3179, [] { SetParamValue(3179, 0, 1); }},
    {"KeyToAlpha", 3193, [] { SetParamValue(3193, 7, 1); }},
    {"InvertAlpha", 3194, nullptr},
    {"HardenAlpha", 3195, [] { SetParamValue(3195, 1, 50); }},
};

// What the plain drivers gave for each case, RGB-only then alpha-only.
const std::uint64_t kExpected[][2] = {
    {0x6d92505a78a9d39full, 0x6302c3684c5812e9ull},  // Contrast
    {0x4b92964ffb09e923ull, 0x804e256bbed06cbbull},  // ContrastDown
    {0xa1c53c0f441c7117ull, 0x84c636128a776957ull},  // Brightness
    {0x36798a53a61fa633ull, 0x96b28992d2d7334eull},  // Gamma
    {0x24d0e79fd944bec2ull, 0xc25f1760859dc0efull},  // ColorFill
    {0xea79b9e78e77442cull, 0xcbb7f142d1e52b64ull},  // Balance
    {0x630007362997404full, 0x846fdf28c0bfbc28ull},  // HistogramMap
    {0x585d29f278c59ef7ull, 0xf674e90fe649f56aull},  // Colorize
    {0x7d5b11c82ee55e32ull, 0xf0e3ae9ccb8cd6dbull},  // ColorizeSaturation
    {0xfa62eb3c275abb2aull, 0xc6244f4f6f0cb691ull},  // Remap
    {0xae54fa33111d46dbull, 0x7404644a077b4c96ull},  // Monochrome
    {0x00942a67f5161dafull, 0x6286c04938c3d07dull},  // MonochromeAverage
    {0x24f1cc456c9be92bull, 0x24f1cc456c9be92bull},  // KeyToAlpha
    {0xf8c053f3647d9b46ull, 0xf8c053f3647d9b46ull},  // InvertAlpha
    {0xaf68e6f219647ab2ull, 0xaf68e6f219647ab2ull},  // HardenAlpha
};

TEST_F(DriverResultsTest, EveryColourOperationThroughAPartialMaskGivesTheSameBytesAsBefore) {
  std::string table;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    for (int mode = 0; mode < 2; ++mode) {
      ResetProgram();
      ASSERT_EQ(InitImageTable(), 0);
      ImageRecord* image = RandomPicture(static_cast<std::uint32_t>(1234 + i));
      TheProgram().settings.modAlpha = mode == 0 ? kAffectRgbOnly : kAffectAlphaOnly;
      if (kCases[i].configure) kCases[i].configure();
      const std::vector<std::uint8_t> before = Pixels(image);
      const int result = Apply(static_cast<int>(kCases[i].op), 0);
      const std::vector<std::uint8_t> after = Pixels(image);
      const std::uint64_t sum = Fnv(after.data(), after.size());
      char line[96];
      std::snprintf(line, sizeof line, "%s0x%016llxull", mode == 0 ? "    {" : ", ", static_cast<unsigned long long>(sum));
      table += line;
      if (mode == 1) table += std::string("},  // ") + kCases[i].name + "\n";
      EXPECT_EQ(result, 0) << kCases[i].name;
      if (mode == 0) {
        EXPECT_NE(after, before) << kCases[i].name << " changed nothing";
      }
      if (i < std::size(kExpected)) {
        EXPECT_EQ(sum, kExpected[i][mode]) << kCases[i].name << (mode == 0 ? " (RGB)" : " (alpha)");
      }
    }
  }
  EXPECT_EQ(std::size(kExpected), std::size(kCases)) << "table:\n" << table;
}

// Workers whose result depends on the pixel, its place and its mask value,
// as an effect's would.
void PointShade(std::uint8_t* p, int m) {
  p[0] = static_cast<std::uint8_t>(p[0] * m / 255 + p[2] / 3);
  p[3] = static_cast<std::uint8_t>(p[3] ^ m);
}
void PointShadeRow(std::uint8_t* p, const std::uint8_t* mask, int count) {
  for (int i = 0; i < count; ++i, p += 4)
    if (mask[i]) PointShade(p, mask[i]);
}
std::uint32_t ValueTwist(std::uint32_t v) { return (v * 2654435761u) ^ (v >> 7); }
void PixelPlace(std::uint8_t* p, int x, int y, int m) {
  p[1] = static_cast<std::uint8_t>(x * 7 + y * 3 + m);
  p[2] = static_cast<std::uint8_t>(p[2] + (x ^ y));
}
// A warp reads the picture as it was, from the undo copy of the box.
void WarpFromCopy(std::uint8_t* p, int x, int y, int m) {
  ImageRecord* copy = Ctx().undo;
  const int sx = copy->width - 1 - (x - Ctx().x0) % copy->width, sy = (y - Ctx().y0) % copy->height;
  const std::uint8_t* s = PixelAt(copy, sx, sy);
  for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>((s[k] * m + p[k] * (255 - m)) / 255);
}
int WholeImage(std::uint8_t* pixels, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  for (int y = c.y0; y <= c.y1; ++y)
    for (int x = c.x0; x <= c.x1; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * c.image->width + x;
      pixels[at * 4] = static_cast<std::uint8_t>(pixels[at * 4] + mask[at]);
    }
  return 0;
}

class ThreadedDriverTest : public DriverResultsTest {
 protected:
  // Publishes a worker of each kind over a box of some 70 000 pixels, enough
  // to be shared out, with this many threads.
  ImageRecord* Publish(std::uint32_t seed, int threads) {
    ResetProgram();
    host = &InstallHost<RecordingHost>();
    EXPECT_EQ(InitImageTable(), 0);
    ImageRecord* image = RandomPicture(seed, 331, 229);
    SetUndoLevels(TheProgram().undo.levels, 1);
    TheProgram().settings.threads = threads;
    ApplyContext& c = Ctx();
    c = ApplyContext{};
    c.image = image;
    c.op = 3181;
    c.x0 = 2, c.y0 = 3, c.x1 = 327, c.y1 = 227;
    c.routines.pointWorker = PointShade;
    c.routines.valueWorker = ValueTwist;
    c.routines.pixelWorker = PixelPlace;
    c.routines.imageWorker = WholeImage;
    return image;
  }

  std::vector<std::uint8_t> After(ApplyKind kind, int threads, bool rowWorker) {
    ImageRecord* image = Publish(77, threads);
    if (rowWorker) Ctx().routines.pointRow = PointShadeRow;
    if (kind == ApplyKind::Warp) Ctx().routines.pixelWorker = WarpFromCopy;
    EXPECT_EQ(RunDriver(kind), 0);
    EXPECT_EQ(image->lockCount, 0);
    return Pixels(image);
  }
};

TEST_F(ThreadedDriverTest, EveryDriverGivesTheSameBytesWithOneThreadAndWithSeveral) {
  const ApplyKind kinds[] = {ApplyKind::Point, ApplyKind::Value, ApplyKind::Pixel, ApplyKind::Generation,
                             ApplyKind::Warp, ApplyKind::Image};
  for (ApplyKind kind : kinds)
    for (bool rowWorker : {false, true}) {
      if (rowWorker && kind != ApplyKind::Point) continue;
      const std::vector<std::uint8_t> one = After(kind, 1, rowWorker);
      for (int threads : {2, 3, 8})
        EXPECT_EQ(After(kind, threads, rowWorker), one) << ApplyKindName(kind) << " with " << threads << " threads";
    }
}

// Sample counts its histograms in bands when the box is large; the twelve
// values must not depend on how the rows were shared out.
TEST_F(DriverResultsTest, SampleGivesTheSameValuesWithOneThreadAndWithSeveral) {
  auto measure = [&](int threads, bool extremes) {
    ResetProgram();
    EXPECT_EQ(InitImageTable(), 0);
    RandomPicture(31, 331, 229);
    TheProgram().settings.threads = threads;
    SetParamValue(3187, 1, extremes ? 1 : 0);
    EXPECT_EQ(Apply(3187, 0), 0);
    const SampleColour& s = Pipeline().colour.sample;
    return std::array<int, 12>{s.red,        s.green,      s.blue,       s.redRange,        s.greenRange,
                               s.blueRange,  s.hue,        s.saturation, s.lightness,       s.hueRange,
                               s.saturationRange, s.lightnessRange};
  };
  for (bool extremes : {false, true}) {
    const auto one = measure(1, extremes);
    for (int threads : {2, 3, 8}) EXPECT_EQ(measure(threads, extremes), one) << threads << " threads";
  }
}

// Rows past the first hundred wait, on the other threads, until this thread
// has reported twice: the stop then comes with work still running.
std::atomic<bool> released{false};
std::thread::id reporter;
void HeldBack(std::uint8_t* p, int x, int y, int m) {
  if (y > 100 && std::this_thread::get_id() != reporter)
    while (!released.load()) std::this_thread::yield();
  PixelPlace(p, x, y, m);
}

void HeldBackPoint(std::uint8_t* p, int m) {
  if (std::this_thread::get_id() != reporter)
    while (!released.load()) std::this_thread::yield();
  PointShade(p, m);
}
std::uint32_t HeldBackValue(std::uint32_t v) {
  if (std::this_thread::get_id() != reporter)
    while (!released.load()) std::this_thread::yield();
  return ValueTwist(v);
}

// Point and Value boxes have their undo copy filled row by row as the rows
// are reached: after a stop, and after a whole run, it must still hold the
// whole box as it was.
TEST_F(ThreadedDriverTest, AStopWhileTheRowsAreSharedOutPutsTheBoxBack) {
  for (ApplyKind kind : {ApplyKind::Pixel, ApplyKind::Point, ApplyKind::Value})
    for (int threads : {1, 3}) {
      ImageRecord* image = Publish(5, threads);
      const std::vector<std::uint8_t> before = Pixels(image);
      Ctx().routines.pixelWorker = HeldBack;
      Ctx().routines.pointWorker = HeldBackPoint;
      Ctx().routines.valueWorker = HeldBackValue;
      reporter = std::this_thread::get_id();
      released = false;
      int reports = 0;
      host->onPump = [&] {
        if (++reports < 2) return;
        RequestStop();
        released = true;
      };
      EXPECT_EQ(RunDriver(kind), 1) << ApplyKindName(kind) << threads;
      EXPECT_EQ(Pixels(image), before) << ApplyKindName(kind) << threads;
      EXPECT_EQ(image->lockCount, 0);
      EXPECT_FALSE(IsBusy());

      released = true;
      host->onPump = nullptr;
      EXPECT_EQ(RunDriver(kind), 0) << ApplyKindName(kind) << threads;
      EXPECT_NE(Pixels(image), before) << ApplyKindName(kind) << threads;
      EXPECT_EQ(UndoLatest(image), 0);
      EXPECT_EQ(Pixels(image), before) << ApplyKindName(kind) << threads << " undone";
    }
}

}  // namespace
}  // namespace qv::test
