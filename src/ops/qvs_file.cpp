#include "ops/qvs_file.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr std::string_view kHeader = "QVOPSET Pixanta:Q/v File";
constexpr std::string_view kImageKeywords[] = {"SOURCE", "TARGET", "IMAGE"};

void AppendProfile(std::string& out, const ProfileInfo& info, const std::int16_t* values) {
  out += std::string(info.keyword) + " 0 200 0 " + std::to_string(info.maximum) + "\n";
  for (int i = 0; i < kProfileLength; ++i) {
    out += ' ';
    out += std::to_string(values[i]);
    if (i % 20 == 19) out += '\n';
  }
  out += '\n';
}

// Lines of the text, with a one-line look-back so that a block reader can
// hand back the line that ended its block.
class LineSource {
 public:
  explicit LineSource(std::string_view text) : text_(text) {}
  bool Next(std::string& line) {
    if (held_) {
      held_ = false;
      line = heldLine_;
      return true;
    }
    return NextLine(text_, pos_, line, kQvsLineLimit);
  }
  void PutBack(const std::string& line) {
    heldLine_ = line;
    held_ = true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::string heldLine_;
  bool held_ = false;
};

std::int32_t ClampToSlot(const ParamSlot& slot, std::int64_t v) {
  // Values from a file may be anything; keep them where a trend could have
  // put them, so that no effect sees a value it was never meant to get.
  std::int64_t lo = slot.kind == kParamColour ? 0 : slot.trendMin;
  std::int64_t hi = slot.kind == kParamColour ? 0xFFFFFF : slot.trendMax;
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The first operation, in catalogue order, whose whole name begins the line:
// the name must be followed by the end, a colon, or something that is not a
// letter (so "Shave Alpha: 4" belongs to Shave Alpha, not to Shave). Returns
// the index and sets `rest` to what follows the name and its colon.
std::optional<int> MatchOperationLine(std::string_view line, std::string_view& rest) {
  line = SkipBlanks(line);
  auto cat = Catalogue();
  for (std::size_t i = 0; i < cat.size(); ++i) {
    std::string_view name = OpName(cat[i].id);
    if (name.empty() || !StartsWithNoCase(line, name)) continue;
    std::string_view after = SkipBlanks(line.substr(name.size()));
    char c = after.empty() ? '\0' : after.front();
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
    if (letter) continue;
    if (c == ':') after.remove_prefix(1);
    rest = after;
    return static_cast<int>(i);
  }
  return std::nullopt;
}

void ReadOperationValues(const OpEntry& e, std::string_view rest) {
  auto words = SplitWords(rest, kSlotCount);
  int n = LabelledSlotCount(e);
  for (int k = 0; k < n && k < static_cast<int>(words.size()); ++k) {
    auto v = ParseLong(words[static_cast<std::size_t>(k)]);
    std::int32_t* live = BindingValue(e.slots[k].binding);
    if (v && live) *live = ClampToSlot(e.slots[k], *v);
  }
}

bool FirstWordIsNumber(const std::string& line) {
  auto words = SplitWords(line, 1);
  return !words.empty() && ParseLong(words.front()).has_value();
}

void ReadProfile(ProfileId id, const std::vector<std::string>& header, LineSource& lines) {
  std::int64_t first = 0, last = 200;
  if (header.size() > 1)
    if (auto v = ParseLong(header[1])) first = *v;
  if (header.size() > 2)
    if (auto v = ParseLong(header[2])) last = *v;
  // The minimum and maximum of the header are not needed: values are kept
  // within the profile's own range.
  first = std::clamp<std::int64_t>(first, 0, kProfileLength - 1);
  last = std::clamp<std::int64_t>(last, 0, kProfileLength - 1);
  std::int16_t* profile = EnsureProfile(id);
  if (!profile) {
    LogLine("No memory for the %s profile; its values are skipped\n", std::string(InfoOf(id).keyword).c_str());
    return;
  }
  const std::int64_t maximum = InfoOf(id).maximum;
  const std::int64_t lineLimit = (last + 1) / 20 + 1;
  std::int64_t index = first;
  std::string line;
  for (std::int64_t used = 0; index <= last && used < lineLimit && lines.Next(line); ++used) {
    // A line that does not start with a number ends a short block and is
    // read as the line it is.
    if (!FirstWordIsNumber(line)) {
      lines.PutBack(line);
      break;
    }
    for (const auto& w : SplitWords(line)) {
      if (index > last) break;
      if (auto v = ParseLong(w)) profile[index++] = static_cast<std::int16_t>(std::clamp<std::int64_t>(*v, 0, maximum));
    }
  }
}

// Trend keys repeat within an operation ("X Length" and "X Front" both have
// "X"), so the n-th line with a key belongs to the n-th slot with that key,
// the order the writer uses.
const ParamSlot* SlotOfTrendLine(const OpEntry& e, std::string_view key, std::map<std::string, int>& seen) {
  std::string lowered;
  for (char c : key) lowered += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  int wanted = seen[lowered]++;
  int n = LabelledSlotCount(e);
  for (int k = 0; k < n; ++k)
    if (EqualsNoCase(TrendKey(LoadString(static_cast<int>(e.slots[k].labelId))), key) && wanted-- == 0)
      return &e.slots[k];
  return nullptr;
}

// False for a line that is not a trend line of the operation.
bool ReadTrendLine(const std::string& line, const OpEntry& e, std::map<std::string, int>& seen, LineSource& lines) {
  std::string_view text = SkipBlanks(line);
  bool remove = StartsWithNoCase(text, "NoTrend[");
  if (!remove && !StartsWithNoCase(text, "Trend[")) return false;
  text.remove_prefix(remove ? 8 : 6);
  auto close = text.find(']');
  if (close == std::string_view::npos) return false;
  const ParamSlot* slot = SlotOfTrendLine(e, text.substr(0, close), seen);
  if (!slot) return false;
  const OpsHooks& hooks = Ops().hooks;
  if (remove && hooks.removeTrend) {
    hooks.removeTrend(*slot);
  } else if (!remove && hooks.readTrend) {
    hooks.readTrend(line, *slot, [&lines](std::string& next) { return lines.Next(next); });
  } else {
    LogLine("Trend line kept for later (no trends yet): %s\n", line.c_str());
  }
  return true;
}

void NoteSkipped(QvsReadResult& r, const std::string& line) {
  ++r.skippedCount;
  if (r.skipped.size() < kQvsSkippedKept) r.skipped.push_back(line);
}

// False when the line was skipped.
bool ReadImageLine(std::string_view keyword, const std::vector<std::string>& words) {
  std::string_view name = words.size() > 1 ? std::string_view(words[1]) : std::string_view{};
  const auto& hook = Ops().hooks.imageLine;
  if (hook && !name.empty()) {
    hook(keyword, name);
    return true;
  }
  LogLine("%s \"%s\" skipped: only settings are read here\n", std::string(keyword).c_str(), std::string(name).c_str());
  return false;
}

}  // namespace

std::string TrendKey(std::string_view label) {
  if (label.size() >= 2 && label[1] == ' ') return std::string(label.substr(0, 1));
  return std::string(label.substr(0, std::min<std::size_t>(4, label.size())));
}

std::string OpSettingsText(OpId id) {
  const OpEntry& e = OpOf(id);
  const int n = LabelledSlotCount(e);
  std::string out;
  out += kHeader;
  out += "\n\n";
  out += OpName(e.id);
  out += ':';
  for (int k = 0; k < n; ++k) {
    const std::int32_t* v = BindingValue(e.slots[k].binding);
    out += ' ';
    out += std::to_string(v ? *v : 0);
  }
  out += '\n';
  for (int p = 0; p < kProfileCount; ++p) {
    auto pid = static_cast<ProfileId>(p);
    const ProfileInfo& info = InfoOf(pid);
    if (info.owner != e.id) continue;
    if (const std::int16_t* values = FindProfile(pid)) {
      AppendProfile(out, info, values);
    } else if (pid == ProfileId::Arm || pid == ProfileId::Shape) {
      // Never edited: what the effect would build on first use.
      auto curve = DefaultProfile();
      AppendProfile(out, info, curve.data());
    }
  }
  const auto& writeTrend = Ops().hooks.writeTrend;
  for (int k = 0; k < n; ++k) {
    std::string key = TrendKey(LoadString(static_cast<int>(e.slots[k].labelId)));
    if (!(writeTrend && writeTrend(out, key, e.slots[k]))) out += "NoTrend[" + key + "]\n";
  }
  return out;
}

int SaveOpSettingsFile(const std::filesystem::path& path, OpId id) {
  if (id == 0) id = CurrentOp();
  std::string text = OpSettingsText(id);
  AtomicFile file;
  if (!file.Open(path) || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || !file.Commit()) {
    ShowMessageFile(71, path.string());
    return 1;
  }
  LogLine("Saved settings of %s to %s\n", std::string(OpName(id)).c_str(), path.string().c_str());
  return 0;
}

int ReadOpSettingsText(std::string_view text, QvsReadResult* result) {
  QvsReadResult local;
  QvsReadResult& r = result ? *result : local;
  r = {};
  // Editors that save UTF-8 may put a byte order mark before the header.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  LineSource lines(text);
  std::string line;
  if (!lines.Next(line) || !(StartsWithNoCase(line, "QVOPSET") || StartsWithNoCase(line, "QVPROJ"))) {
    ShowMessage(42);
    return 1;
  }
  int current = FindOp(CurrentOp());
  std::map<std::string, int> trendKeysSeen;
  while (lines.Next(line)) {
    auto words = SplitWords(line, 8);
    if (words.empty()) continue;
    const std::string& first = words.front();

    if (auto kw = std::find_if(std::begin(kImageKeywords), std::end(kImageKeywords),
                               [&](std::string_view k) { return KeywordMatches(first, k, k.size()); });
        kw != std::end(kImageKeywords)) {
      if (!ReadImageLine(*kw, words)) NoteSkipped(r, line);
      continue;
    }

    bool wasProfile = false;
    for (int p = 0; p < kProfileCount && !wasProfile; ++p)
      if (EqualsNoCase(first, InfoOf(static_cast<ProfileId>(p)).keyword)) {
        ReadProfile(static_cast<ProfileId>(p), SplitWords(line, 5), lines);
        ++r.profilesRead;
        wasProfile = true;
      }
    if (wasProfile) continue;

    std::string_view rest;
    if (auto index = MatchOperationLine(line, rest)) {
      current = *index;
      trendKeysSeen.clear();
      ReadOperationValues(OpAt(current), rest);
      r.lastOperation = OpAt(current).id;
      ++r.operationLines;
      continue;
    }

    if (!ReadTrendLine(line, OpAt(current), trendKeysSeen, lines)) NoteSkipped(r, line);
  }
  RefreshSettingsDialog();
  return 0;
}

int LoadOpSettingsFile(const std::filesystem::path& path, QvsReadResult* result) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ShowMessageFile(71, path.string());
    return 1;
  }
  in.seekg(0, std::ios::end);
  std::int64_t size = std::max<std::int64_t>(0, static_cast<std::int64_t>(in.tellg()));
  in.seekg(0, std::ios::beg);
  if (size > kQvsMaxBytes) {
    LogLine("%s is longer than %lld bytes; the rest is not read\n", path.string().c_str(),
            static_cast<long long>(kQvsMaxBytes));
    size = kQvsMaxBytes;
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), size);
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ReadOpSettingsText(text, result);
}

}  // namespace qv
