#include "area/area_files.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <vector>

#include "area/area_mask.h"
#include "area/key_colour.h"
#include "base/atomic_file.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/text_words.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpen = 71;
constexpr int kMessageWrongType = 42;
constexpr int kMessageShapeNotFound = 63;
constexpr std::string_view kAreaHeader = "AREASELECT Pixanta:Q/v File";



// The mode words of the file, in the order the reader tries their prefixes.
struct ModeWord {
  std::string_view written;  // the word after "Mode: "
  std::string_view prefix;   // what the reader compares
  int mode;
};
constexpr ModeWord kModeWords[] = {
    {"FREEHAND", "FREE", kAreaFreehand}, {"POLYGON", "POLYG", kAreaPolygon}, {"ISHAPE", "ISH", kAreaIShape},
    {"RECT", "RECT", kAreaRectangle},    {"ROUNDRECT", "ROUN", kAreaRoundRect}, {"ELLIPSE", "ELLI", kAreaEllipse},
    {"POLYARC", "POLYA", kAreaPolyArc},  {"SPLINE", "SPLI", kAreaSpline},   {"BEZIER", "BEZ", kAreaBezier},
    {"NUMRECT", "NUM", kAreaNumRect},    {"FLOOD", "FLOO", kAreaColourWand}, {"KEY", "KEY", kAreaColourKey},
    {"ENTIRE", "ENT", kAreaEntire},      {"FONT", "FONT", kAreaFont},       {"REDO", "REDO", kAreaRedo},
};

const ModeWord* WordOfMode(int mode) {
  for (const ModeWord& w : kModeWords)
    if (w.mode == mode) return &w;
  return nullptr;
}

std::string Format(const char* format, auto... values) {
  char buffer[128];
  int n = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

bool IsPointMode(int mode) { return mode == kAreaFreehand || mode == kAreaPolygon || mode == kAreaIShape; }
bool IsCurveMode(int mode) { return mode == kAreaPolyArc || mode == kAreaSpline || mode == kAreaBezier; }

// A coordinate or count as "%ld" reads it, refused beyond what any image
// could use.
std::optional<std::int32_t> Coordinate(const std::vector<std::string>& words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  auto v = ParseLong(words[i]);
  if (!v || *v < -kAreaFileCoordinateLimit || *v > kAreaFileCoordinateLimit) return std::nullopt;
  return static_cast<std::int32_t>(*v);
}

// A floating-point word as "%lf" reads it; non-finite values are refused.
std::optional<double> Real(const std::vector<std::string>& words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  const std::string& w = words[i];
  char* end = nullptr;
  double v = std::strtod(w.c_str(), &end);
  if (end == w.c_str() || !std::isfinite(v) || std::fabs(v) > kAreaFileCoordinateLimit) return std::nullopt;
  return v;
}

// The Font transform a file may set: anything larger makes glyph bitmaps no
// image could hold.
constexpr double kMaxMagnification = 100.0;
float FontScale(double v) { return static_cast<float>(std::clamp(v, -kMaxMagnification, kMaxMagnification)); }

// Left, top, right and bottom of points (at least one).
std::array<int, 4> Bounds(const AreaPoint* p, std::size_t n) {
  std::array<int, 4> b{p[0].x, p[0].y, p[0].x, p[0].y};
  for (std::size_t i = 1; i < n; ++i) {
    b[0] = std::min(b[0], p[i].x), b[2] = std::max(b[2], p[i].x);
    b[1] = std::min(b[1], p[i].y), b[3] = std::max(b[3], p[i].y);
  }
  return b;
}

// The points the I-shape mode stretches into its box, in image pixels.
void IShapeOutlinePixels(const AreaSelection& s, std::vector<AreaPoint>& out) {
  for (int i = 0; i < s.capture.count; ++i) {
    const AreaPoint& p = s.capture.points[i];
    int x = ClampToInt(s.left + std::int64_t{p.x} * (std::int64_t{s.right} - s.left) / 1000);
    int y = ClampToInt(s.top + std::int64_t{p.y} * (std::int64_t{s.bottom} - s.top) / 1000);
    out.push_back({x, y, p.flag});
  }
}

// Pixel points of an I-shape back into per-mille points of their box. The
// rounding up makes the stretch give exactly these pixels again.
void IShapeFromPixels(AreaSelection& s, const std::vector<AreaPoint>& pixels) {
  if (pixels.empty()) return;
  const auto [l, t, r, b] = Bounds(pixels.data(), pixels.size());
  auto perMille = [](std::int64_t v, std::int64_t extent) {
    return extent <= 0 ? 0 : static_cast<std::int32_t>((v * 1000 + extent - 1) / extent);
  };
  ClearPointList(s.capture);
  for (const AreaPoint& p : pixels)
    if (PushPoint(s.capture, perMille(p.x - l, r - l), perMille(p.y - t, b - t), p.flag)) break;
  SetSelectionBox(s, l, t, r, b);
}

void BoxOfPoints(AreaSelection& s, const PointList& list) {
  if (list.count == 0) return;
  const auto [l, t, r, b] = Bounds(list.points, static_cast<std::size_t>(list.count));
  SetSelectionBox(s, l, t, r, b);
}

// A text file read whole, up to a limit; nullopt when it cannot be opened.
std::optional<std::string> ReadTextFile(const std::filesystem::path& path, std::int64_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  char buffer[65536];
  while (in && static_cast<std::int64_t>(text.size()) < limit) {
    in.read(buffer, static_cast<std::streamsize>(std::min<std::int64_t>(sizeof buffer, limit - static_cast<std::int64_t>(text.size()))));
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in && in.peek() != std::char_traits<char>::eof())
    LogLine("%s is longer than %lld bytes; the rest is not read\n", path.string().c_str(), static_cast<long long>(limit));
  return text;
}

// The whole file, or nullopt after message n naming it.
std::optional<std::string> ReadOrTell(const std::filesystem::path& path, int n) {
  auto text = ReadTextFile(path, kAreaFileMaxBytes);
  if (!text) ShowMessageFile(n, path.string());
  return text;
}

bool WriteText(const std::filesystem::path& path, const std::string& text) {
  AtomicFile file;
  return file.Open(path) && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() && file.Commit();
}

}  // namespace


