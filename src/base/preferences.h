// The preferences every part of the program reads: window places, paths,
// toggles and the save choices. The settings file binding (app/settings.h)
// reads them at start-up and writes them at exit.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace qv {

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

// The save choices the rest of the system reads (kept in the settings file).
struct SaveChoices {
  int type = 0;
  int depth = 24;
  int compress = 1;
  int jpegQuality = 75;
  int chopMem = 0;  // ChopMem: non-zero offers GIF and LZW-compressed TIFF
};

// The longest recently used file name the settings file keeps.
inline constexpr std::size_t kLastFileMax = 299;

Settings& Prefs();
SaveChoices& SavePrefs();

// Enters a file at the top of the recently used list (no duplicates).
void RememberRecentFile(const std::string& path);

}  // namespace qv
