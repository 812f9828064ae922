// The operations' program-wide state: the live value of every parameter, the
// current operation, the profiles, the key colour's extra ranges, the Zelvane
// point files, and the hooks through which the window, the apply pipeline and
// Trends take part once they exist.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "area/key_colour.h"
#include "ops/op_catalogue.h"

namespace qv {

struct OpSettings;

// Profiles: 201 values along an arm, a ring or a colour curve.
enum class ProfileId : int { Arm, Shape, CcH, CcS, CcL, CpH, CpS, CpL, RcH, RcS, RcL, RpH, RpS, RpL };
inline constexpr int kProfileCount = 14;
inline constexpr int kProfileLength = 201;

struct ProfileInfo {
  std::string_view keyword;  // as in op-settings files
  OpId owner;
  std::int32_t maximum;      // values run 0..maximum
  const char* tag;           // memory place
};
const ProfileInfo& InfoOf(ProfileId id);

// Where the engine reaches parts built elsewhere. Each may be empty; the
// engine then does what it can without it.
struct OpsHooks {
  // The selection (area selection, apply pipeline).
  std::function<bool()> areaSelectionExists;
  std::function<int()> applyToCurrentView;     // the Apply entry, for Draw First
  // The settings window and the menu marks (GUI).
  std::function<void(OpId previous, OpId current)> openSettings;
  std::function<void()> closeSettings;
  std::function<void()> refreshSettings;
  std::function<void(OpId previous, OpId current)> markOperation;
  // Trends: attaching to a new op cell, writing and reading trend lines.
  std::function<void(OpSettings&)> attachTrends;
  // Appends the trend line (and curve) of a parameter that has one and
  // returns true; false has "NoTrend[key]" written.
  std::function<bool(std::string& out, std::string_view key, const ParamSlot&)> writeTrend;
  // A "Trend[" line for a slot; the reader passes the following lines on
  // request (nextLine returns false at the end of the file).
  std::function<void(const std::string& line, const ParamSlot&, const std::function<bool(std::string&)>& nextLine)>
      readTrend;
  std::function<void(const ParamSlot&)> removeTrend;
  // A SOURCE, TARGET or IMAGE line: find or load the named image.
  std::function<void(std::string_view keyword, std::string_view imageName)> imageLine;
};

// Working methods ("WorkMethod" in the settings file).
inline constexpr int kWorkImmediatePainting = 0;  // making a selection applies the operation
inline constexpr int kWorkDrawFirst = 1;          // the selection waits for an effect

struct OpsState {
  OpsState();

  std::vector<std::int32_t> values;  // indexed by binding - 1
  OpId current = 3111;
  bool showControls = false;          // "Show &Operation Controls"
  std::array<std::int16_t*, kProfileCount> profiles{};  // memory places, null until used
  KeyColourExtra keyExtra;
  int workMethod = kWorkImmediatePainting;
  // The R, G, B and H, S, L tolerances that operations with a colour range
  // start from ("RGBRange", "HSLRange"); the key colour keeps its own.
  std::array<std::int32_t, 3> rgbTolerance{20, 20, 20};
  std::array<std::int32_t, 3> hslTolerance{30, 20, 20};
  std::int32_t oldWidth = 0;          // Enlarge and Reduce: the size being changed
  std::int32_t oldHeight = 0;
  std::string transitionPointFile;    // Zelvane point files
  std::string distortionPointFile;
  OpsHooks hooks;
};

// The program's one OpsState (owned by the Program).
OpsState& Ops();

// The live value behind a binding; null for a binding that names none.
std::int32_t* BindingValue(ParamBinding binding);
// The live value of an operation's slot (0 for a slot without a parameter).
std::int32_t ParamValue(OpId id, int slot);
void SetParamValue(OpId id, int slot, std::int32_t value);
void ResetParamValues();

OpId CurrentOp();
// After the settings are read: an id not in the catalogue becomes the first,
// one not built yet the first that is.
void ValidateCurrentOp();

// The key colour as the Key In settings keep it (the area reaches it through
// GetKeyColour and SetKeyColour, wired to these by the program).
KeyColour KeyInColour();
void SetKeyInColour(const KeyColour& key);

// The profile, or null when it was never made.
std::int16_t* FindProfile(ProfileId id);
// The profile, made with the default curve when absent (Refract's with
// zeros); null when out of memory.
std::int16_t* EnsureProfile(ProfileId id);
// The default curve of Arm and Shape: a parabola rising from 0 at both ends
// to 255 in the middle.
std::array<std::int16_t, kProfileLength> DefaultProfile();
void FreeProfiles();

}  // namespace qv
