#include "cli/area_args.h"

#include <charconv>
#include <cstring>

#include "app/program.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "ops/op_state.h"

namespace qv::cli {
namespace {

// --key gives the key colour that Color Key shares with the operations; the
// option names RGB ranges only, so the test is made in RGB.
void SetKeyFromOptions(const AreaOptions& o) {
  KeyColour k = GetKeyColour();
  k.red = o.key[0], k.green = o.key[1], k.blue = o.key[2];
  k.redRange = o.key[3], k.greenRange = o.key[4], k.blueRange = o.key[5];
  k.extra.useHsl = 0;
  SetKeyColour(k);
}

struct ShapeWord {
  std::string_view word;
  int mode;
  int minNumbers;  // -1: a list of points, at least two
};

constexpr ShapeWord kShapes[] = {
    {"entire", kAreaEntire, 0},     {"rect", kAreaRectangle, 4},   {"numrect", kAreaNumRect, 4},
    {"ellipse", kAreaEllipse, 4},   {"roundrect", kAreaRoundRect, 5}, {"polygon", kAreaPolygon, -1},
    {"freehand", kAreaFreehand, -1}, {"bezier", kAreaBezier, -1},  {"spline", kAreaSpline, -1},
    {"polyarc", kAreaPolyArc, -1},   {"wand", kAreaColourWand, 2}, {"key", kAreaColourKey, 0},
    {"text", kAreaFont, 2},
};

// Whole numbers separated by commas; false when anything else is there.
bool Numbers(std::string_view text, std::vector<int>& out) {
  out.clear();
  if (text.empty()) return false;
  while (true) {
    std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    int value = 0;
    auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
    if (ec != std::errc() || end != item.data() + item.size()) return false;
    out.push_back(value);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool NumberOf(std::string_view text, int& out) {
  std::vector<int> v;
  if (!Numbers(text, v) || v.size() != 1) return false;
  out = v[0];
  return true;
}

void Points(PointList& list, const std::vector<int>& xy, bool close) {
  ClearPointList(list);
  for (std::size_t i = 0; i + 1 < xy.size(); i += 2) PushPoint(list, xy[i], xy[i + 1], i == 0 ? kPenUp : kPenDown);
  if (close && xy.size() >= 4 && (xy[0] != xy[xy.size() - 2] || xy[1] != xy.back()))
    PushPoint(list, xy[0], xy[1], kPenDown);
}

// Puts one parsed area into the selection. 0 ok, 1 after the program's
// message (an area or shape file it could not read).
int Select(const AreaSpec& area, const AreaOptions& o, ImageRecord* image) {
  AreaSelection& s = TheProgram().area.selection;
  const std::vector<int>& n = area.numbers;
  if (area.mode == 0) {
    if (LoadAreaFile(area.path) != 0) return 1;
    if (o.transparencyGiven) s.transparencyLevel = o.level, s.edgeFade = o.fade, s.grow = o.grow;
    FitStoredSelection(image->width, image->height, 0);
    TheProgram().area.loadedSelection = false;
    return 0;
  }
  s.mode = static_cast<std::int16_t>(area.mode);
  s.transparencyLevel = o.level;
  s.edgeFade = o.fade;
  s.grow = o.grow;
  switch (area.mode) {
    case kAreaIShape:
      if (!area.path.empty() && LoadIShape(area.path) != 0) return 1;
      if (SetIShapeCapture(s) != 0) return 1;
      SetSelectionBox(s, std::min(n[0], n[2]), std::min(n[1], n[3]), std::max(n[0], n[2]), std::max(n[1], n[3]));
      break;
    case kAreaRectangle:
    case kAreaNumRect:
      SetSelectionBox(s, n[0], n[1], n[2], n[3]);
      break;
    case kAreaRoundRect:
      SetSelectionBox(s, n[0], n[1], n[2], n[3]);
      s.roundness = n[4];
      break;
    case kAreaEllipse:
      s.centreX = n[0], s.centreY = n[1], s.radiusX = n[2], s.radiusY = n[3];
      break;
    case kAreaPolygon:
    case kAreaFreehand:
      Points(s.capture, n, area.mode == kAreaPolygon);
      break;
    case kAreaBezier:
    case kAreaSpline:
    case kAreaPolyArc:
      Points(s.control, n, false);
      s.closed = true;
      break;
    case kAreaColourWand:
      s.seedX = n[0], s.seedY = n[1];
      break;
    case kAreaColourKey:
      if (o.haveKey) SetKeyFromOptions(o);
      break;
    case kAreaFont:
      s.seedX = n[0], s.seedY = n[1];
      s.fontText = area.text;
      s.font.face = o.font;
      s.font.pixelSize = o.points;
      s.rotation = static_cast<float>(o.rotate);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

bool ParseAreaSpec(std::string_view area, AreaSpec& out, std::string& error) {
  out = {};
  std::size_t colon = area.find(':');
  std::string_view word = area.substr(0, colon);
  std::string_view rest = colon == std::string_view::npos ? std::string_view{} : area.substr(colon + 1);
  if (word == "file") {
    out.path = std::string(rest);
    if (out.path.empty()) error = "area 'file' wants the path of an area file";
    return !out.path.empty();
  }
  if (word == "ishape") {
    // ishape:L,T,R,B[,SHAPE.ISH] - the shape file is what follows the fourth comma.
    std::size_t at = std::string_view::npos;
    for (std::size_t from = 0, commas = 0; commas < 4; ++commas, from = at + 1)
      if ((at = rest.find(',', from)) == std::string_view::npos) break;
    out.mode = kAreaIShape;
    std::string_view box = at == std::string_view::npos ? rest : rest.substr(0, at);
    if (at != std::string_view::npos) out.path = std::string(rest.substr(at + 1));
    if (!Numbers(box, out.numbers) || out.numbers.size() != 4 || (at != std::string_view::npos && out.path.empty())) {
      error = "area 'ishape' wants L,T,R,B and, if you like, a shape file";
      return false;
    }
    return true;
  }
  for (const ShapeWord& shape : kShapes) {
    if (shape.word != word) continue;
    out.mode = shape.mode;
    if (shape.minNumbers == 0) {
      if (!rest.empty()) error = "area '" + std::string(word) + "' takes no numbers";
      return rest.empty();
    }
    if (shape.mode == kAreaFont) {
      // text:X,Y,TEXT - the text is everything after the second comma.
      std::size_t first = rest.find(',');
      std::size_t second = first == std::string_view::npos ? first : rest.find(',', first + 1);
      if (second == std::string_view::npos || !Numbers(rest.substr(0, second), out.numbers) ||
          second + 1 >= rest.size()) {
        error = "area 'text' wants X,Y,TEXT";
        return false;
      }
      out.text = std::string(rest.substr(second + 1));
      return true;
    }
    bool ok = Numbers(rest, out.numbers);
    if (shape.minNumbers > 0) ok = ok && static_cast<int>(out.numbers.size()) == shape.minNumbers;
    else ok = ok && out.numbers.size() >= 4 && out.numbers.size() % 2 == 0;
    if (!ok) {
      error = "area '" + std::string(word) + "' wants " +
              (shape.minNumbers > 0 ? std::to_string(shape.minNumbers) + " whole numbers"
                                    : std::string("at least two X,Y points"));
    }
    return ok;
  }
  error = "unknown area '" + std::string(word) + "'";
  return false;
}

bool TakeAreaOptions(std::vector<std::string_view>& args, AreaOptions& o, std::string& error) {
  std::vector<std::string_view> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= args.size()) {
        error = std::string(a) + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    auto list = [&](int* into, std::size_t count) {
      std::string_view v;
      std::vector<int> n;
      if (!value(v)) return false;
      if (!Numbers(v, n) || n.size() != count) {
        error = std::string(a) + " wants " + std::to_string(count) + " whole numbers separated by commas";
        return false;
      }
      std::copy(n.begin(), n.end(), into);
      return true;
    };
    std::string_view v;
    if (a == "--area") {
      AreaSpec area;
      if (!value(v) || !ParseAreaSpec(v, area, error)) return false;
      if (o.areas.size() == 2) {
        error = "at most two --area options";
        return false;
      }
      o.areas.push_back(std::move(area));
    } else if (a == "--combine") {
      if (!value(v)) return false;
      o.combineCode = v == "union" ? 1 : v == "intersection" ? 3 : v == "complement" ? 4 : -1;
      if (o.combineCode < 0) {
        error = "--combine takes union, intersection or complement";
        return false;
      }
    } else if (a == "--exclude") {
      o.exclude = true;
    } else if (a == "--key-restrict") {
      o.keyRestrict = true;
    } else if (a == "--level" || a == "--fade" || a == "--grow" || a == "--points" || a == "--splat-index") {
      int* target = a == "--level" ? &o.level : a == "--fade" ? &o.fade : a == "--grow" ? &o.grow
                  : a == "--points" ? &o.points : &o.splatIndex;
      if (!list(target, 1)) return false;
      if (a == "--level" || a == "--fade" || a == "--grow") o.transparencyGiven = true;
    } else if (a == "--key") {
      if (!list(o.key, 6)) return false;
      o.haveKey = true;
    } else if (a == "--font") {
      if (!value(v)) return false;
      o.font = std::string(v);
    } else if (a == "--rotate") {
      int degrees = 0;
      if (!value(v) || !NumberOf(v, degrees)) {
        if (error.empty()) error = "--rotate wants whole degrees";
        return false;
      }
      o.rotate = degrees;
    } else if (a == "--splat") {
      if (!list(o.splat, 6)) return false;
      o.splatter = true;
    } else {
      rest.push_back(a);
    }
  }
  if ((o.combineCode != 0) != (o.areas.size() == 2)) {
    error = "--combine goes with exactly two --area options";
    return false;
  }
  args = std::move(rest);
  return true;
}

int FinishCommandLineSelection(ImageRecord* image, const AreaOptions& o) {
  AreaState& a = TheProgram().area;
  a.exclude = o.exclude;
  a.colourKey = o.keyRestrict;
  a.splatter = false;
  if (o.haveKey) SetKeyFromOptions(o);
  std::vector<AreaSpec> areas = o.areas;
  if (areas.empty()) areas.push_back({kAreaEntire, {}, {}, {}});
  for (std::size_t i = 0; i < areas.size(); ++i) {
    if (i > 0) SavePreviousMask();
    if (Select(areas[i], o, image) != 0) return 1;
    a.splatter = o.splatter && i + 1 == areas.size();
    if (FinishSelection(image, 0, i > 0 ? o.combineCode : 0) != 0) return 1;
  }
  if (o.splatter) {
    auto& st = a.splat;
    st.number = o.splat[0], st.seed = o.splat[1], st.shape = o.splat[2];
    st.sizing = o.splat[3], st.holdSquare = o.splat[4], st.inFromEdge = o.splat[5];
  }
  return 0;
}

int BuildCommandLineMask(ImageRecord* image, const AreaOptions& o) {
  if (FinishCommandLineSelection(image, o) != 0) return 1;
  if (!o.splatter) return 0;
  if (BeginSplatter(image, 0) != 0) return 1;
  return MakeSplat(image, 0, o.splatIndex);
}

}  // namespace qv::cli
