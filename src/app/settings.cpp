#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "base/atomic_file.h"
#include "display/render.h"
#include "extlib/palette_library.h"
#include "ops/op_state.h"
#include "store/undo.h"

namespace qv {
namespace {

// The operation a settings file without one starts with.
constexpr OpId kStoredOpDefault = 3131;

// A settings file larger than this is not ours; reading stops there.
constexpr std::size_t kMaxSettingsBytes = 1 << 20;

struct IniKey {
  std::string key;
  std::string value;
};

struct IniSection {
  std::string name;
  std::vector<IniKey> keys;
};

using IniFile = std::vector<IniSection>;

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The profile rules: sections and keys without regard to case, values
// trimmed, one pair of enclosing double quotes dropped, ';' comments.
IniFile ParseIni(std::string_view text) {
  IniFile ini;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      auto close = line.find(']');
      if (close == std::string_view::npos) continue;
      ini.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string_view::npos || ini.empty()) continue;
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (!key.empty()) ini.back().keys.push_back({std::string(key), std::string(value)});
  }
  return ini;
}

const IniSection* FindSection(const IniFile& ini, std::string_view name) {
  for (const auto& s : ini)
    if (SameWord(s.name, name)) return &s;
  return nullptr;
}

const std::string* FindValue(const IniFile& ini, std::string_view section, std::string_view key) {
  const IniSection* s = FindSection(ini, section);
  if (!s) return nullptr;
  for (const auto& k : s->keys)
    if (SameWord(k.key, key)) return &k.value;
  return nullptr;
}

IniFile ReadIniFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(kMaxSettingsBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ParseIni(text);
}

// Parses blank-separated decimal numbers the way "%d %d ..." does: each
// number that parses is assigned, the first that does not ends the scan and
// leaves the rest unchanged. Out-of-range numbers are clamped.
void ScanNumbers(std::string_view text, std::initializer_list<int*> vars) {
  std::size_t i = 0;
  for (int* var : vars) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return;
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
      value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 40);
    if (negative) value = -value;
    *var = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  }
}

std::string JoinNumbers(std::initializer_list<int*> vars) {
  std::string out;
  for (int* var : vars) {
    if (!out.empty()) out += ' ';
    out += std::to_string(*var);
  }
  return out;
}

// One walk over every key in file order serves both reading and writing.
class Reader {
 public:
  static constexpr bool kReading = true;
  explicit Reader(const IniFile& ini) : ini_(ini) {}

  void Section(const char* name) { section_ = name; }
  void Numbers(const char* key, const char* defaultText, std::initializer_list<int*> vars) {
    const std::string* v = FindValue(ini_, section_, key);
    ScanNumbers(v ? std::string_view(*v) : std::string_view(defaultText), vars);
  }
  void ReadOnly(const char* key, const char* defaultText, std::initializer_list<int*> vars) {
    Numbers(key, defaultText, vars);
  }
  // Parsed only when present and not empty; otherwise the built-in values stay.
  void Optional(const char* key, std::initializer_list<int*> vars) {
    const std::string* v = FindValue(ini_, section_, key);
    if (v && !v->empty()) ScanNumbers(*v, vars);
  }
  void Padded(const char* key, const char* defaultText, std::initializer_list<int*> vars) {
    Numbers(key, defaultText, vars);
  }
  void Text(const char* key, const char* defaultText, std::string& value, std::size_t max) {
    const std::string* v = FindValue(ini_, section_, key);
    value = v ? v->substr(0, max) : std::string(defaultText);
  }
  void KeepIfUnwritten(const char* key, bool write, const char* defaultText, std::initializer_list<int*> vars) {
    (void)write;
    Numbers(key, defaultText, vars);
  }

 private:
  const IniFile& ini_;
  const char* section_ = kSettingsSection;
};

class Writer {
 public:
  static constexpr bool kReading = false;
  explicit Writer(const IniFile& old) : old_(old) {}