void InitIShape() {
  AreaFilesState& f = AreaFiles();
  ClearPointList(f.shape);
  f.shapeName = "Triangle";
  AddShapePoint(500, 0, kPenUp);
  AddShapePoint(0, 1000, kPenDown);
  AddShapePoint(1000, 1000, kPenDown);
  AddShapePoint(500, 0, kPenDown);
}

int AddShapePoint(int x, int y, std::uint8_t flag) { return PushPoint(AreaFiles().shape, x, y, flag); }

int SetIShapeCapture(AreaSelection& s) {
  if (AreaFiles().shape.count == 0) InitIShape();
  return CopyPointList(s.capture, AreaFiles().shape);
}

// ---- area files ------------------------------------------------------------

std::string AreaFileText() {
  const AreaSelection& s = Area().selection;
  std::string out;
  out += kAreaHeader;
  out += "\n\n";
  out += Format("TranLevel: %4ld\n", static_cast<long>(s.transparencyLevel));
  out += Format("TranEdge:  %4ld\n", static_cast<long>(s.edgeFade));
  out += Format("TranGrow:  %4ld\n\n", static_cast<long>(s.grow));
  const ModeWord* word = WordOfMode(s.mode);
  if (!word) return out;
  out += "Mode: " + std::string(word->written) + "\n";
  out += Format("Size: %4ld %4ld\n", static_cast<long>(s.imageWidth), static_cast<long>(s.imageHeight));
  auto point = [&](const char* key, const AreaPoint& p) {
    out += Format("%s: %4ld %4ld %4d\n", key, static_cast<long>(p.x), static_cast<long>(p.y), p.flag ? 255 : 0);
  };
  auto box = [&] {
    out += Format("Pos: %4ld %4ld\n", static_cast<long>(s.centreX), static_cast<long>(s.centreY));
    out += Format("Rad: %4ld %4ld\n", static_cast<long>(s.radiusX), static_cast<long>(s.radiusY));
  };
  const KeyColour key = GetKeyColour();
  auto ranges = [&] {
    out += Format("Range: %3ld %3ld %3ld\n", static_cast<long>(key.redRange), static_cast<long>(key.greenRange),
                  static_cast<long>(key.blueRange));
  };
  switch (s.mode) {
    case kAreaFreehand:
    case kAreaPolygon:
      for (int i = 0; i < s.capture.count; ++i) point("P", s.capture.points[i]);
      break;
    case kAreaIShape: {
      // The shape as it lies on the image, so that the file reads as the
      // outline it is.
      std::vector<AreaPoint> pixels;
      IShapeOutlinePixels(s, pixels);
      for (const AreaPoint& p : pixels) point("P", p);
      break;
    }
    case kAreaRectangle:
    case kAreaEllipse:
    case kAreaNumRect:
      box();
      break;
    case kAreaRoundRect:
      box();
      out += Format("Roundness: %4d\n", static_cast<int>(s.roundness));
      break;
    case kAreaPolyArc:
    case kAreaSpline:
    case kAreaBezier:
      for (int i = 0; i < s.control.count; ++i) point("S", s.control.points[i]);
      break;
    case kAreaColourWand:
      out += Format("Pos: %4ld %4ld\n", static_cast<long>(s.seedX), static_cast<long>(s.seedY));
      ranges();
      break;
    case kAreaColourKey:
      out += Format("Color: %3ld %3ld %3ld\n", static_cast<long>(key.red), static_cast<long>(key.green),
                    static_cast<long>(key.blue));
      ranges();
      break;
    case kAreaFont:
      // Where the base line starts: readers that do not know it take it as
      // the centre, which they ignore for text.
      out += Format("Pos: %4ld %4ld\n", static_cast<long>(s.seedX), static_cast<long>(s.seedY));
      out += "Text: " + s.fontText + "\n";
      out += Format("Rot: %8.2lf\n", static_cast<double>(s.rotation));
      out += Format("Mag: %8.2lf %8.2lf\n", static_cast<double>(s.magnificationX), static_cast<double>(s.magnificationY));
      out += Format("Shear: %8.2lf\n", static_cast<double>(s.shear));
      break;
    default:
      break;
  }
  return out;
}

