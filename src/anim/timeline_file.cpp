#include "anim/timeline_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>

#include "anim/anim_state.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/fixed_text.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpen = 71;
constexpr int kMessageEmpty = 14;
constexpr int kMessageWrongType = 17;
constexpr std::int64_t kCoordinateLimit = 1000000;
// What the file may hold beyond its cells: Trend lines and the like.
constexpr int kExtraTopLevelLines = 5000;
constexpr int kMaxPointsRead = 4 * kMaxFrames;
constexpr double kMaxFontScale = 100.0;

TimeLineState& TL() { return Anim().timeline; }

// ---- reading ------------------------------------------------------------------

// The tokens of a line: runs of word characters, a double quote toggling a
// part in which every character but the quote belongs to the token.
std::vector<std::string> Tokens(std::string_view line) {
  std::vector<std::string> tokens;
  std::string current;
  bool quoted = false, inToken = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if (quoted || IsWordChar(c)) {
      current += c;
      inToken = true;
    } else if (inToken) {
      tokens.push_back(std::move(current));
      current.clear();
      inToken = false;
    }
  }
  if (inToken) tokens.push_back(std::move(current));
  return tokens;
}

// What follows a token's first ':' or '='; empty when there is none.
std::string_view ValueOf(std::string_view token) {
  auto at = token.find_first_of(":=");
  return at == std::string_view::npos ? std::string_view{} : token.substr(at + 1);
}

class Reader {
 public:
  Reader(std::string_view text, TimeLineLoadReport& report) : text_(text), report_(report) {}

  bool Next(std::string& line) {
    if (held_) {
      held_ = false;
      line = std::move(heldLine_);
      return true;
    }
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = text_.size();
    line.assign(text_.substr(pos_, std::min(end - pos_, kTimeLineLineLimit)));
    ++lineNumber_;
    if (end - pos_ > kTimeLineLineLimit)
      Warn("line " + std::to_string(lineNumber_) + " is longer than 1023 characters; the rest is skipped");
    pos_ = end;
    if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    return true;
  }
  void PutBack(std::string line) {
    heldLine_ = std::move(line);
    held_ = true;
  }
  // The next line when it is a "-" line of the block being read.
  bool NextSubLine(std::string& line) {
    if (!Next(line)) return false;
    if (!line.empty() && line.front() == '-') return true;
    PutBack(std::move(line));
    return false;
  }
  void Warn(const std::string& what) {
    LogLine("TimeLine file: %s\n", what.c_str());
    report_.warnings.push_back(what);
  }
  int LineNumber() const { return lineNumber_ - (held_ ? 1 : 0); }

 private:
  std::string_view text_;
  TimeLineLoadReport& report_;
  std::size_t pos_ = 0;
  int lineNumber_ = 0;
  std::string heldLine_;
  bool held_ = false;
};

std::optional<std::int64_t> Number(std::string_view word, std::int64_t low, std::int64_t high) {
  auto v = ParseLong(word);
  if (!v || *v < low || *v > high) return std::nullopt;
  return v;
}