  void Section(const char* name) {
    FinishSection();
    section_ = name;
    if (!out_.empty()) out_ += '\n';
    out_ += '[';
    out_ += name;
    out_ += "]\n";
  }
  void Numbers(const char* key, const char*, std::initializer_list<int*> vars) { Line(key, JoinNumbers(vars)); }
  void ReadOnly(const char* key, const char*, std::initializer_list<int*>) { KeepOld(key); }
  void Optional(const char* key, std::initializer_list<int*> vars) { Line(key, JoinNumbers(vars)); }
  // "%3d %3d %3d": every number right-aligned in three places.
  void Padded(const char* key, const char*, std::initializer_list<int*> vars) {
    std::string text;
    for (int* var : vars) {
      char field[16];
      std::snprintf(field, sizeof field, "%3d", *var);
      if (!text.empty()) text += ' ';
      text += field;
    }
    Line(key, text);
  }
  void Text(const char* key, const char*, std::string& value, std::size_t max) { Line(key, value.substr(0, max)); }
  // A key written only in some runs keeps its old line in the others.
  void KeepIfUnwritten(const char* key, bool write, const char*, std::initializer_list<int*> vars) {
    if (write)
      Line(key, JoinNumbers(vars));
    else
      KeepOld(key);
  }

  std::string Finish() {
    FinishSection();
    // Sections that are not ours stay as they were.
    for (const auto& s : old_) {
      if (SameWord(s.name, kSettingsSection) || SameWord(s.name, kIShapeSection)) continue;
      out_ += "\n[" + s.name + "]\n";
      for (const auto& k : s.keys) out_ += k.key + "=" + k.value + "\n";
    }
    return out_;
  }

 private:
  void Line(const char* key, const std::string& value) {
    written_.emplace_back(key);
    // Line breaks in a value would forge keys of their own.
    std::string clean = value;
    std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    out_ += key;
    out_ += '=';
    out_ += clean;
    out_ += '\n';
  }
  void KeepOld(const char* key) {
    if (const std::string* v = FindValue(old_, section_, key)) Line(key, *v);
  }
  // Keys of our sections that this version does not know are kept.
  void FinishSection() {
    if (!section_) return;
    if (const IniSection* s = FindSection(old_, section_)) {
      for (const auto& k : s->keys) {
        bool known = std::any_of(written_.begin(), written_.end(), [&](const std::string& w) { return SameWord(w, k.key); });
        if (!known) Line(k.key.c_str(), k.value);
      }
    }
    written_.clear();
  }
  const IniFile& old_;
  const char* section_ = nullptr;
  std::string out_;
  std::vector<std::string> written_;
};

void CheckMainPlace(WindowPlace& p, const ScreenInfo& screen) {
  if (p.x < 0) p.x = 0;
  if (p.y < 0) p.y = 0;
  // A window that starts wholly off the screen could never be reached.
  if (p.x >= screen.width) p.x = 0;
  if (p.y >= screen.height) p.y = 0;
  if (p.width > screen.width) p.width = screen.width;
  if (p.height > screen.height) p.height = screen.height;
  if (p.width <= 60) {
    p.x = 0;
    p.width = screen.width;
  }
  if (p.height <= 40) {
    p.y = 0;
    p.height = screen.height;
  }
}

void CheckViewPlace(WindowPlace& p, const WindowPlace& main) {
  if (p.x < 0 || p.x > main.width) p.x = 8;
  if (p.y < 0 || p.y > main.height) p.y = 8;
  if (p.width > main.width) p.width = main.width / 2 - 8;
  if (p.height > main.height) p.height = main.height / 2 - 4;
}

void CheckCorner(WindowPlace& p, const WindowPlace& main) {
  if (p.x < 0 || p.x > main.width) p.x = 8;
  if (p.y < 0 || p.y > main.height) p.y = 8;
}

int Clamp(int v, int lo, int hi) { return std::clamp(v, lo, hi); }

