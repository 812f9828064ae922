// pixqv-cli timeline: what a TimeLine file holds, what each level does at a
// frame, whether the file reads without falling back on anything, and the
// file saved again as the program saves it.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "area/stored_area.h"
#include "base/string_table.h"
#include "cli/cli_commands.h"
#include "ops/op_state.h"

namespace qv::cli {
namespace {

constexpr std::string_view kTimeLineUsage =
    "usage: pixqv-cli timeline FILE.tml [--json] [--at N] [--check [--strict]] [--write OUT.tml]\n"
    "\n"
    "Reads a TimeLine file and lists it: the frame count, every cell that is not\n"
    "empty (level and frame from 1, row, hold, hold end or the record), and every\n"
    "Trend with its points (frames from 1) and its value at each frame.\n"
    "\n"
    "  --at N          instead, what each level does at frame N (from 1): the file\n"
    "                  (and the frame of a video), the area (\"tween\" where two\n"
    "                  areas of different kinds are tweened) with its transparency,\n"
    "                  the operation with its values after the level's Trends\n"
    "  --check         only read the file\n"
    "  --strict        with --check: anything the reader fell back on fails\n"
    "  --write OUT     save the TimeLine again to OUT\n"
    "  --json          one JSON object instead of text\n"
    "\n"
    "What the reader fell back on (unknown names, lines skipped or cut, values\n"
    "kept within their range) is printed on stderr as \"warning: ...\" lines.\n"
    "exit status: 0 read, 1 the file could not be read (or, with --strict, had\n"
    "warnings) or OUT could not be written, 2 bad usage\n";

constexpr const char* kRowNames[4] = {"source", "area", "op", "action"};

int Usage(const std::string& why) {
  std::fprintf(stderr, "pixqv-cli timeline: %s\n", why.c_str());
  return 2;
}

// Key-value pairs written as JSON members or as "key value" words.
class Fields {
 public:
  explicit Fields(bool json) : json_(json) {}
  Fields& Text(std::string_view key, std::string_view value) { return Add(key, json_ ? JsonString(value) : std::string(value)); }
  Fields& Number(std::string_view key, std::int64_t value) { return Add(key, std::to_string(value)); }
  Fields& Flag(std::string_view key, bool value) { return Add(key, json_ ? (value ? "true" : "false") : (value ? "yes" : "no")); }
  Fields& Raw(std::string_view key, const std::string& value) { return Add(key, value); }
  std::string Done() const { return json_ ? "{" + out_ + "}" : out_; }

