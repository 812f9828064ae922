// Program-wide state of the image-file subsystem.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/raw.h"

namespace qv {

struct ImageRecord;

// The table palette-based readers fill: red, green, blue and a spare byte
// that an indexed pixel carries into its alpha position.
using FilePalette = std::array<std::array<std::uint8_t, 4>, 256>;

struct FileLoadState {
  bool loadRunning = false;  // one load at a time
  std::string imagePath;     // ImagePath: folder of the last image loaded
  std::string projPath;      // ProjPath: the project folder, searched first
  bool diagnostics = false;  // the diagnostics keystroke: palette-use counts
  FilePalette palette{};     // FilePalette
  RawChoices raw;            // what "RawDlg" starts with next time
  // Images a loader library made during its call, freed if it fails.
  std::vector<ImageRecord*> libraryImages;
  // The animation files' readers and one-frame writers, which live above
  // this layer (installed by the program).
  struct AnimationFiles {
    std::function<ImageRecord*(const std::string&)> readFlic, readAvi;
    std::function<int(ImageRecord*, const std::string&, int bits)> saveFlic, saveAvi;
  } animationFiles;
};

// The program's one FileLoadState (owned by the Program).
FileLoadState& FileLoads();

}  // namespace qv
