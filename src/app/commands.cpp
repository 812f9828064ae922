#include "app/commands.h"

#include <algorithm>
#include <filesystem>

#include "anim/project.h"
#include "anim/sequence.h"
#include "app/frame.h"
#include "app/program.h"
#include "app/settings.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "display/views.h"
#include "extlib/palette_library.h"
#include "formats/image_files.h"
#include "formats/save_image.h"
#include "ops/op_menu.h"
#include "ops/qvs_file.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr int kMenuTitleBase = 1200;
constexpr int kStopKeyCommand = 9727;

Settings& S() { return TheProgram().settings; }

// ---- handlers -------------------------------------------------------------

int DoNewImage(int) { return NewImage(); }

int DoLoadImage(int) {
  std::vector<std::string> files =
      TheHost().ChooseFiles({"Load Image", "All Images (*.*)", TheProgram().files.imagePath, true});
  if (files.empty()) return 2;
  return LoadImages(files) == static_cast<int>(files.size()) ? 0 : 1;
}

int DoCloneImage(int) {
  if (ImageCount() == 0) {
    ShowMessage(11);
    return 1;
  }
  int index = ImageCount() == 1 ? 0 : TheHost().ChooseImage("Select Image to Clone");
  ImageRecord* source = ImageAt(index);
  if (!source) return 2;
  return CloneImage(source, true) ? 0 : 1;
}

int DoExit(int) { return ShutDown(); }

int DoOpenProject(int) { return OpenProjectCommand(); }
int DoSaveProjectAs(int) { return SaveProjectAsCommand(); }
int DoCloseProject(int) { return CloseProjectCommand(); }

int DoSaveImage(int id) { return SaveImageCommand(id); }
bool ImagesLoaded() { return ImageCount() > 0; }

int DoOperationControls(int) {
  ToggleOperationControls();
  return 0;
}

int DoLoadOpSettings(int) {
  Settings& s = S();
  std::vector<std::string> files = TheHost().ChooseFiles({"Load Op. Settings", "Op. Settings (*.QVS)", s.settingsPath, false});
  if (files.empty()) return 2;
  s.settingsPath = std::filesystem::path(files.front()).parent_path().string();
  int result = LoadOpSettingsFile(files.front());
  RefreshSettingsDialog();
  return result;
}

int DoSaveOpSettings(int) {
  Settings& s = S();
  std::string file = TheHost().ChooseSaveFile({"Save Op. Settings", "Settings Files (*.QVS)", s.settingsPath, false});
  if (file.empty()) return 2;
  s.settingsPath = std::filesystem::path(file).parent_path().string();
  return SaveOpSettingsFile(file);
}

int DoOpenToolWindow(int id) {
  if (id == 6700) TheProgram().reduce.windowOpen = true;
  TheHost().OpenToolWindow(id);
  return 0;
}

int DoDisplayMode(int id) {
  TheProgram().display.mode = id - kDisplayModeMenuBase;
  // Every view and the film strip follow the new mode as they are redrawn.
  TheHost().RedrawViews();
  return 0;
}
bool DisplayModeChecked(int id) { return TheProgram().display.mode == id - kDisplayModeMenuBase; }

// A toggle's value where its owner keeps it: an int switch or a bool.
struct ToggleValue {
  int* number = nullptr;
  bool* flag = nullptr;
  explicit operator bool() const { return number || flag; }
  bool On() const { return number ? *number != 0 : flag && *flag; }
  void Set(bool on) {
    if (number) *number = on ? 1 : 0;
    if (flag) *flag = on;
  }
};

ToggleValue ToggleOf(int id) {
  if (id == 363) return {&TheProgram().display.alphaBack, nullptr};
  if (id == 393) return {nullptr, &TheProgram().area.maskWithAlpha};
  Settings& s = S();
  auto number = [](int& value) { return ToggleValue{&value, nullptr}; };
  switch (id) {
    case 202: return number(s.accumulate);
    case 203: return number(s.inhibitDisplay);
    case 204: return number(s.hideOp);
    case 612: return number(s.toolText);
    case 611: return number(s.progressLight);
    case 362: return number(s.keepAspect);
    case 119: return number(s.showChron);
    case 387: return number(s.paletteBeep);
    case 114: return number(s.keepLog);
    case 622: return number(s.cornerShape);
    case 623: return number(s.cornerRect);
    case 624: return number(s.cornerRound);
    case 625: return number(s.cornerOval);
    case 904: return number(s.filmPong);
    case 905: return number(s.filmReverse);
    default: return {};
  }
}