void ClampRgb(Rgb& c) {
  c.red = Clamp(c.red, 0, 255);
  c.green = Clamp(c.green, 0, 255);
  c.blue = Clamp(c.blue, 0, 255);
}

// A colour its owner keeps as three bytes or three ints goes through the
// file as a clamped Rgb.
template <class V, class T>
void Colour(V& v, const char* key, const char* defaultText, T* rgb) {
  Rgb c{static_cast<int>(rgb[0]), static_cast<int>(rgb[1]), static_cast<int>(rgb[2])};
  v.Numbers(key, defaultText, {&c.red, &c.green, &c.blue});
  if (V::kReading) {
    ClampRgb(c);
    rgb[0] = static_cast<T>(c.red);
    rgb[1] = static_cast<T>(c.green);
    rgb[2] = static_cast<T>(c.blue);
  }
}

// A switch its owner keeps as a bool.
template <class V>
void Switch(V& v, const char* key, const char* defaultText, bool& value) {
  int number = value ? 1 : 0;
  v.Numbers(key, defaultText, {&number});
  if (V::kReading) value = number != 0;
}

template <class V>
void Places(V& v, Program& p) {
  Settings& s = p.settings;
  const ScreenInfo& screen = p.display.screen;
  v.Numbers("PosMain", "0 0 1024 768", {&s.main.x, &s.main.y, &s.main.width, &s.main.height});
  if (V::kReading) CheckMainPlace(s.main, screen);
  v.Numbers("PosView", "136 69 278 184", {&s.view.x, &s.view.y, &s.view.width, &s.view.height});
  if (V::kReading) CheckViewPlace(s.view, s.main);
  v.Numbers("PosTool", "3 69", {&s.tool.x, &s.tool.y});
  if (V::kReading) CheckCorner(s.tool, s.main);
  v.Numbers("PosChron", "40 40", {&s.chron.x, &s.chron.y});
  if (V::kReading) CheckCorner(s.chron, s.main);
  v.Numbers("ShowChron", "0", {&s.showChron});
  v.Numbers("OpenSplash", "1", {&s.openSplash});
  int& method = p.ops.workMethod;
  v.Numbers("WorkMethod", "0", {&method});
  if (V::kReading && method != kWorkDrawFirst) method = kWorkImmediatePainting;
  v.Numbers("PosOp", "150 125", {&s.op.x, &s.op.y});
  if (V::kReading) CheckCorner(s.op, s.main);
  v.ReadOnly("ChopMem", "0", {&p.save.chopMem});
  v.Numbers("PosFilm", "137 256 394 98", {&s.film.x, &s.film.y, &s.film.width, &s.film.height});
  v.Numbers("PosProfile", "10 10 200 100", {&s.profile.x, &s.profile.y, &s.profile.width, &s.profile.height});
  v.Numbers("PosTrend", "100 100 520 120", {&s.trend.x, &s.trend.y, &s.trend.width, &s.trend.height});
  v.Numbers("PosProg", "60 60 300 120", {&s.prog.x, &s.prog.y, &s.prog.width, &s.prog.height});
  v.Numbers("PosTime", "40 40 400 200", {&s.time.x, &s.time.y, &s.time.width, &s.time.height});
  v.KeepIfUnwritten("PosExp", s.expOpened, "20 20 300 300", {&s.exp.x, &s.exp.y, &s.exp.width, &s.exp.height});
}

template <class V>
void Folders(V& v, Program& p) {
  Settings& s = p.settings;
  constexpr std::size_t kMax = 4095;
  struct {
    const char* key;
    std::string* value;
  } texts[] = {
      {"ImagePath", &p.files.imagePath},   {"FilmPath", &s.filmPath},       {"ProjPath", &p.files.projPath},
      {"OutPath", &s.outPath},             {"OutName", &s.outName},         {"OutExtn", &s.outExtn},
      {"SavePath", &s.savePath},           {"SaveName", &s.saveName},       {"SaveExtn", &s.saveExtn},
      {"SeqImagesPath", &s.seqImagesPath}, {"AreaPath", &s.areaPath},       {"ProjectPath", &s.projectPath},
      {"SettingsPath", &s.settingsPath},   {"SeqListPath", &s.seqListPath}, {"PalUsePath", &s.palUsePath},
  };
  for (auto& t : texts) v.Text(t.key, "", *t.value, kMax);
}

