// Writing a TimeLine file: the cells of every level in the order the reader
// expects them back.
#include "anim/timeline_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "anim/anim_state.h"
#include "area/stored_area.h"
#include "base/atomic_file.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr int kMessageCannotCreate = 84;

constexpr const char* kRowWords[4] = {"SRC", "AREA", "OP", "ACT"};

TimeLineState& TL() { return Anim().timeline; }

std::string Formatted(const char* format, auto... values) {
  char buffer[400];
  int n = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

bool IsLevelName(std::string_view name) {
  int n = 0;
  char close = 0;
  return std::sscanf(std::string(name).c_str(), "Level(%d%c", &n, &close) == 2 && close == ')' &&
         name == "Level(" + std::to_string(n) + ")";
}

// A value the tokenizer would cut (a blank, a comma, ...) goes in quotes;
// every other one is written as it always was.
std::string Quoted(std::string_view value) {
  const bool plain = !value.empty() && std::all_of(value.begin(), value.end(), IsWordChar);
  if (plain || IsLevelName(value) || value.find('"') != std::string_view::npos) return std::string(value);
  std::string quoted(1, '"');
  quoted.append(value).push_back('"');
  return quoted;
}

std::string FixedText(const char* text, std::size_t room) { return std::string(text, strnlen(text, room)); }

void AppendPoints(std::string& out, const Trend& t) {
  for (int i = 0; i < t.count; ++i) {
    if (i > 0 && i % kTrendPointsPerLine == 0) out += "\n-";
    out += Formatted(" %ld,%ld", static_cast<long>(t.frames[i] + 1), static_cast<long>(t.values[i]));
  }
  out += '\n';
}

void AppendFileCell(std::string& out, const char* word, long level, long frame, const TimeFileRecord& r) {
  out += Formatted("%s L:%ld F:%ld V:%d S:%ld I:%ld ", word, level, frame, r.video, static_cast<long>(r.startFrame),
                   static_cast<long>(r.increment));
  out += Quoted(FixedText(r.fileName, sizeof r.fileName)) + "\n";
}

bool HasPos(int mode) {
  return mode == kAreaRectangle || mode == kAreaRoundRect || mode == kAreaEllipse || mode == kAreaNumRect ||
         mode == kAreaFont || mode == kAreaIShape;
}
bool HasPoints(int mode) {
  return mode == kAreaFreehand || mode == kAreaPolygon || mode == kAreaIShape || mode == kAreaPolyArc ||
         mode == kAreaSpline || mode == kAreaBezier;
}

void AppendAreaFields(std::string& out, const StoredArea& r) {
  const int mode = r.mode;
  out += "- Mode:" + std::string(LoadString(mode)) + "\n";
  out += Formatted("- Image:%ld,%ld\n", static_cast<long>(r.maskWidth), static_cast<long>(r.maskHeight));
  if (mode != kAreaEntire && mode != kAreaRedo)
    out += Formatted("- Center:%ld,%ld\n", static_cast<long>(r.centreX), static_cast<long>(r.centreY));
  if (HasPos(mode))
    out += Formatted("- Pos:%ld,%ld,%ld,%ld\n", static_cast<long>(r.left), static_cast<long>(r.top), static_cast<long>(r.right),
                     static_cast<long>(r.bottom));
  if (mode == kAreaFont) {
    out += Formatted("- FontW:%8.3f\n- FontH:%8.3f\n- FontRot:%8.3f\n- FontShear:%8.3f\n", r.magnificationX, r.magnificationY,
                     r.rotation, r.shear);
    out += "- FontName:\"" + FixedText(r.fontFace, sizeof r.fontFace) + "\"\n";
    out += Formatted("- FontPoint:%ld\n- FontPos:%ld,%ld\n", static_cast<long>(r.fontSize), static_cast<long>(r.fontX),
                     static_cast<long>(r.fontY));
    out += "- FontText:" + Quoted(StoredText(r)) + "\n";
  }
  if (mode == kAreaIShape) out += "- ShapeName:" + Quoted(FixedText(r.shapeName, sizeof r.shapeName)) + "\n";
  if (mode == kAreaRoundRect) out += Formatted("- Roundness:%ld\n", static_cast<long>(r.roundness));
  out += Formatted("- TranLevel:%ld\n- TranEdge:%ld\n- TranGrow:%ld\n", static_cast<long>(r.level),
                   static_cast<long>(r.edgeFade), static_cast<long>(r.grow));
  out += Formatted("- Interpolate:%d\n- Prompt:%d\n- Modify:%d\n- Exclude:%d\n", r.interpolate, r.prompt, r.modify, r.exclude);
  if (mode == kAreaColourKey) out += Formatted("- Key:%d,%d,%d\n", r.keyColour[0], r.keyColour[1], r.keyColour[2]);
  if (mode == kAreaColourKey || mode == kAreaColourWand) {
    out += Formatted("- Range:%d,%d,%d\n- OnHue:%d\n", r.keyRange[0], r.keyRange[1], r.keyRange[2], r.keyHsl);
    if (r.hslRange[0] != 40 || r.hslRange[1] != 40 || r.hslRange[2] != 40)
      out += Formatted("- HSLRange:%d,%d,%d\n", r.hslRange[0], r.hslRange[1], r.hslRange[2]);
  }
  // Settings older files do not carry, on lines their readers skip; written
  // only where they differ from a new selection's.
  const StoredArea fresh;
  if (r.splatterOn || r.splatNumber != fresh.splatNumber || r.splatSeed != fresh.splatSeed ||
      r.splatSizing != fresh.splatSizing || r.splatShape != fresh.splatShape || r.holdSquare != fresh.holdSquare ||
      r.inFromEdge != fresh.inFromEdge)
    out += Formatted("- Splatter:%d,%ld,%ld,%ld,%d,%d,%d\n", r.splatterOn, static_cast<long>(r.splatNumber),
                     static_cast<long>(r.splatSeed), static_cast<long>(r.splatSizing), r.splatShape, r.holdSquare, r.inFromEdge);
  if (r.keyRestriction) out += Formatted("- Restrict:%d\n", r.keyRestriction);
  if (r.discriminatorOn || std::any_of(std::begin(r.discriminator), std::end(r.discriminator), [](int v) { return v != 0; })) {
    out += Formatted("- DoD:%d\n", r.discriminatorOn);
    static constexpr const char* kBounds[6] = {"RDisc1", "RDisc2", "GDisc1", "GDisc2", "BDisc1", "BDisc2"};
    for (int i = 0; i < 6; ++i) out += Formatted("- %s:%d\n", kBounds[i], r.discriminator[i]);
  }
  if (HasPoints(mode))
    for (int i = 0; i < r.pointCount; ++i)
      out += Formatted("- Point:%ld,%ld,%ld,%d\n", static_cast<long>(i), static_cast<long>(r.points[i].x),
                       static_cast<long>(r.points[i].y), r.points[i].flag);
}

void AppendOpCell(std::string& out, int level, const OpSettings& r) {
  out += Formatted("- Interpolate:%d\n", r.interpolate);
  const std::string pfile = FixedText(r.text, sizeof r.text);
  if (!pfile.empty()) out += "- Pfile:\"" + pfile + "\"\n";
  bool trendWritten = false;
  for (int k = 0; k < kSlotCount; ++k) {
    if (r.labelIds[k] == 0 || r.bindings[k] == 0) continue;
    const std::string name(LoadString(static_cast<int>(r.labelIds[k])));
    out += Formatted("- Var:\"%s\",%ld\n", name.c_str(), static_cast<long>(r.values[k]));
    if (const Trend* t = FindTrend(static_cast<TrendVar>(r.bindings[k]), level)) {
      out += Formatted("- Trend Var:\"%s\" Splined:%d", name.c_str(), t->spline);
      AppendPoints(out, *t);
      trendWritten = true;
    }
  }
  if (trendWritten) out += '\n';
}

}  // namespace

