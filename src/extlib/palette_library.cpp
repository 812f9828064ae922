#include "extlib/palette_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

#include "base/messages.h"
#include "store/display_palettes.h"
#include "store/memory_places.h"

namespace qv {
namespace {


void SetName(PaletteRecord& p, const char* name) {
  std::memset(p.name, 0, sizeof p.name);
  std::strncpy(p.name, name, sizeof p.name - 1);
}

void* LendMemory(int64_t size, const char* tag) { return AllocReal(size, tag); }
void TakeMemoryBack(void* place) { FreeReal(place, "qvpal"); }

void ShowLibraryMessage(int number, int kind, const char* detail) {
  if (kind == 1 && detail)
    ShowMessageWith(number, detail);
  else
    ShowMessage(number);
}

void PaletteWindowClosed() {
  PaletteLibraryState& s = PaletteLibrary();
  s.paletteWindow = nullptr;
  if (s.remapClosed) s.remapClosed();
}

// Loaded libraries stay mapped (RTLD_NODELETE): windows and toolkit state
// they created may outlive the call that closed them, and unmapping code
// that is still referenced would crash later rather than now.
LibraryHandle LoadLibrary() {
  std::filesystem::path file = FindPluginFile(kPaletteLibraryName);
  void* handle = file.empty() ? nullptr : ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle) {
    if (!file.empty()) LogLine("dlopen failed: %s\n", ::dlerror());
    ShowMessageWith(75, kPaletteLibraryName);
  }
  return LibraryHandle(handle);
}

template <class Fn>
Fn Entry(const char* name) {
  void* symbol = ::dlsym(PaletteLibrary().library.get(), name);
  if (!symbol) {
    std::string detail = std::string(kPaletteLibraryName) + " \"" + name + "\"";
    ShowMessageWith(90, detail);
  }
  return reinterpret_cast<Fn>(symbol);
}

// Runs one call with the library loaded, unloading it afterwards when it
// was loaded only for this call (the palette window keeps it otherwise).
template <class Fn, class Call>
int WithEntry(const char* name, Call call) {
  PaletteLibraryState& s = PaletteLibrary();
  bool loadedHere = !s.library;
  if (loadedHere) {
    s.library = LoadLibrary();
    if (!s.library) return 1;
  }
  Fn fn = Entry<Fn>(name);
  int result = fn ? call(fn) : 1;
  if (loadedHere) s.library.reset();
  return result;
}

}  // namespace

void LibraryCloser::operator()(void* handle) const {
  if (handle) ::dlclose(handle);
}

void FillStandardPalettes(PaletteRecord& mapping, PaletteRecord& render) {
  mapping = PaletteRecord{};
  FillGrayRamp(mapping.red, mapping.green, mapping.blue);
  mapping.count = 256;
  SetName(mapping, "GRAY256.pal");

  render = PaletteRecord{};
  FillRenderPalette(render.red, render.green, render.blue);
  render.count = 256;
  SetName(render, "RENDER.pal");
}

PaletteLibraryState::PaletteLibraryState() { FillStandardPalettes(mapping, render); }

void InitStandardPalettes() {
  PaletteLibraryState& s = PaletteLibrary();
  FillStandardPalettes(s.mapping, s.render);
}

std::uint32_t PackColour(const Rgb& c) {
  auto ch = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
  return ch(c.red) + ch(c.green) * 256u + ch(c.blue) * 65536u;
}

Rgb UnpackColour(std::uint32_t packed) {
  return {static_cast<int>(packed & 0xFF), static_cast<int>((packed >> 8) & 0xFF), static_cast<int>((packed >> 16) & 0xFF)};
}

void SetCustomColour(int slot, const Rgb& c) {
  if (slot < 0 || slot >= 16) return;
  PaletteLibraryState& s = PaletteLibrary();
  s.customColours[slot] = PackColour(c);
  if (slot == 15) s.currentColour = s.customColours[slot];
}

std::filesystem::path FindPluginFile(const std::string& name) {
  std::error_code ec;
  std::vector<std::filesystem::path> folders;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!PaletteLibrary().searchOnly.empty()) {
    folders.push_back(PaletteLibrary().searchOnly);
  } else if (!ec) {
    std::filesystem::path dir = exe.parent_path();
    folders.push_back(dir);
    folders.push_back(dir / "plugins");
    folders.push_back(dir.parent_path() / "plugins");
    folders.push_back(dir.parent_path() / "lib" / "pixqv");
  }
  for (const auto& folder : folders) {
    std::filesystem::path candidate = folder / name;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

int OpenPal(PaletteRecord* palette) {
  PaletteLibraryState& s = PaletteLibrary();
  if (!s.library) {
    s.library = LoadLibrary();
    if (!s.library) return 1;
  }
  auto fn = Entry<QvOpenPal>("OpenPal");
  if (!fn) {
    if (!s.paletteWindow) s.library.reset();
    return 1;
  }
  return fn(s.instance, s.mainWindow, palette, s.library.get(), PaletteWindowClosed, LendMemory, TakeMemoryBack,
            ShowLibraryMessage, &s.paletteWindow);
}

int ClosePal() {
  PaletteLibraryState& s = PaletteLibrary();
  if (!s.library) return 0;  // nothing open
  auto fn = Entry<QvClosePal>("ClosePal");
  int result = fn ? fn() : 1;
  s.paletteWindow = nullptr;
  s.library.reset();
  return result;
}

int LoadPal(PaletteRecord* palette) {
  return WithEntry<QvLoadPal>("LoadPal", [&](QvLoadPal fn) { return fn(palette); });
}

int SavePal(PaletteRecord* palette) {
  return WithEntry<QvSavePal>("SavePal", [&](QvSavePal fn) { return fn(palette); });
}

int AskCol(int* red, int* green, int* blue, const std::string& title) {
  PaletteLibraryState& s = PaletteLibrary();
  return WithEntry<QvAskCol>("AskCol", [&](QvAskCol fn) {
    return fn(s.instance, s.mainWindow, red, green, blue, s.library.get(), LendMemory, TakeMemoryBack,
              ShowLibraryMessage, s.customColours.data(), title.c_str());
  });
}

}  // namespace qv