template <class V>
void Visit(V& v, Program& p) {
  Settings& s = p.settings;
  v.Section(kSettingsSection);
  Places(v, p);
  Folders(v, p);

  DisplayState& display = p.display;
  int displayMode = V::kReading ? kDisplayModeKeepAutomatic : display.mode;
  v.Numbers("DisplayMode", "20", {&displayMode});
  // 20 and above, and anything that is no mode, keep the display's own.
  if (V::kReading)
    display.mode = InitialDisplayMode(display.screen.bitsPerPixel * display.screen.planes, displayMode);
  v.Numbers("Ordered", "0", {&p.reduce.ordered});

  for (int i = 0; i < 16; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "CustomColor%d", i + 1);
    Rgb c = UnpackColour(p.palettes.customColours[i]);
    v.Padded(key, "0 0 0", {&c.red, &c.green, &c.blue});
    if (V::kReading) SetCustomColour(i, c);
  }
  auto& rgbTolerance = p.ops.rgbTolerance;
  auto& hslTolerance = p.ops.hslTolerance;
  v.Numbers("RGBRange", "20 20 20", {&rgbTolerance[0], &rgbTolerance[1], &rgbTolerance[2]});
  v.Numbers("HSLRange", "30 20 20", {&hslTolerance[0], &hslTolerance[1], &hslTolerance[2]});
  v.Numbers("SaveType", "0", {&p.save.type});
  v.Numbers("SaveDepth", "24", {&p.save.depth});
  v.Numbers("SaveCompress", "1", {&p.save.compress});
  v.Numbers("JPEGQuality", "75", {&p.save.jpegQuality});
  v.Numbers("SeqType", "9", {&s.seq.type});
  v.Numbers("SeqDepth", "24", {&s.seq.depth});
  v.Numbers("SeqCompress", "1", {&s.seq.compress});
  v.Numbers("SeqQuality", "75", {&s.seq.quality});
  v.Text("CapFile", "", s.capFile, 4095);
  v.Numbers("CapCounter", "1", {&s.capCounter});
  v.Numbers("CapType", "9", {&s.cap.type});
  v.Numbers("CapDepth", "24", {&s.cap.depth});
  v.Numbers("CapCompress", "1", {&s.cap.compress});
  v.Numbers("CapQuality", "75", {&s.cap.quality});
  v.Numbers("CapDelay", "2", {&s.capDelay});
  v.Numbers("CapMem", "1", {&s.capMem});
  int undoLevels = p.undo.levels;
  v.Numbers("UndoWant", "3", {&undoLevels});
  if (V::kReading) SetUndoLevels(p.undo.levels, Clamp(undoLevels, 0, kMaxUndoLevels));

  AreaState& area = p.area;
  int areaMode = area.selection.mode;
  v.Numbers("AreaMode", "6", {&areaMode});
  if (V::kReading) {
    if (areaMode < kAreaFreehand) areaMode += kAreaFreehand - 1;  // an index into the mode list
    area.selection.mode =
        static_cast<std::int16_t>((areaMode >= kAreaFreehand && areaMode <= kAreaColourKey) ? areaMode : kAreaEllipse);
  }
  v.Numbers("SaveResult", "0", {&s.saveResult});
  // The TimeLine's frame count and cursor, and the sequence's range.
  TimeLineState& timeLine = p.anim.timeline;
  int currentFrame = timeLine.cursor.frame + 1;
  v.Numbers("FrameControl", "7 1 7 4  320 200",
            {&timeLine.frames, &timeLine.firstFrame, &timeLine.lastFrame, &currentFrame});
  if (V::kReading) {
    // Trends divide by F - 1; the film strip file holds no more frames.
    timeLine.frames = Clamp(timeLine.frames, kMinFrames, kMaxFrames);
    timeLine.cursor.frame = Clamp(currentFrame, 1, timeLine.frames) - 1;
  }
  v.Numbers("ShowFilm", "1", {&s.showFilm});
  v.Numbers("DarkBack", "1", {&s.darkBack});
  v.Numbers("ToolText", "1", {&s.toolText});
  v.Numbers("ProgressLight", "0", {&s.progressLight});
  v.Numbers("FilmSpeed", "70", {&s.filmSpeed});
  v.Numbers("FilmPong", "1", {&s.filmPong});
  v.Numbers("FilmReverse", "0", {&s.filmReverse});
  v.Numbers("FilmSize", "96 72", {&s.filmWidth, &s.filmHeight});
  v.Numbers("ChooseColors", "0", {&p.reduce.chooseColors});
  // Only the four choices of the window; 4 would make the writers take
  // whatever their palette arrays hold as the palette.
  if (V::kReading && (p.reduce.chooseColors < kPaletteDefault || p.reduce.chooseColors > kPaletteRender))
    p.reduce.chooseColors = kPaletteDefault;
  v.Numbers("LockAfterFirst", "0", {&p.reduce.lockAfterFirst});
  v.Numbers("ViewAdjust", "0", {&s.viewAdjust});
  v.Numbers("KeepLog", "0", {&s.keepLog});
  Switch(v, "WithAlpha", "1", area.maskWithAlpha);
  int modAlpha = (!V::kReading && s.modAlpha == 1) ? 2 : s.modAlpha;
  v.Numbers("ModAlpha", "2", {&modAlpha});
  if (V::kReading) s.modAlpha = (modAlpha >= 0 && modAlpha <= 2) ? modAlpha : 2;
  v.Numbers("KeepAspect", "1", {&s.keepAspect});
  v.Numbers("AlphaBack", "1", {&display.alphaBack});
  Colour(v, "AlphaColor", "0 0 255", display.alphaColour.data());
  Colour(v, "BackColor", "0 0 0", display.backColour.data());
  v.Numbers("PaletteBeep", "0", {&s.paletteBeep});
  v.Numbers("AnimMillis", "70", {&s.animMillis});
  v.Numbers("CornerShape", "0", {&s.cornerShape});
  v.Numbers("CornerRect", "0", {&s.cornerRect});
  v.Numbers("CornerRound", "0", {&s.cornerRound});
  v.Numbers("CornerOval", "0", {&s.cornerOval});
  int operation = V::kReading ? 0 : static_cast<int>(p.ops.current);
  v.Numbers("Operation", "0", {&operation});
  if (V::kReading) {
    p.ops.current = operation == 0 ? kStoredOpDefault : static_cast<OpId>(operation);
    ValidateCurrentOp();
  }
  v.Numbers("FilmScrolling", "0", {&s.filmScrolling});

  NewImageDetails& n = p.images.newImage;
  int colour[3] = {n.colour[0], n.colour[1], n.colour[2]};
  v.Numbers("NewImage", "320 200 100 100 30 30 70",
            {&n.width, &n.height, &n.dpiX, &n.dpiY, &colour[0], &colour[1], &colour[2]});
  if (V::kReading) {
    if (n.width <= 0 || n.height <= 0) {
      n.width = 320;
      n.height = 200;
    }
    if (n.dpiX <= 0 || n.dpiY <= 0) {
      n.dpiX = 100;
      n.dpiY = 100;
    }
    for (int i = 0; i < 3; ++i) n.colour[i] = static_cast<std::uint8_t>(Clamp(colour[i], 0, 255));
  }

  AreaFont& font = area.selection.font;
  v.Text("Font", "Arial", font.face, kFontNameMax);
  Colour(v, "FontColor", "255 0 0", font.colour);
  // Points are the font's character height in pixels.
  int points = font.pixelSize;
  v.Numbers("Points", "23", {&points});
  // A size of nothing or less would give no outline at all.
  if (V::kReading) font.pixelSize = (points > 100 || points < 1) ? 23 : points;
  for (int i = 0; i < 6; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "LastFile%d", i + 1);
    v.Text(key, "", s.lastFiles[i], kLastFileMax);
  }
  v.Numbers("HideOp", "1", {&s.hideOp});
  v.Numbers("LineDash1", "255 255 255", {&s.lineDash1.red, &s.lineDash1.green, &s.lineDash1.blue});
  v.Numbers("LineDash2", "0 0 0", {&s.lineDash2.red, &s.lineDash2.green, &s.lineDash2.blue});
  v.Numbers("LineHandle", "255 255 255", {&s.lineHandle.red, &s.lineHandle.green, &s.lineHandle.blue});
  v.Numbers("PrevDash1", "255 255 255", {&s.prevDash1.red, &s.prevDash1.green, &s.prevDash1.blue});
  v.Numbers("PrevDash2", "0 0 0", {&s.prevDash2.red, &s.prevDash2.green, &s.prevDash2.blue});
  if (V::kReading) {
    for (Rgb* c : {&s.lineDash1, &s.lineDash2, &s.lineHandle, &s.prevDash1, &s.prevDash2})
      ClampRgb(*c);
  }
  v.Numbers("CellSize", "36 32", {&timeLine.cellWidth, &timeLine.cellHeight});
  SplatterSettings& sp = area.splat;
  v.Numbers("Splatter", "20 9 0 100 1 0",
            {&sp.number, &sp.seed, &sp.shape, &sp.sizing, &sp.holdSquare, &sp.inFromEdge});
  // Threads for row work: 0 every core, 1 the user-interface thread alone.
  v.Numbers("Threads", "0", {&s.threads});
  if (V::kReading) s.threads = std::clamp(s.threads, 0, 64);

  KeyColour key = GetKeyColour();
  KeyColourExtra& e = key.extra;
  v.Optional("KeyColor", {&key.red, &key.green, &key.blue, &e.useHsl, &key.redRange, &key.greenRange, &key.blueRange,
                          &e.hueRange, &e.saturationRange, &e.lightnessRange});
  if (V::kReading) SetKeyColour(key);

  ColourRanges& w = area.selection.wandRanges;
  int wandHsl = w.useHsl ? 1 : 0;
  v.Optional("WandRange", {&wandHsl, &w.rgb[0], &w.rgb[1], &w.rgb[2], &w.hsl[0], &w.hsl[1], &w.hsl[2]});
  if (V::kReading) w.useHsl = wandHsl != 0;

  v.Section(kIShapeSection);
  v.Text("IShapePath", "", s.iShapePath, 4095);
  v.Text("IShapeName", "", s.iShapeName, 4095);
  v.Text("IShapeExtn", "", s.iShapeExtn, 4095);
}

}  // namespace

std::filesystem::path SettingsFilePath() {
  if (const char* env = std::getenv("PIXQV_INI"); env && *env) return env;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    base = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    base = std::filesystem::path(home) / ".config";
  else
    base = ".";
  return base / "pixqv" / kSettingsFileName;
}

void LoadSettings() {
  Program& p = TheProgram();
  IniFile ini = ReadIniFile(SettingsFilePath());
  Reader reader(ini);
  Visit(reader, p);
}

int SaveSettings() {
  Program& p = TheProgram();
  std::filesystem::path path = SettingsFilePath();
  IniFile old = ReadIniFile(path);
  Writer writer(old);
  Visit(writer, p);
  std::string text = writer.Finish();

  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  AtomicFile file;
  if (!file.Open(path, "wb")) return 1;
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) return 1;
  return file.Commit() ? 0 : 1;
}

}  // namespace qv