std::string TargetText(const TimeLineTarget& target, std::string_view title) {
  const int frames = FrameCount();
  std::string out = "TIMELINE - " + std::string(title) + "\n";
  out += Formatted("Frames:%ld\n", static_cast<long>(frames));
  const int levels = target.LevelsInUse();
  if (levels == 0) return out + "* Empty TimeLine\n";
  for (int level = 0; level < levels; ++level) {
    for (const Trend* trend : Trends()) {
      if (trend->level != level || !IsTransparencyVar(trend->variable)) continue;
      out += Formatted("Trend Var:\"%s\" Splined:%d Level:%ld", TrendVarName(trend->variable).c_str(), trend->spline,
                       static_cast<long>(level));
      AppendPoints(out, *trend);
    }
    // Only the rows the level has: a TimeLine of a few cells on its top
    // level is not 400 x F look-ups.
    std::vector<int> rows;
    for (int row : {kRowSource, kRowArea, kRowOp, kRowAction})
      if (target.HasRow(level, row)) rows.push_back(row);
    for (int frame = 0; frame < frames && !rows.empty(); ++frame)
      for (int row : rows) {
        const Cell c = target.CellAt(level, frame, row);
        if (c == kCellEmpty) continue;
        const char* word = kRowWords[row - 1];
        const long l = level + 1, f = frame + 1;
        const void* record = target.RecordAt(level, frame, row);
        if (!IsRecordCell(c)) {
          out += Formatted("%s L:%ld F:%ld %s\n", word, l, f, c == kCellHold ? "=" : "==");
        } else if (!record) {
          continue;
        } else if (row == kRowSource || row == kRowAction) {
          AppendFileCell(out, word, l, f, *static_cast<const TimeFileRecord*>(record));
        } else if (row == kRowArea) {
          out += Formatted("AREA L:%ld F:%ld\n", l, f);
          AppendAreaFields(out, *static_cast<const StoredArea*>(record));
        } else {
          const auto& r = *static_cast<const OpSettings*>(record);
          out += Formatted("OP L:%ld F:%ld \"%s\"\n", l, f, std::string(OpName(r.id)).c_str());
          AppendOpCell(out, level, r);
        }
      }
  }
  return out;
}

std::string TimeLineText(std::string_view title) { return TargetText(TimeLineAsTarget(), title); }

int WriteTimeLineFile(const std::filesystem::path& path, const std::string& text) {
  AtomicFile file;
  if (!file.Open(path, "wb") || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || !file.Commit()) {
    ShowMessageFile(kMessageCannotCreate, path.string());
    return 1;
  }
  return 0;
}

int SaveTimeLine(const std::filesystem::path& path) {
  const std::string title = path.filename().string();
  if (WriteTimeLineFile(path, TimeLineText(title)) != 0) return 1;
  TimeLineState& t = TL();
  t.modified = false;
  t.title = path.string();
  LogLine("Saved TimeLine %s\n", path.string().c_str());
  return 0;
}

}  // namespace qv
