// The palette library: palette editing, palette files and the colour
// chooser live in a shared library loaded by name at run time. The program
// keeps the palette records and the custom colours.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/preferences.h"
#include "extlib/qvpal_abi.h"

namespace qv {

// The platform form of the library's name.
inline constexpr const char* kPaletteLibraryName = "QVpal.so";
inline constexpr int kRemapOpId = 3189;

struct LibraryCloser {
  void operator()(void* handle) const;
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

struct PaletteLibraryState {
  PaletteLibraryState();     // with the two standard palettes
  PaletteRecord mapping{};   // "GRAY256.pal": the colour table of gradient and map colouring
  PaletteRecord render{};    // "RENDER.pal": the fixed palette of 256-colour rendering
  std::array<std::uint32_t, 16> customColours{};
  std::uint32_t currentColour = 0;
  LibraryHandle library;     // kept while the palette window is open
  void* paletteWindow = nullptr;
  void* instance = nullptr;  // what the host lends the library to parent its windows
  void* mainWindow = nullptr;
  // When set, the only folder searched for libraries (tests).
  std::filesystem::path searchOnly;
  // Runs when the palette window closes (the Remap settings refresh their
  // colours when Remap is current).
  void (*remapClosed)() = nullptr;
};

// The program's one PaletteLibraryState (owned by the Program).
PaletteLibraryState& PaletteLibrary();

// Both standard palettes as every run starts with them.
void FillStandardPalettes(PaletteRecord& mapping, PaletteRecord& render);
void InitStandardPalettes();

std::uint32_t PackColour(const Rgb& c);
Rgb UnpackColour(std::uint32_t packed);
// Slot 0..15; the last slot also sets the current colour.
void SetCustomColour(int slot, const Rgb& c);

// Where a run-time library of this name is found: beside
// the program, its plugins folder, ../plugins. Empty when nowhere.
std::filesystem::path FindPluginFile(const std::string& name);

// The calls; 0 when the library ran, 1 when it or its entry is missing.
int OpenPal(PaletteRecord* palette);
int ClosePal();
int LoadPal(PaletteRecord* palette);
int SavePal(PaletteRecord* palette);
int AskCol(int* red, int* green, int* blue, const std::string& title);

}  // namespace qv