std::optional<double> Real(std::string_view word) {
  std::string w(word);
  char* end = nullptr;
  const double v = std::strtod(w.c_str(), &end);
  if (end == w.c_str() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// The (frame from 1, value) pairs of a Trend line from token `first` on,
// and of the "- " lines that continue it.
std::vector<std::pair<std::int64_t, std::int64_t>> TrendPairs(const std::vector<std::string>& tokens, std::size_t first,
                                                              Reader& in) {
  std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
  auto take = [&](const std::vector<std::string>& t, std::size_t from) {
    for (std::size_t i = from; i + 1 < t.size() && pairs.size() < kMaxPointsRead; i += 2) {
      auto f = ParseLong(t[i]), v = ParseLong(t[i + 1]);
      if (!f || !v) return;
      pairs.emplace_back(*f, *v);
    }
  };
  take(tokens, first);
  std::string line;
  while (in.NextSubLine(line)) {
    auto more = Tokens(line);
    if (more.size() < 3 || !ParseLong(more[1])) {
      in.PutBack(std::move(line));
      break;
    }
    take(more, 1);
  }
  return pairs;
}

// The range a variable's values are kept in.
std::pair<std::int64_t, std::int64_t> RangeOf(TrendVar v) {
  if (v == kTrendLevel) return {0, 255};
  if (IsTransparencyVar(v)) return {0, 100};
  const ParamSlot* slot = SlotOfVar(v);
  if (!slot) return {kNoLowerLimit, kNoUpperLimit};
  if (slot->kind == kParamColour) return {0, 0xFFFFFF};
  return {slot->trendMin, slot->trendMax};
}

// Points from a file: within the frames, in order, one per frame, with the
// first and last frame always present and the values inside the range.
void SetTrendPoints(Trend& t, std::vector<std::pair<std::int64_t, std::int64_t>> pairs, Reader& in) {
  if (pairs.empty()) {
    in.Warn("a Trend of " + TrendVarName(t.variable) + " has no points; it keeps its own");
    RecomputeTrend(t);
    return;
  }
  const int f = FrameCount();
  const auto [low, high] = RangeOf(t.variable);
  bool moved = false;
  for (auto& [frame, value] : pairs) {
    const std::int64_t g = std::clamp<std::int64_t>(frame - 1, 0, f - 1), v = std::clamp(value, low, high);
    moved = moved || g != frame - 1 || v != value;
    frame = g, value = v;
  }
  if (moved) in.Warn("Trend points of " + TrendVarName(t.variable) + " kept within the frames and the trend range");
  std::stable_sort(pairs.begin(), pairs.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<std::pair<std::int64_t, std::int64_t>> points;
  for (auto& p : pairs) {
    if (!points.empty() && points.back().first == p.first)
      points.back() = p;
    else
      points.push_back(p);
  }
  if (points.front().first != 0) points.insert(points.begin(), {0, points.front().second});
  if (points.back().first != f - 1) points.push_back({f - 1, points.back().second});
  t.count = 0;
  for (auto [frame, value] : points) {
    if (t.count >= t.room) break;
    t.frames[t.count] = static_cast<std::int32_t>(frame);
    t.values[t.count++] = static_cast<std::int32_t>(value);
    t.lower = std::min(t.lower, static_cast<std::int32_t>(value));
    t.upper = std::max(t.upper, static_cast<std::int32_t>(value));
  }
  t.selected = 0;
  RecomputeTrend(t);
}

class TimeLineReader {
 public:
  TimeLineReader(TimeLineTarget& target, std::string_view text, TimeLineLoadReport& report)
      : target_(target), in_(text, report) {}

  int Run() {
    std::string line;
    if (!in_.Next(line)) {
      ShowMessage(kMessageEmpty);
      return 1;
    }
    if (!StartsWithNoCase(line, "TIMELINE")) {
      ShowMessage(kMessageWrongType);
      return 1;
    }
    target_.Clear();
    int topLevel = 0;
    while (in_.Next(line)) {
      // One line a cell at most, and the Trends besides.
      if (topLevel >= 4 * target_.MaxLevels() * FrameCount() + kExtraTopLevelLines) {
        in_.Warn("reading stopped after " + std::to_string(topLevel) + " lines");
        break;
      }
      ++topLevel;
      if (StartsWithNoCase(line, "Frames"))
        Frames(line);
      else if (StartsWithNoCase(line, "SRC"))
        FileCell(line, kRowSource);
      else if (StartsWithNoCase(line, "ACT"))
        FileCell(line, kRowAction);
      else if (StartsWithNoCase(line, "OP"))
        OpCell(line);
      else if (StartsWithNoCase(line, "AREA"))
        AreaCell(line);
      else if (StartsWithNoCase(line, "Trend"))
        TopTrend(line);
      else if (!line.empty() && line.front() != '*')
        in_.Warn("line " + std::to_string(in_.LineNumber()) + " skipped: " + line.substr(0, 40));
    }
    target_.Finish();
    return 0;
  }

 private:
  void Frames(const std::string& line) {
    auto tokens = Tokens(line);
    auto v = tokens.empty() ? std::nullopt : ParseLong(ValueOf(tokens[0]));
    if (!v) {
      in_.Warn("a Frames line without a number");
      return;
    }
    std::int64_t frames = std::max<std::int64_t>(*v, kMinFrames);
    if (frames > kMaxFrames) {
      ShowMessageWith(kMessageWrongType, "Frames: " + std::to_string(*v) + " (at most " + std::to_string(kMaxFrames) + ")");
      in_.Warn("Frames " + std::to_string(*v) + " is more than " + std::to_string(kMaxFrames) + "; " +
               std::to_string(kMaxFrames) + " kept");
      frames = kMaxFrames;
    }
    if (frames != FrameCount()) ChangeFrameCount(static_cast<int>(frames));
  }

  // Level and frame (from 0) of a cell line, or nullopt when it names no
  // cell of the grid.
  std::optional<std::pair<int, int>> Place(const std::vector<std::string>& tokens) {
    std::optional<std::int64_t> level, frame;
    if (tokens.size() > 1 && KeywordMatches(tokens[1], "L", 1)) level = ParseLong(ValueOf(tokens[1]));
    if (tokens.size() > 2 && KeywordMatches(tokens[2], "F", 1)) frame = ParseLong(ValueOf(tokens[2]));
    if (!level || !frame || *level < 1 || *level > target_.MaxLevels() || *frame > FrameCount()) {
      in_.Warn("line " + std::to_string(in_.LineNumber()) + " names no cell of the TimeLine; skipped");
      return std::nullopt;
    }
    return std::pair{static_cast<int>(*level - 1), static_cast<int>(std::max<std::int64_t>(*frame, 1) - 1)};
  }

  // "=" and "==" cells; true when the line was one.
  bool Hold(const std::vector<std::string>& tokens, std::pair<int, int> at, int row) {
    if (tokens.size() < 4) return false;
    if (tokens[3] == "==" || tokens[3] == "=") {
      target_.PutHold(at.first, at.second, row, tokens[3] == "==" ? kCellHoldEnd : kCellHold);
      return true;
    }
    return false;
  }

  void Store(std::pair<int, int> at, int row, void* record) { target_.PutRecord(at.first, at.second, row, record); }

  void FileCell(const std::string& line, int row) {
    auto tokens = Tokens(line);
    if (!target_.TakesRow(row)) {
      in_.Warn("line " + std::to_string(in_.LineNumber()) + " skipped: the exposure sheet has no Source cells");
      return;
    }
    auto at = Place(tokens);
    if (!at || Hold(tokens, *at, row)) return;
    TimeFileRecord* r = NewFileRecord();
    if (!r) {
      ShowMessageWith(22, "loading TimeLine");
      return;
    }
    r->increment = 0;
    for (std::size_t i = 3; i < tokens.size() && i < 7; ++i) {
      const std::string& w = tokens[i];
      auto clampTo = [&](std::int32_t& into, std::int64_t low, std::int64_t high, const char* what) {
        auto v = ParseLong(ValueOf(w));
        if (!v) return;
        if (*v < low || *v > high) in_.Warn(std::string(what) + " " + std::to_string(*v) + " kept within " +
                                            std::to_string(low) + ".." + std::to_string(high));
        into = static_cast<std::int32_t>(std::clamp(*v, low, high));
      };
      if (KeywordMatches(w, "V:", 2)) {
        r->video = ParseLong(ValueOf(w)).value_or(0) != 0;
      } else if (KeywordMatches(w, "S:", 2)) {
        clampTo(r->startFrame, 1, kMaxStartFrame, "start frame");
      } else if (KeywordMatches(w, "I:", 2)) {
        // 0 is what a record read without an increment has.
        clampTo(r->increment, 0, kMaxIncrement, "frame increment");
      } else if (KeywordMatches(w, "Level", 5) && w.size() == 5 && i + 1 < tokens.size()) {
        const std::int64_t n = ParseLong(tokens[++i]).value_or(0);
        // Names a result only of a level below this one.
        if (n < 1 || n > at->first)
          in_.Warn("Level(" + std::to_string(n) + ") names no level below level " + std::to_string(at->first + 1));
        CopyText(r->fileName, "Level(" + std::to_string(std::clamp<std::int64_t>(n, -99999, 99999)) + ")");
      } else {
        if (w.size() >= sizeof r->fileName)
          in_.Warn("a file name of " + std::to_string(w.size()) + " characters cut to " + std::to_string(sizeof r->fileName - 1));
        CopyText(r->fileName, w);
      }
    }
    r->fromLoadedImage = 0;
    Store(*at, row, r);
  }

  void OpCell(const std::string& line) {
    auto tokens = Tokens(line);
    auto at = Place(tokens);
    if (!at) {
      SkipBlock();
      return;
    }
    if (Hold(tokens, *at, kRowOp)) return;
    const std::string name = tokens.size() > 3 ? tokens[3] : std::string{};
    OpId op = 0;
    for (const OpEntry& e : Catalogue()) {
      std::string_view opName = OpName(e.id);
      if (!name.empty() && opName.size() >= name.size() && EqualsNoCase(opName.substr(0, name.size()), name)) {
        op = e.id;
        break;
      }
    }
    if (op == 0) {
      op = Catalogue().front().id;
      in_.Warn("unknown operation \"" + name + "\"; " + std::string(OpName(op)) + " taken");
    }
    // The named operation's own settings are the ones its leftover slots keep.
    OpSettings* r = SnapshotOpSettings(op, false);
    if (!r) {
      ShowMessageWith(22, "loading TimeLine");
      SkipBlock();
      return;
    }
    int slot = 0;
    TrendVar lastVar = 0;
    std::string sub;
    while (in_.NextSubLine(sub)) {
      auto t = Tokens(sub);
      if (t.size() < 2) continue;
      const std::string& key = t[1];
      if (KeywordMatches(key, "Int", 3)) {
        r->interpolate = ParseLong(ValueOf(key)).value_or(r->interpolate) != 0;
      } else if (KeywordMatches(key, "Pfile", 5)) {
        CopyText(r->text, ValueOf(key));
      } else if (KeywordMatches(key, "Var", 3)) {
        lastVar = 0;
        if (slot >= kSlotCount) {
          in_.Warn("more than 17 parameters for " + std::string(OpName(op)) + "; the rest skipped");
          continue;
        }
        const std::string_view varName = ValueOf(key);
        const TrendVar v = VarNamed(varName, op, false);
        const ParamSlot* ps = SlotOfVar(v);
        if (!ps) {
          in_.Warn("unknown parameter \"" + std::string(varName) + "\" of " + std::string(OpName(op)));
          continue;
        }
        lastVar = v;
        r->bindings[slot] = ps->binding;
        r->labelIds[slot] = ps->labelId;
        r->kinds[slot] = ps->kind;
        // Without a value of its own the slot takes the parameter's.
        auto value = t.size() > 2 ? ParseLong(t[2]) : std::nullopt;
        r->values[slot] = SlotValue(*ps, value.value_or(LiveValue(v)));
        ++slot;
      } else if (KeywordMatches(key, "Trend", 5)) {
        const std::string_view varName = t.size() > 2 ? ValueOf(t[2]) : std::string_view{};
        TrendVar v = VarNamed(varName, op, true);
        if (v == 0) v = lastVar;
        Trend* trend = v != 0 ? FindOrCreateTrend(v, at->first) : nullptr;
        auto pairs = TrendPairs(t, 4, in_);
        if (!trend) {
          in_.Warn("a Trend of unknown \"" + std::string(varName) + "\" skipped");
          continue;
        }
        if (t.size() > 3 && KeywordMatches(t[3], "Spline", 5)) trend->spline = ParseLong(ValueOf(t[3])).value_or(0) != 0;
        SetTrendPoints(*trend, std::move(pairs), in_);
      }
    }
    Store(*at, kRowOp, r);
  }

  // A Var value kept where a Trend could have put it; a float's bits must
  // be a finite number.
  std::int32_t SlotValue(const ParamSlot& slot, std::int64_t value) {
    if (slot.kind == kParamFloat) {
      const auto bits = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
      if (std::isfinite(std::bit_cast<float>(bits))) return bits;
      in_.Warn("a parameter that is no number; its default kept");
      return slot.defaultValue;
    }
    const auto [low, high] = slot.kind == kParamColour ? std::pair<std::int64_t, std::int64_t>{0, 0xFFFFFF}
                                                       : std::pair<std::int64_t, std::int64_t>{slot.trendMin, slot.trendMax};
    if (value < low || value > high)
      in_.Warn(std::string(LoadString(static_cast<int>(slot.labelId))) + " " + std::to_string(value) + " kept within " +
               std::to_string(low) + ".." + std::to_string(high));
    return static_cast<std::int32_t>(std::clamp(value, low, high));
  }

  void AreaCell(const std::string& line) {
    auto tokens = Tokens(line);
    auto at = Place(tokens);
    if (!at) {
      SkipBlock();
      return;
    }
    if (Hold(tokens, *at, kRowArea)) return;
    // The current mode until a Mode line says otherwise (Redo when there is
    // none yet, as for a mode no one knows).
    const int current = Area().selection.mode;
    StoredArea* r = NewStoredArea(current >= kAreaFreehand && current <= kAreaColourKey ? current : kAreaRedo);
    if (!r) {
      ShowMessageWith(22, "loading TimeLine");
      SkipBlock();
      return;
    }
    std::vector<StoredPoint> points;
    std::string sub;
    while (in_.NextSubLine(sub)) {
      auto t = Tokens(sub);
      if (t.size() < 2) continue;
      AreaField(*r, sub, t, points);
    }
    if (SetStoredPoints(*r, points.data(), static_cast<int>(points.size())) != 0) ShowMessageWith(22, "loading TimeLine");
    Store(*at, kRowArea, r);
  }

  void AreaField(StoredArea& r, const std::string& line, const std::vector<std::string>& t, std::vector<StoredPoint>& points) {
    const std::string& key = t[1];
    // The first value follows the colon; the others are the next tokens.
    auto word = [&](std::size_t i) -> std::string_view { return i == 0 ? ValueOf(key) : i + 1 < t.size() ? std::string_view(t[i + 1]) : std::string_view{}; };
    auto whole = [&](std::size_t i, std::int64_t low, std::int64_t high, auto& into) {
      auto v = Number(word(i), low, high);
      if (v) into = static_cast<std::remove_reference_t<decltype(into)>>(*v);
      else if (!word(i).empty()) in_.Warn("area value " + std::string(word(i)) + " out of range; skipped");
    };
    auto real = [&](float& into, double limit) {
      std::string_view w = word(0).empty() ? word(1) : word(0);
      if (auto v = Real(w)) into = static_cast<float>(std::clamp(*v, -limit, limit));
      else in_.Warn("area value " + std::string(w) + " is no number; skipped");
    };
    auto is = [&](std::string_view k, std::size_t n) { return KeywordMatches(key, k, n); };
    constexpr std::int64_t c = kCoordinateLimit;
    if (is("Mode", 4)) {
      // The mode's name may hold spaces, so it is read from the line itself; a
      // line rebuilt from tokens (a repeated record) may not hold the key.
      const std::size_t at = line.find(key.substr(0, 4));
      std::string_view text = ValueOf(at == std::string::npos ? std::string_view(key) : std::string_view(line).substr(at));
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
      int mode = kAreaRedo;
      for (int id = kAreaFreehand; id <= kAreaColourKey; ++id)
        if (LoadString(id) == text) mode = id;
      if (mode == kAreaRedo && text != LoadString(kAreaRedo)) in_.Warn("unknown area mode \"" + std::string(text) + "\"; Redo taken");
      r.mode = static_cast<std::uint16_t>(mode);
    } else if (is("Image", 4)) {
      whole(0, 0, c, r.maskWidth), whole(1, 0, c, r.maskHeight);
    } else if (is("Center", 4)) {
      whole(0, -c, c, r.centreX), whole(1, -c, c, r.centreY);
    } else if (is("Pos", 3)) {
      whole(0, -c, c, r.left), whole(1, -c, c, r.top), whole(2, -c, c, r.right), whole(3, -c, c, r.bottom);
    } else if (is("FontW", 5)) {
      real(r.magnificationX, kMaxFontScale);
    } else if (is("FontH", 5)) {
      real(r.magnificationY, kMaxFontScale);
    } else if (is("FontRot", 7)) {
      real(r.rotation, 1e6);
    } else if (is("FontShear", 7)) {
      real(r.shear, kMaxFontScale);
    } else if (is("FontName", 7)) {
      CopyText(r.fontFace, ValueOf(key));
    } else if (is("FontPoint", 7)) {
      whole(0, 1, 100, r.fontSize);
    } else if (is("FontPos", 7)) {
      whole(0, -c, c, r.fontX), whole(1, -c, c, r.fontY);
    } else if (is("FontText", 8)) {
      if (SetStoredText(r, ValueOf(key)) != 0) ShowMessageWith(22, "loading TimeLine");
    } else if (is("ShapeName", 8)) {
      CopyText(r.shapeName, ValueOf(key));
    } else if (is("Roundness", 5)) {
      whole(0, 0, 100, r.roundness);
    } else if (is("TranLevel", 7)) {
      whole(0, 0, 255, r.level);
    } else if (is("TranEdge", 7)) {
      whole(0, 0, 100, r.edgeFade);
    } else if (is("TranGrow", 7)) {
      whole(0, 0, 100, r.grow);
    } else if (is("Int", 3)) {
      whole(0, 0, 1, r.interpolate);
    } else if (is("Pro", 3)) {
      whole(0, 0, 1, r.prompt);
    } else if (is("Mod", 3)) {
      whole(0, 0, 3, r.modify);
    } else if (is("Ex", 2)) {
      whole(0, 0, 1, r.exclude);
    } else if (is("Key", 3)) {
      for (std::size_t i = 0; i < 3; ++i) whole(i, 0, 255, r.keyColour[i]);
    } else if (is("Ran", 3)) {
      for (std::size_t i = 0; i < 3; ++i) whole(i, 0, 255, r.keyRange[i]);
    } else if (is("OnHue", 5)) {
      whole(0, 0, 1, r.keyHsl);
    } else if (is("HSLRange", 8)) {
      for (std::size_t i = 0; i < 3; ++i) whole(i, 0, 360, r.hslRange[i]);
    } else if (is("Splatter", 8)) {
      whole(0, 0, 1, r.splatterOn), whole(1, 1, 9999, r.splatNumber), whole(2, 0, INT32_MAX, r.splatSeed);
      whole(3, 0, 1000, r.splatSizing), whole(4, 0, 1, r.splatShape), whole(5, 0, 1, r.holdSquare), whole(6, 0, 1, r.inFromEdge);
    } else if (is("Restrict", 8)) {
      whole(0, 0, 1, r.keyRestriction);
    } else if (is("DoD", 3)) {
      whole(0, 0, 1, r.discriminatorOn);
    } else if (key.size() >= 6 && (is("RDisc", 5) || is("GDisc", 5) || is("BDisc", 5)) && (key[5] == '1' || key[5] == '2')) {
      const int channel = key[0] == 'R' || key[0] == 'r' ? 0 : key[0] == 'G' || key[0] == 'g' ? 1 : 2;
      whole(0, 0, 255, r.discriminator[channel * 2 + (key[5] - '1')]);
    } else if (is("Point", 5)) {
      auto x = Number(word(1), -c, c), y = Number(word(2), -c, c), flag = Number(word(3), 0, 65535);
      if (!x || !y) {
        in_.Warn("an area point out of range; skipped");
        return;
      }
      // Grown by doubling: a fixed step would copy a million-point outline
      // thousands of times over.
      points.push_back({static_cast<std::int32_t>(*x), static_cast<std::int32_t>(*y),
                        static_cast<std::uint16_t>(flag.value_or(255) != 0 ? 255 : 0)});
    }
  }

  void TopTrend(const std::string& line) {
    auto t = Tokens(line);
    const std::string_view varName = t.size() > 1 && KeywordMatches(t[1], "Var", 3) ? ValueOf(t[1]) : std::string_view{};
    const std::int64_t level =
        t.size() > 3 && KeywordMatches(t[3], "Level", 5) ? ParseLong(ValueOf(t[3])).value_or(-1) : std::int64_t{-1};
    auto pairs = TrendPairs(t, 4, in_);
    const TrendVar v = VarNamed(varName, 0, true);
    if (level < 0 || level >= target_.MaxLevels() || v == 0) {
      in_.Warn("a Trend line of \"" + std::string(varName) + "\" names no variable or level; skipped");
      return;
    }
    Trend* trend = FindOrCreateTrend(v, static_cast<int>(level));
    if (!trend) return;
    if (t.size() > 2 && KeywordMatches(t[2], "Spline", 5)) trend->spline = ParseLong(ValueOf(t[2])).value_or(0) != 0;
    SetTrendPoints(*trend, std::move(pairs), in_);
  }

  void SkipBlock() {
    std::string sub;
    while (in_.NextSubLine(sub)) {
    }
  }

  TimeLineTarget& target_;
  Reader in_;
};

// The TimeLine's grid as a file's target.
class GridTarget final : public TimeLineTarget {
 public:
  int MaxLevels() const override { return kMaxLevels; }
  bool TakesRow(int) const override { return true; }
  void Clear() override {
    ClearTimeLine();
    KillAllTrends();
  }
  void PutHold(int level, int frame, int row, Cell hold) override { SetCell(level, frame, row, hold); }
  void PutRecord(int level, int frame, int row, void* record) override {
    const Cell cell = AddRecord(record);
    if (SetCell(level, frame, row, cell) != 0) FreeRecordOf(row, cell);
  }
  void Finish() override {
    TimeLineState& t = TL();
    if (!t.needs) t.needs = AllocRealArray<void*>(kMaxLevels, "needs");
    if (!t.outf) t.outf = AllocRealArray<std::int32_t>(t.frames, "outf");
    t.created = true;
    t.modified = false;
    t.cursor.row = RowExists(0, kRowOp) ? kRowOp : t.cursor.row;
  }
  int LevelsInUse() const override { return qv::LevelsInUse(); }
  bool HasRow(int level, int row) const override { return RowExists(level, row); }
  Cell CellAt(int level, int frame, int row) const override { return qv::CellAt(level, frame, row); }
  const void* RecordAt(int level, int frame, int row) const override { return RecordOf(qv::CellAt(level, frame, row)); }
};

}  // namespace

TimeLineTarget& TimeLineAsTarget() {
  static GridTarget grid;  // no state of its own: the grid is the TimeLine's
  return grid;
}

int ReadTargetText(TimeLineTarget& target, std::string_view text, TimeLineLoadReport* report) {
  TimeLineLoadReport local;
  TimeLineReader reader(target, text, report ? *report : local);
  return reader.Run();
}

int ReadTimeLineText(std::string_view text, TimeLineLoadReport* report) {
  const int result = ReadTargetText(TimeLineAsTarget(), text, report);
  if (Anim().redrawTimeLine) Anim().redrawTimeLine();
  return result;
}

int ReadTimeLineFile(const std::filesystem::path& path, std::string& text) {
  // Only a plain file: opening a FIFO or a device would wait or never end.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    ShowMessageFile(kMessageCannotOpen, path.string());
    return 1;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ShowMessageFile(kMessageCannotOpen, path.string());
    return 1;
  }
  text.clear();
  char buffer[1 << 16];
  while (in && text.size() < kTimeLineMaxBytes) {
    in.read(buffer, static_cast<std::streamsize>(std::min(sizeof buffer, kTimeLineMaxBytes - text.size())));
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return 0;
}

int LoadTimeLine(const std::filesystem::path& path, TimeLineLoadReport* report) {
  std::string text;
  if (ReadTimeLineFile(path, text) != 0) return 1;
  if (ReadTimeLineText(text, report) != 0) return 1;
  TL().title = path.string();
  LogLine("Loaded TimeLine %s\n", path.string().c_str());
  return 0;
}

std::filesystem::path ResolveTimeLinePath(std::string_view name, const std::filesystem::path& timeLineFolder,
                                          const std::filesystem::path& projectFolder) {
  std::string portable(name);
  std::replace(portable.begin(), portable.end(), '\\', '/');
  std::filesystem::path p(portable);
  if (p.is_absolute() || portable.empty()) return p;
  std::error_code ec;
  for (const auto& folder : {timeLineFolder, projectFolder})
    if (!folder.empty() && std::filesystem::exists(folder / p, ec)) return folder / p;
  return p;
}

}  // namespace qv
