// The settings file PIXQV.ini: every preference and window place, read once
// at start-up and written once at exit.
//
// Keys whose value belongs to a subsystem are read into and written from that
// subsystem's state; the preferences every layer reads (Settings and the save
// choices) are in base/preferences.h.
#pragma once

#include <cstddef>
#include <filesystem>

#include "base/preferences.h"

namespace qv {

inline constexpr const char* kSettingsFileName = "PIXQV.ini";
inline constexpr const char* kSettingsSection = "PixQv";
inline constexpr const char* kIShapeSection = "IShapes";

// The longest texts the file keeps for these keys.
inline constexpr std::size_t kFontNameMax = 31;

// $PIXQV_INI, else $XDG_CONFIG_HOME/pixqv/PIXQV.ini, else
// ~/.config/pixqv/PIXQV.ini.
std::filesystem::path SettingsFilePath();

// Reads every key (defaults for what is missing). Needs the screen size and
// depth in the frame state. Always succeeds.
void LoadSettings();
// Writes every key; 0 written, 1 failed (callers ignore failures, tests not).
int SaveSettings();

}  // namespace qv