int DoToggle(int id) {
  ToggleValue value = ToggleOf(id);
  if (!value) return 1;
  value.Set(!value.On());
  // Views blend against the alpha colour as they are rendered.
  if (id == 363) TheHost().RedrawViews();
  if (id == 114) {
    // The check mark follows the choice even when the file cannot be opened.
    if (value.On())
      OpenLog(true);
    else
      CloseLog();
  }
  return 0;
}

// Radio items: the value each one stands for.
int AffectModeOf(int id) { return id == 115 ? 0 : id == 116 ? 1 : 2; }
int FilmUpdateOf(int id) { return id == 3027 ? 0 : id == 3025 ? 1 : 2; }

int DoAffectMode(int id) {
  S().modAlpha = AffectModeOf(id);
  return 0;
}
int DoFilmUpdate(int id) {
  S().filmScrolling = FilmUpdateOf(id);
  return 0;
}

Rgb* OutlineColourOf(int id) {
  Settings& s = S();
  switch (id) {
    case 366: return &s.lineDash1;
    case 367: return &s.lineDash2;
    case 368: return &s.lineHandle;
    case 369: return &s.prevDash1;
    case 370: return &s.prevDash2;
    default: return nullptr;
  }
}

int DoOutlineColour(int id) {
  Rgb* colour = OutlineColourOf(id);
  if (!colour) return 1;
  Rgb picked = *colour;
  if (AskCol(&picked.red, &picked.green, &picked.blue, std::string(LoadString(id))) != 0) return 1;
  *colour = picked;
  TheHost().RedrawViews();
  return 0;
}

const char* HelpKeywordOf(int id) {
  switch (id) {
    case 701: return "About";
    case 711: return "Quick Reference";
    case 702: return "Getting Started";
    case 703: return "Display Quality";
    case 797: return "Keystrokes";
    case 704: return "Contents";
    case 798: return "Search";
    default: return "Contents";
  }
}

int DoHelp(int id) {
  HelpOn(HelpKeywordOf(id));
  return 0;
}

int DoView(int id) { return ViewCommand(id); }
int DoWindow(int id) { return TheHost().RunWindowCommand(id); }
bool HostHasWindows() { return TheHost().HasWindows(); }
int DoUndo(int) { return Undo(); }
int DoDeUndo(int) { return DeUndo(); }
int DoUndoOrDeUndo(int) { return UndoOrDeUndo(); }

// The outline each view draws follows the selection at its next paint.
void RepaintSelectionViews() {
  for (ViewRecord* v : AllViews()) TheHost().InvalidateView(v);
}

int DoUndoLastSelection(int) {
  int result = UndoLastSelection();
  if (result == 0) RepaintSelectionViews();
  return result;
}

int DoClearSelection(int) {
  ClearAreaSelection();
  RepaintSelectionViews();
  return 0;
}

// The area selection and I-shape files, and the TimeLine window.
int DoLoadAreaFile(int) {
  const int result = LoadAreaFileCommand(S().areaPath);
  if (result == 0) RepaintSelectionViews();
  return result;
}
int DoSaveAreaFile(int) { return SaveAreaFileCommand(S().areaPath); }
int DoLoadIShape(int) { return LoadIShapeCommand(S().iShapePath, S().iShapeName, S().iShapeExtn); }
int DoSaveIShape(int) { return SaveIShapeCommand(S().iShapePath, S().iShapeName, S().iShapeExtn); }
int DoShowTimeLine(int id) {
  TheHost().OpenToolWindow(id);
  return 0;
}

int DoGenerate(int) { return GenerateCommand(); }

// The film strip: its window, its files and its playback.
int DoShowFilm(int id) {
  TheHost().OpenToolWindow(id);
  return 0;
}
int DoLoadFilm(int) { return LoadFilmCommand(); }
int DoSaveFilm(int) { return SaveFilmCommand(); }
int DoSaveFilmFlic(int) { return SaveFilmAsFlicCommand(); }
int DoSaveFilmAvi(int id) { return SaveFilmAsAviCommand(id == 3024 ? 8 : 24); }
int DoAnimateFilm(int) { return FilmWindowCommand(9701); }

int DoStop(int) {
  RequestStop();
  return 0;
}
int DoPause(int) {
  TogglePause();
  return 0;
}

bool Toggled(int id) { return ToggleOf(id).On(); }

