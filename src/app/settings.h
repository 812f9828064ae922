// The settings file PIXQV.ini: every preference and window place, read once
// at start-up and written once at exit.
//
// Keys whose value belongs to a subsystem are read into and written from that
// subsystem's state; only the frame's own preferences and window places live
// in Settings.
#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace qv {

inline constexpr const char* kSettingsFileName = "PIXQV.ini";
inline constexpr const char* kSettingsSection = "PixQv";
inline constexpr const char* kIShapeSection = "IShapes";

struct WindowPlace {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
};

// The numbered choices of a file that the system writes (type, depth,
// compression, JPEG quality).
struct OutputChoices {
  int type = 9;
  int depth = 24;
  int compress = 1;
  int quality = 75;
};

struct Settings {
  WindowPlace main{0, 0, 1024, 768};
  WindowPlace view{136, 69, 278, 184};
  WindowPlace tool{3, 69};
  WindowPlace chron{40, 40};
  int showChron = 0;
  int openSplash = 1;
  WindowPlace op{150, 125};
  WindowPlace film{137, 256, 394, 98};
  WindowPlace profile{10, 10, 200, 100};
  WindowPlace trend{100, 100, 520, 120};
  WindowPlace prog{60, 60, 300, 120};
  WindowPlace time{40, 40, 400, 200};
  WindowPlace exp{20, 20, 300, 300};
  bool expOpened = false;  // PosExp is written only when the sheet was opened

  std::string filmPath;
  std::string outPath, outName, outExtn;
  std::string savePath, saveName, saveExtn;
  std::string seqImagesPath, areaPath, projectPath, settingsPath, seqListPath, palUsePath;

  OutputChoices seq;
  std::string capFile;
  int capCounter = 1;
  OutputChoices cap;
  int capDelay = 2;
  int capMem = 1;
  int saveResult = 0;
  int showFilm = 1;
  int darkBack = 1;
  int toolText = 1;
  int progressLight = 0;
  int filmSpeed = 70;
  int filmPong = 1;
  int filmReverse = 0;
  int filmWidth = 96;
  int filmHeight = 72;
  int viewAdjust = 0;
  int keepLog = 0;
  int threads = 0;  // for row work; 0 every core
  int modAlpha = 2;  // 0 RGB only, 1 alpha only, 2 alpha in view
  int keepAspect = 1;
  int paletteBeep = 0;
  int animMillis = 70;
  int cornerShape = 0;
  int cornerRect = 0;
  int cornerRound = 0;
  int cornerOval = 0;
  int filmScrolling = 0;  // 0 scroll, 1 current frame, 2 not at all
  std::array<std::string, 6> lastFiles;
  int hideOp = 1;
  Rgb lineDash1{255, 255, 255};
  Rgb lineDash2{0, 0, 0};
  Rgb lineHandle{255, 255, 255};
  Rgb prevDash1{255, 255, 255};
  Rgb prevDash2{0, 0, 0};

  std::string iShapePath, iShapeName, iShapeExtn;

  // Not stored: toggles of the TimeLine menu that last for one run.
  int accumulate = 0;
  int inhibitDisplay = 0;
};

// The longest texts the file keeps for these keys.
inline constexpr std::size_t kFontNameMax = 31;
inline constexpr std::size_t kLastFileMax = 299;

// $PIXQV_INI, else $XDG_CONFIG_HOME/pixqv/PIXQV.ini, else
// ~/.config/pixqv/PIXQV.ini.
std::filesystem::path SettingsFilePath();

// Reads every key (defaults for what is missing). Needs the screen size and
// depth in the frame state. Always succeeds.
void LoadSettings();
// Writes every key; 0 written, 1 failed (callers ignore failures, tests not).
int SaveSettings();

// Enters a file at the top of the recently used list (no duplicates).
void RememberRecentFile(const std::string& path);

}  // namespace qv