int SaveAreaFile(const std::filesystem::path& path) {
  if (!WriteText(path, AreaFileText())) {
    ShowMessageFile(kMessageCannotOpen, path.string());
    return 1;
  }
  LogLine("Saved area selection to %s\n", path.string().c_str());
  return 0;
}

int ReadAreaFileText(std::string_view text) {
  std::size_t pos = 0;
  std::string line;
  if (!NextLine(text, pos, line, kAreaFileLineLimit) || !StartsWithNoCase(line, "AREASEL")) {
    ShowMessage(kMessageWrongType);
    return 1;
  }
  AreaState& a = Area();
  AreaSelection& s = a.selection;
  KeyColour key = GetKeyColour();
  bool capturesEmptied = false, controlsEmptied = false;
  // I-shape points come as pixels; they become per-mille at the end.
  std::vector<AreaPoint> shapePixels;
  std::int16_t mode = s.mode;
  while (NextLine(text, pos, line, kAreaFileLineLimit)) {
    std::string_view l(line);
    while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
    auto words = SplitWords(l, 8);
    auto number = [&](std::size_t i, std::int32_t& into) {
      if (auto v = Coordinate(words, i)) into = *v;
    };
    auto starts = [&](std::string_view keyword) { return StartsWithNoCase(l, keyword); };
    if (starts("TranL")) {
      number(1, s.transparencyLevel);
    } else if (starts("TranE")) {
      number(1, s.edgeFade);
    } else if (starts("TranG")) {
      number(1, s.grow);
    } else if (starts("Mode")) {
      if (words.size() > 1)
        for (const ModeWord& w : kModeWords)
          if (StartsWithNoCase(words[1], w.prefix)) {
            mode = static_cast<std::int16_t>(w.mode);
            break;
          }
    } else if (starts("Size")) {
      number(1, s.imageWidth);
      number(2, s.imageHeight);
    } else if (starts("Pos")) {
      number(1, s.centreX);
      number(2, s.centreY);
      number(1, s.seedX);
      number(2, s.seedY);
    } else if (starts("Rad")) {
      number(1, s.radiusX);
      number(2, s.radiusY);
    } else if (starts("Round")) {
      number(1, s.roundness);
    } else if (starts("Rang")) {
      number(1, key.redRange);
      number(2, key.greenRange);
      number(3, key.blueRange);
    } else if (starts("Col")) {
      number(1, key.red);
      number(2, key.green);
      number(3, key.blue);
    } else if (starts("Text")) {
      std::string_view t = l.substr(4);
      if (!t.empty() && t.front() == ':') t.remove_prefix(1);
      while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
      s.fontText = std::string(t);
    } else if (starts("Rot")) {
      if (auto v = Real(words, 1)) s.rotation = static_cast<float>(*v);
    } else if (starts("Mag")) {
      if (auto v = Real(words, 1)) s.magnificationX = FontScale(*v);
      if (auto v = Real(words, 2)) s.magnificationY = FontScale(*v);
    } else if (starts("Shear")) {
      if (auto v = Real(words, 1)) s.shear = FontScale(*v);
    } else if (starts("P") || starts("S")) {
      auto x = Coordinate(words, 1), y = Coordinate(words, 2), flag = Coordinate(words, 3);
      if (!x || !y) continue;
      AreaPoint p{*x, *y, static_cast<std::uint8_t>(flag.value_or(255) != 0 ? kPenDown : kPenUp)};
      if (starts("P")) {
        if (!capturesEmptied) {
          ClearPointList(s.capture);
          capturesEmptied = true;
        }
        shapePixels.push_back(p);
        if (PushPoint(s.capture, p.x, p.y, p.flag)) break;
      } else {
        if (!controlsEmptied) {
          ClearPointList(s.control);
          controlsEmptied = true;
        }
        if (PushPoint(s.control, p.x, p.y, p.flag)) break;
      }
    }
  }
  // Levels, percentages and colours stay within what their builders expect.
  s.transparencyLevel = std::clamp(s.transparencyLevel, 0, 255);
  s.edgeFade = std::clamp(s.edgeFade, 0, 100);
  s.grow = std::clamp(s.grow, 0, 100);
  s.roundness = std::clamp(s.roundness, 0, 100);
  s.imageWidth = std::max(s.imageWidth, 0);
  s.imageHeight = std::max(s.imageHeight, 0);
  for (std::int32_t* c : {&key.red, &key.green, &key.blue, &key.redRange, &key.greenRange, &key.blueRange})
    *c = std::clamp(*c, 0, 255);
  SetKeyColour(key);
  s.mode = mode;
  s.closed = true;
  if (mode == kAreaIShape && capturesEmptied) IShapeFromPixels(s, shapePixels);
  a.loadedSelection = true;
  AreaFiles().loadedMode = mode;
  return 0;
}