 private:
  Fields& Add(std::string_view key, const std::string& value) {
    if (!out_.empty()) out_ += json_ ? ", " : "  ";
    out_ += json_ ? JsonString(key) + ": " + value : std::string(key) + " " + value;
    return *this;
  }
  bool json_;
  std::string out_;
};

std::string Values(const OpSettings& op, bool json) {
  std::string out;
  for (int k = 0; k < kSlotCount; ++k) {
    if (op.labelIds[k] == 0) continue;
    const std::string label(LoadString(static_cast<int>(op.labelIds[k])));
    if (!out.empty()) out += json ? ", " : " ";
    out += json ? JsonString(label) + ": " + std::to_string(op.values[k]) : label + "=" + std::to_string(op.values[k]);
  }
  return json ? "{" + out + "}" : out;
}

std::string RecordFields(int row, Cell cell, bool json) {
  Fields f(json);
  if (const TimeFileRecord* r = row == kRowSource || row == kRowAction ? FileRecordOf(cell) : nullptr) {
    f.Text("file", CellText(row, cell)).Flag("video", r->video).Number("start", r->startFrame).Number("increment", r->increment);
  } else if (const StoredArea* a = row == kRowArea ? AreaRecordOf(cell) : nullptr) {
    f.Text("mode", LoadString(a->mode)).Flag("interpolate", a->interpolate);
  } else if (const OpSettings* o = row == kRowOp ? OpRecordOf(cell) : nullptr) {
    f.Text("operation", OpName(o->id)).Flag("interpolate", o->interpolate).Raw("values", Values(*o, json));
  }
  return f.Done();
}

std::string List(bool json) {
  const int frames = FrameCount();
  std::string out = json ? "{\"frames\": " + std::to_string(frames) + ", \"cells\": [" : "frames: " + std::to_string(frames) + "\ncells:\n";
  bool first = true;
  for (int level = 0; level < LevelsInUse(); ++level)
    for (int frame = 0; frame < frames; ++frame)
      for (int row = kRowSource; row <= kRowAction; ++row) {
        const Cell c = CellAt(level, frame, row);
        if (c == kCellEmpty) continue;
        const std::string kind = c == kCellHold ? "hold" : c == kCellHoldEnd ? "hold end" : "record";
        if (json) {
          Fields f(true);
          f.Number("level", level + 1).Number("frame", frame + 1).Text("row", kRowNames[row - 1]).Text("cell", kind);
          if (IsRecordCell(c)) f.Raw("record", RecordFields(row, c, true));
          out += (first ? "\n " : ",\n ") + f.Done();
        } else {
          char head[64];
          std::snprintf(head, sizeof head, "  L%d F%d %-7s %-9s", level + 1, frame + 1, kRowNames[row - 1], kind.c_str());
          out += head;
          if (IsRecordCell(c)) out += RecordFields(row, c, false);
          while (!out.empty() && out.back() == ' ') out.pop_back();
          out += "\n";
        }
        first = false;
      }
  out += json ? "\n], \"trends\": [" : "trends:\n";
  first = true;
  for (const Trend* t : Trends()) {
    std::string points, values;
    for (int i = 0; i < t->count; ++i) {
      points += json ? (i ? ", [" : "[") : " ";
      points += std::to_string(t->frames[i] + 1);
      points += json ? ", " : ":";
      points += std::to_string(t->values[i]);
      if (json) points += "]";
    }
    for (int f = 0; f < frames && f < t->room; ++f) {
      values += json && f ? ", " : " ";
      values += std::to_string(t->frameValues[f]);
    }
    if (json) {
      Fields f(true);
      f.Number("level", t->level + 1).Text("variable", TrendVarName(t->variable));
      if (t->op) f.Text("operation", OpName(t->op));
      f.Flag("spline", t->spline);
      f.Raw("points", "[" + points + "]").Raw("values", "[" + values.substr(values.empty() ? 0 : 1) + "]");
      out += (first ? "\n " : ",\n ") + f.Done();
    } else {
      const std::string op = t->op ? std::string(OpName(t->op)) + ": " : std::string{};
      out += "  L" + std::to_string(t->level + 1) + " " + op + TrendVarName(t->variable) + (t->spline ? " (spline)" : "") +
             "\n    points" + points + "\n    values" + values + "\n";
    }
    first = false;
  }
  return out + (json ? "\n]}\n" : "");
}

// What one row of a level gives at a frame; empty when nothing.
std::string Content(int level, int frame, int row, bool json) {
  const CellContent c = EffectiveContent(level, frame, row);
  if (c.key == kCellEmpty) return {};
  Fields f(json);
  if (row == kRowSource || row == kRowAction) {
    const TimeFileRecord* r = FileRecordOf(c.key);
    f.Text("file", CellText(row, c.key));
    if (r && r->video) f.Number("videoFrame", c.videoFrame);
  } else if (row == kRowArea) {
    const StoredArea* key = AreaRecordOf(c.key);
    const StoredArea* next = AreaRecordOf(c.next);
    if (!key) return {};
    AreaChoice choice{key, false};
    if (next) choice = InterpolateArea(*key, *next, c.keyFrame, c.nextFrame, frame, FrameCount());
    if (choice.tween)
      f.Text("mode", "tween").Text("from", LoadString(key->mode)).Text("to", LoadString(next->mode));
    else
      f.Text("mode", LoadString(choice.record->mode));
    // Transparency as the record has it, then as the level's Trends set it.
    std::int32_t values[3] = {choice.record->level, choice.record->edgeFade, choice.record->grow};
    const TrendVar vars[3] = {kTrendLevel, kTrendEdgeFade, kTrendGrow};
    for (int i = 0; i < 3; ++i)
      if (const Trend* t = FindTrend(vars[i], level)) values[i] = t->frameValues[frame];
    f.Number("level", values[0]).Number("fade", values[1]).Number("grow", values[2]);
  } else if (c.op) {
    OpSettings op = *c.op;
    for (int k = 0; k < kSlotCount; ++k)
      if (const Trend* t = op.labelIds[k] ? FindTrend(static_cast<TrendVar>(op.bindings[k]), level) : nullptr)
        op.values[k] = t->frameValues[frame];
    f.Text("operation", OpName(op.id)).Raw("values", Values(op, json));
  }
  return f.Done();
}

std::string At(int frame, bool json) {
  std::string out = json ? "{\"frame\": " + std::to_string(frame + 1) + ", \"levels\": [" : "frame " + std::to_string(frame + 1) + " of " + std::to_string(FrameCount()) + "\n";
  for (int level = 0; level < LevelsInUse(); ++level) {
    std::string members;
    for (int row = kRowSource; row <= kRowAction; ++row) {
      const std::string c = Content(level, frame, row, json);
      if (c.empty()) continue;
      if (json)
        members += ", " + JsonString(kRowNames[row - 1]) + ": " + c;
      else
        members += "  L" + std::to_string(level + 1) + " " + kRowNames[row - 1] + "  " + c + "\n";
    }
    out += json ? std::string(level ? ",\n " : "\n ") + "{\"level\": " + std::to_string(level + 1) + members + "}" : members;
  }
  return out + (json ? "\n]}\n" : "");
}

int RunTimeLine(const std::vector<std::string_view>& args) {
  std::string file, write;
  bool json = false, check = false, strict = false;
  long at = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--check") {
      check = true;
    } else if (a == "--strict") {
      strict = true;
    } else if (a == "--at" || a == "--write") {
      if (i + 1 >= args.size()) return Usage(std::string(a) + " needs a value (see --help)");
      const std::string_view v = args[++i];
      int n = 0;
      if (a == "--write")
        write = std::string(v);
      else if (!ParseInt(v, 1, kMaxFrames, n))
        return Usage("--at wants a frame from 1, not '" + std::string(v) + "'");
      else
        at = n;
    } else if (a.size() > 1 && a.front() == '-') {
      return Usage("unknown option '" + std::string(a) + "' (see --help)");
    } else if (file.empty()) {
      file = std::string(a);
    } else {
      return Usage("one TimeLine file at a time (see --help)");
    }
  }
  if (file.empty()) return Usage("wants a TimeLine file (see --help)");
  if (strict && !check) return Usage("--strict goes with --check");

  TimeLineLoadReport report;
  if (LoadTimeLine(file, &report) != 0) return 1;
  for (const std::string& w : report.warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
  if (check) return strict && !report.warnings.empty() ? 1 : 0;
  if (at > FrameCount()) {
    std::fprintf(stderr, "pixqv-cli timeline: frame %ld is past the last frame, %d\n", at, FrameCount());
    return 1;
  }
  const std::string out = at > 0 ? At(static_cast<int>(at - 1), json) : List(json);
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (!write.empty() && SaveTimeLine(write) != 0) return 1;
  return 0;
}

}  // namespace

Command TimeLineCommand() {
  return {"timeline", "list, check or resave a TimeLine file; what each level does at a frame", kTimeLineUsage,
          RunTimeLine};
}

}  // namespace qv::cli