// A command is built once its subsystem gave it a handler. Settings that only
// a part not built yet reads are offered with that part's command.
bool Built(int id) {
  const CommandEntry* e = FindCommand(id);
  return e && e->handler;
}

// ---- the table ------------------------------------------------------------

constexpr unsigned kR = kRefusedWhileRunning | kRefusedWhileBusy;
constexpr unsigned kB = kRefusedWhileBusy;
constexpr unsigned kT = kToggle;
constexpr unsigned kS = kSeparatorBefore;
constexpr unsigned kTB = kToolBar;

#define CHECK(expr) [] { return (expr); }
#define TOGGLE(id) [] { return Toggled(id); }
#define MODE(id) [] { return DisplayModeChecked(id); }
#define WITH(owner) [] { return Built(owner); }

const CommandEntry kCommands[] = {
    // File
    {3030, Menu::File, kR, 0, DoOpenProject, nullptr, nullptr},
    {3040, Menu::File, kR, 0, DoSaveProjectAs, nullptr, nullptr},
    {3050, Menu::File, kR, 0, DoCloseProject, nullptr, nullptr},
    {106, Menu::File, kR | kS | kTB, 0, DoNewImage, nullptr, nullptr},
    {103, Menu::File, kR | kTB, 0, DoLoadImage, nullptr, nullptr},
    {118, Menu::File, kB | kTB, 0, DoSaveImage, nullptr, ImagesLoaded},
    {111, Menu::File, kB, 0, DoSaveImage, nullptr, ImagesLoaded},
    {107, Menu::File, kR, 0, DoCloneImage, nullptr, nullptr},
    {108, Menu::File, kB | kS, 0, DoWindow, nullptr, HostHasWindows},
    {6700, Menu::File, kB, 0, DoOpenToolWindow, nullptr, nullptr},
    {9898, Menu::File, kB | kS, 0, DoExit, nullptr, nullptr},
    // TimeLine
    {209, Menu::TimeLine, kT | kTB, 0, DoShowTimeLine, CHECK(TheProgram().anim.timeline.windowOpen), HostHasWindows},
    {613, Menu::TimeLine, 0, 0, DoWindow, nullptr, HostHasWindows},
    {6420, Menu::TimeLine, kT, 0, DoShowTimeLine, CHECK(TheProgram().anim.sheet.windowOpen), HostHasWindows},
    {202, Menu::TimeLine, kT | kS, 0, DoToggle, TOGGLE(202), WITH(201)},
    {203, Menu::TimeLine, kT, 0, DoToggle, TOGGLE(203), WITH(201)},
    {204, Menu::TimeLine, kT, 0, DoToggle, TOGGLE(204), WITH(201)},
    {9493, Menu::TimeLine, kS, 0, DoWindow, nullptr, HostHasWindows},
    {201, Menu::TimeLine, kR | kS | kTB, 0, DoGenerate, nullptr, nullptr},
    // Display
    {310, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(310), nullptr},
    {302, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(302), nullptr},
    {308, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(308), nullptr},
    {303, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(303), nullptr},
    {304, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(304), nullptr},
    {309, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(309), nullptr},
    {305, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(305), nullptr},
    {306, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(306), nullptr},
    {307, Menu::Display, kR | kRadio, 1, DoDisplayMode, MODE(307), nullptr},
    {632, Menu::Display, kS, 0, DoWindow, nullptr, HostHasWindows},
    {361, Menu::Display, kR | kS, 0, DoWindow, nullptr, HostHasWindows},
    {362, Menu::Display, kT, 0, DoToggle, TOGGLE(362), nullptr},
    {363, Menu::Display, kT, 0, DoToggle, TOGGLE(363), nullptr},
    {364, Menu::Display, 0, 0, DoWindow, nullptr, HostHasWindows},
    // Nothing beeps yet: the palette modes change no system palette.
    {387, Menu::Display, kT, 0, nullptr, TOGGLE(387), nullptr},
    // Options
    {612, Menu::Options, kT, 0, DoToggle, TOGGLE(612), nullptr},
    {611, Menu::Options, kT, 0, DoToggle, TOGGLE(611), nullptr},
    {123, Menu::Options, kS, 0, DoWindow, nullptr, HostHasWindows},
    {117, Menu::Options, kRadio | kS, 2, DoAffectMode, CHECK(S().modAlpha == 2), nullptr},
    {115, Menu::Options, kRadio, 2, DoAffectMode, CHECK(S().modAlpha == 0), nullptr},
    {116, Menu::Options, kRadio, 2, DoAffectMode, CHECK(S().modAlpha == 1), nullptr},
    {205, Menu::Options, kB | kS, 0, DoWindow, nullptr, HostHasWindows},
    {114, Menu::Options, kT, 0, DoToggle, TOGGLE(114), nullptr},
    {119, Menu::Options, kT, 0, DoToggle, TOGGLE(119), nullptr},
    // Area
    {608, Menu::Area, kB, 0, DoUndoLastSelection, nullptr, nullptr},
    {609, Menu::Area, kB, 0, DoClearSelection, nullptr, nullptr},
    {616, Menu::Area, kT | kS, 0, DoWindow, CHECK(TheHost().ToolWindowShown(616)), HostHasWindows},
    {626, Menu::Area, kR | kS, 0, DoLoadAreaFile, nullptr, nullptr},
    {627, Menu::Area, 0, 0, DoSaveAreaFile, nullptr, nullptr},
    {9771, Menu::Area, kB, 0, DoLoadIShape, nullptr, nullptr},
    {9772, Menu::Area, 0, 0, DoSaveIShape, nullptr, nullptr},
    {619, Menu::Area, kS, 0, DoWindow, nullptr, HostHasWindows},
    {622, Menu::Area, kT | kS, 0, DoToggle, TOGGLE(622), nullptr},
    {623, Menu::Area, kT, 0, DoToggle, TOGGLE(623), nullptr},
    {624, Menu::Area, kT, 0, DoToggle, TOGGLE(624), nullptr},
    {625, Menu::Area, kT, 0, DoToggle, TOGGLE(625), nullptr},
    {618, Menu::Area, kS, 0, DoWindow, nullptr, HostHasWindows},
    {621, Menu::Area, 0, 0, DoWindow, nullptr, HostHasWindows},
    {620, Menu::Area, 0, 0, DoWindow, nullptr, HostHasWindows},
    {911, Menu::Area, kS, 0, DoWindow, nullptr, HostHasWindows},
    {912, Menu::Area, 0, 0, DoWindow, nullptr, HostHasWindows},
    {393, Menu::Area, kT, 0, DoToggle, TOGGLE(393), nullptr},
    // Filmstrip
    {901, Menu::Filmstrip, kT | kTB, 0, DoShowFilm, CHECK(Film().windowOpen), HostHasWindows},
    {3010, Menu::Filmstrip, kR | kS, 0, DoLoadFilm, nullptr, nullptr},
    {3020, Menu::Filmstrip, kB, 0, DoSaveFilm, nullptr, FilmHasSlots},
    {3022, Menu::Filmstrip, 0, 0, DoSaveFilmFlic, nullptr, FilmHasSlots},
    {3024, Menu::Filmstrip, 0, 0, DoSaveFilmAvi, nullptr, FilmHasSlots},
    {3026, Menu::Filmstrip, 0, 0, DoSaveFilmAvi, nullptr, FilmHasSlots},
    {908, Menu::Filmstrip, kS, 0, DoWindow, nullptr, HostHasWindows},
    {902, Menu::Filmstrip, kT | kS, 0, DoAnimateFilm, CHECK(Film().playing), nullptr},
    {904, Menu::Filmstrip, kT, 0, DoToggle, TOGGLE(904), WITH(902)},
    {905, Menu::Filmstrip, kT, 0, DoToggle, TOGGLE(905), WITH(902)},
    {3027, Menu::Filmstrip, kRadio | kS, 3, DoFilmUpdate, CHECK(S().filmScrolling == 0), HostHasWindows},
    {3025, Menu::Filmstrip, kRadio, 3, DoFilmUpdate, CHECK(S().filmScrolling == 1), HostHasWindows},
    {3029, Menu::Filmstrip, kRadio, 3, DoFilmUpdate, CHECK(S().filmScrolling == 2), HostHasWindows},
    // Operations (the catalogue's groups join this menu)
    {3997, Menu::Operations, kT | kTB, 0, DoOperationControls, CHECK(TheProgram().ops.showControls), nullptr},
    {628, Menu::Operations, kB | kS, 0, DoLoadOpSettings, nullptr, nullptr},
    {629, Menu::Operations, 0, 0, DoSaveOpSettings, nullptr, nullptr},
    // View (the open windows follow)
    {706, Menu::View, 0, 0, DoView, nullptr, nullptr},
    {709, Menu::View, 0, 0, DoWindow, nullptr, HostHasWindows},
    {9410, Menu::View, kS, 0, DoView, nullptr, nullptr},
    {9420, Menu::View, 0, 0, DoView, nullptr, nullptr},
    {710, Menu::View, 0, 0, nullptr, nullptr, nullptr},
    {705, Menu::View, kS, 0, DoWindow, nullptr, HostHasWindows},
    {708, Menu::View, kB, 0, DoWindow, nullptr, HostHasWindows},
    // Help
    {701, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {711, Menu::Help, kS, 0, DoHelp, nullptr, nullptr},
    {702, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {703, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {797, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {704, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {798, Menu::Help, 0, 0, DoHelp, nullptr, nullptr},
    {707, Menu::Help, kS, 0, DoWindow, nullptr, HostHasWindows},
    // Dialog buttons of the view colours
    {366, Menu::None, 0, 0, DoOutlineColour, nullptr, nullptr},
    {367, Menu::None, 0, 0, DoOutlineColour, nullptr, nullptr},
    {368, Menu::None, 0, 0, DoOutlineColour, nullptr, nullptr},
    {369, Menu::None, 0, 0, DoOutlineColour, nullptr, nullptr},
    {370, Menu::None, 0, 0, DoOutlineColour, nullptr, nullptr},
    // Tool-bar buttons
    {9714, Menu::None, kR | kTB, 0, DoUndo, nullptr, nullptr},
    {9716, Menu::None, kR | kTB, 0, DoDeUndo, nullptr, nullptr},
    {9721, Menu::None, kR | kB | kTB, 0, DoUndoOrDeUndo, nullptr, nullptr},
    {9718, Menu::None, 0, 0, DoView, nullptr, nullptr},
    {9720, Menu::None, 0, 0, DoView, nullptr, nullptr},
    {9727, Menu::None, kTB, 0, DoStop, nullptr, IsBusy},
    {9728, Menu::None, kTB, 0, DoPause, CHECK(TheProgram().progress.paused), IsBusy},
};

#undef CHECK
#undef TOGGLE
#undef MODE
#undef WITH

constexpr int kToolBarOrder[] = {106, 103, 118, 9714, 9716, 9721, 209, 901, 3997, 201, 9727, 9728};

}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

const CommandEntry* FindCommand(int id) {
  auto it = std::find_if(std::begin(kCommands), std::end(kCommands), [id](const CommandEntry& e) { return e.id == id; });
  return it == std::end(kCommands) ? nullptr : &*it;
}

std::string_view CommandText(int id) { return LoadString(id); }

std::string_view MenuTitle(Menu menu) {
  return menu == Menu::None ? std::string_view{} : LoadString(kMenuTitleBase + static_cast<int>(menu));
}

bool CommandAvailable(int id) {
  if (IsOperationCommand(id)) return OperationAvailable(static_cast<OpId>(id));
  const CommandEntry* e = FindCommand(id);
  if (!e || !e->handler) return false;
  return !e->available || e->available();
}

bool CommandChecked(int id) {
  const CommandEntry* e = FindCommand(id);
  return e && e->checked && e->checked();
}

bool IsRunning() { return IsSequenceRunning(); }

void RefuseWhileRunning() { ShowMessage(78); }

int RouteCommand(int id) {
  // The catalogue's operations are chosen by their own ids, once built.
  if (IsOperationCommand(id)) return CheckOperationAvailable(static_cast<OpId>(id)) == 0 ? SelectOperation(id) : 1;
  const CommandEntry* e = FindCommand(id);
  if (!e) return -1;
  if ((e->flags & kRefusedWhileRunning) && IsRunning()) {
    RefuseWhileRunning();
    return 1;
  }
  // Work running inside a progress pump still uses the images and tables
  // these commands would change or free.
  if ((e->flags & kRefusedWhileBusy) && IsBusy()) {
    ShowMessage(86);
    return 1;
  }
  if (!CommandAvailable(id)) return 1;
  return e->handler(id);
}

int OpenFileCommand(const std::string& path) {
  if (IsRunning()) {
    RefuseWhileRunning();
    return 1;
  }
  if (IsBusy()) {
    ShowMessage(86);
    return 1;
  }
  return OpenFile(path);
}

int CommandOfKey(Key key) {
  switch (key) {
    case Key::F2: return 707;
    case Key::F3: return 911;
    case Key::F4: return 708;
    case Key::F5: return 6700;
    case Key::F9: return 108;
    case Key::Escape: return kStopKeyCommand;
  }
  return 0;
}

std::span<const int> ToolBarCommands() { return kToolBarOrder; }

}  // namespace qv