int LoadAreaFile(const std::filesystem::path& path) {
  auto text = ReadOrTell(path, kMessageCannotOpen);
  if (!text || ReadAreaFileText(*text) != 0) return 1;
  LogLine("Loaded area selection from %s\n", path.string().c_str());
  return 0;
}

int FitStoredSelection(int width, int height, int /*viewIndex*/) {
  AreaState& a = Area();
  AreaSelection& s = a.selection;
  const int mode = s.mode;
  if (IsCurveMode(mode)) {
    BuildOutline(mode);
    BoxOfPoints(s, s.outline);
  } else if (mode == kAreaFreehand || mode == kAreaPolygon) {
    BoxOfPoints(s, s.capture);
  } else if (mode == kAreaIShape) {
    // Per-mille points stretched into the box: the box is the pixel place.
  } else {
    // Scaled in 64 bits before dividing, as Redo scales: dividing first
    // would turn every size change below double into nothing.
    if (width != s.imageWidth || height != s.imageHeight) {
      const std::int64_t ow = std::max(1, s.imageWidth), oh = std::max(1, s.imageHeight);
      auto sx = [&](std::int32_t v) { return ClampToInt(MulDiv(v, width, ow)); };
      auto sy = [&](std::int32_t v) { return ClampToInt(MulDiv(v, height, oh)); };
      s.centreX = sx(s.centreX), s.radiusX = sx(s.radiusX), s.seedX = sx(s.seedX);
      s.centreY = sy(s.centreY), s.radiusY = sy(s.radiusY), s.seedY = sy(s.seedY);
    }
    std::int64_t l = std::int64_t{s.centreX} - s.radiusX, r = std::int64_t{s.centreX} + s.radiusX;
    std::int64_t t = std::int64_t{s.centreY} - s.radiusY, b = std::int64_t{s.centreY} + s.radiusY;
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    SetSelectionBox(s, ClampToInt(l), ClampToInt(t), ClampToInt(r), ClampToInt(b));
  }
  s.imageWidth = width;
  s.imageHeight = height;
  return mode;
}

int RefitLoadedSelection(ImageRecord* image) {
  AreaSelection& s = Area().selection;
  s.mode = AreaFiles().loadedMode;
  return FitStoredSelection(image->width, image->height, -1);
}

int FinishLoadedSelection(ImageRecord* image, int viewIndex) {
  if (!image) return 1;
  AreaState& a = Area();
  FitStoredSelection(image->width, image->height, viewIndex);
  a.loadedSelection = false;
  SavePreviousMask();
  return FinishSelection(image, viewIndex, 0);
}

// ---- I-shapes ----------------------------------------------------------------

std::string IShapeText() {
  const AreaFilesState& f = AreaFiles();
  std::string out = "ISHAPE\n" + f.shapeName + "\n";
  for (int i = 0; i < f.shape.count; ++i) {
    const AreaPoint& p = f.shape.points[i];
    if (p.flag == kPenUp) out += "\n";
    out += Format("%4ld %4ld\n", static_cast<long>(p.x), static_cast<long>(1000 - p.y));
  }
  return out;
}

int ReadIShapeText(std::string_view text, std::string_view name) {
  std::size_t pos = 0;
  std::string line;
  if (!NextLine(text, pos, line, kAreaFileLineLimit) || !StartsWithNoCase(line, "ISHAPE")) {
    ShowMessage(kMessageWrongType);
    return 1;
  }
  struct Read {
    double x, y;
    bool penUp;
  };
  std::vector<Read> points;
  bool nameSeen = false, afterEmpty = true;
  while (NextLine(text, pos, line, kAreaFileLineLimit)) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
    if (line.empty()) {
      afterEmpty = true;
      continue;
    }
    if (line.front() == '*') continue;
    if (!nameSeen) {
      nameSeen = true;
      continue;
    }
    auto words = SplitWords(line, 3);
    auto x = Real(words, 0), y = Real(words, 1);
    if (!x || !y) continue;
    points.push_back({*x, *y, afterEmpty});
    afterEmpty = false;
  }
  // A header and a name but no point: not a shape file we can use.
  if (points.empty()) {
    ShowMessage(kMessageWrongType);
    return 1;
  }
  double minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
  for (const Read& p : points) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  const double dx = std::max(maxX - minX, 0.001), dy = std::max(maxY - minY, 0.001);
  PointList shape{nullptr, 0, 0, "xshape"};
  BeginProgress("- Loading Shape File -", static_cast<int>(std::min<std::size_t>(points.size(), 1u << 30)));
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Read& p = points[i];
    auto x = static_cast<std::int32_t>((p.x - minX) / dx * 1000.0);
    auto y = static_cast<std::int32_t>(1000.0 - (p.y - minY) / dy * 1000.0);
    if (PushPoint(shape, x, y, i == 0 || p.penUp ? kPenUp : kPenDown)) {
      EndProgress();
      FreePointList(shape);
      ShowMessageWith(22, "for I-shape");
      return 1;
    }
    if ((i & 1023) == 0) Progress(static_cast<int>(i));
  }
  EndProgress();
  AreaFilesState& f = AreaFiles();
  FreePointList(f.shape);
  f.shape = shape;
  f.shapeName = std::string(name);
  return 0;
}

int LoadIShape(const std::filesystem::path& path) {
  auto text = ReadOrTell(path, kMessageShapeNotFound);
  if (!text || ReadIShapeText(*text, path.stem().string()) != 0) return 1;
  LogLine("Loaded I-shape %s\n", path.string().c_str());
  return 0;
}

int SaveIShape(const std::filesystem::path& path) {
  AreaSelection& s = Area().selection;
  if (s.capture.count == 0 || !IsPointMode(s.mode)) return 2;
  std::vector<AreaPoint> pixels;
  if (s.mode == kAreaIShape)
    IShapeOutlinePixels(s, pixels);
  else
    pixels.assign(s.capture.points, s.capture.points + s.capture.count);
  const auto [l, t, r, b] = Bounds(pixels.data(), pixels.size());
  const std::int64_t w = std::max(1, r - l), h = std::max(1, b - t);
  AreaFilesState& f = AreaFiles();
  ClearPointList(f.shape);
  for (const AreaPoint& p : pixels)
    if (AddShapePoint(static_cast<int>((std::int64_t{p.x} - l) * 1000 / w), static_cast<int>((std::int64_t{p.y} - t) * 1000 / h),
                      p.flag))
      break;
  BeginProgress("-Saving shape file-", 1);
  const bool written = WriteText(path, IShapeText());
  Progress(1);
  EndProgress();
  if (!written) {
    ShowMessageFile(kMessageShapeNotFound, path.string());
    return 1;
  }
  f.shapeName = path.stem().string();
  LogLine("Saved I-shape %s\n", path.string().c_str());
  return 0;
}

int LoadAreaFileCommand(std::string& areaPath) {
  auto files = TheHost().ChooseFiles({"Load Area Selection", "Area Files (*.ASF)", AreaDialogFolder(areaPath), false});
  if (files.empty()) return 2;
  if (LoadAreaFile(files.front()) != 0) return 1;
  areaPath = files.front();
  ImageRecord* image = Images().current;
  return image && ImageIndex(image) >= 0 ? FinishLoadedSelection(image, -1) : 0;
}

int SaveAreaFileCommand(std::string& areaPath) {
  const std::string file =
      TheHost().ChooseSaveFile({"Save Area Selection", "Area Files (*.ASF)", AreaDialogFolder(areaPath), false});
  if (file.empty()) return 2;
  if (SaveAreaFile(file) != 0) return 1;
  areaPath = file;
  return 0;
}

namespace {

void RememberShapeFile(const std::filesystem::path& file, std::string& folder, std::string& name, std::string& extension) {
  folder = file.parent_path().string();
  name = file.stem().string();
  extension = file.extension().string();
}

std::filesystem::path ShapeFolder(const std::string& folder, const std::string& name, const std::string& extension) {
  return name.empty() ? std::filesystem::path(folder) : std::filesystem::path(folder) / (name + extension);
}

}  // namespace

int LoadIShapeCommand(std::string& folder, std::string& name, std::string& extension) {
  auto files = TheHost().ChooseFiles({"Load Shape", "I-Shapes (*.ISH)", ShapeFolder(folder, name, extension).string(), false});
  if (files.empty()) return 2;
  if (LoadIShape(files.front()) != 0) return 1;
  RememberShapeFile(files.front(), folder, name, extension);
  return 0;
}

int SaveIShapeCommand(std::string& folder, std::string& name, std::string& extension) {
  const AreaSelection& s = Area().selection;
  if (s.capture.count == 0 || !IsPointMode(s.mode)) return 2;
  const std::string file =
      TheHost().ChooseSaveFile({"Save Shape", "I-Shapes (*.ISH)", ShapeFolder(folder, name, extension).string(), false});
  if (file.empty()) return 2;
  if (SaveIShape(file) != 0) return 1;
  RememberShapeFile(file, folder, name, extension);
  return 0;
}

std::string AreaDialogFolder(const std::string& remembered) {
  if (!remembered.empty() && remembered.size() <= 4) return {};
  if (!remembered.empty() && remembered.back() == ':') return remembered + std::string(1, std::filesystem::path::preferred_separator);
  return remembered;
}

}  // namespace qv
