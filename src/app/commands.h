// The menu commands: one table from command id to its menu place, its text,
// its rules and the subsystem that carries it out. The menu bar, the tool bar
// and RouteCommand are all driven from it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qv {

// The top-level menus, in menu-bar order. The View menu (index 7) also
// lists the open windows.
enum class Menu : int {
  File,
  TimeLine,
  Display,
  Options,
  Area,
  Filmstrip,
  Operations,
  View,
  Help,
  None,     // dialog buttons and tool-bar buttons only
};
inline constexpr int kMenuCount = 9;
inline constexpr int kViewMenuIndex = 7;
inline constexpr int kFirstWindowId = 3060;

enum CommandFlags : unsigned {
  kRefusedWhileRunning = 1u << 0,  // message 78 while a sequence runs or pauses
  kRefusedWhileBusy = 1u << 1,     // message 86 while an operation is in progress
  kToggle = 1u << 2,               // flips a setting; the menu shows its check mark
  kRadio = 1u << 3,                // one of a group; the menu checks the active one
  kSeparatorBefore = 1u << 4,
  kToolBar = 1u << 5,              // also a tool-bar button
};

struct CommandEntry {
  int id;
  Menu menu;
  unsigned flags;
  int group;                        // radio group, 0 for none
  int (*handler)(int id);           // null: its subsystem is not built yet
  bool (*checked)();                // toggles and radio items
  bool (*available)();              // null: available whenever it has a handler
};

std::span<const CommandEntry> CommandTable();
const CommandEntry* FindCommand(int id);
// The menu text of a command (string table id = command id); tool-bar-only
// commands have their button name.
std::string_view CommandText(int id);
std::string_view MenuTitle(Menu menu);

// Whether a command can be chosen now (greyed out otherwise) and whether its
// check mark is set. The catalogue's operations count too: available once
// their effect is built.
bool CommandAvailable(int id);
bool CommandChecked(int id);

// The main window's command handler. 0 done, 1 refused or failed, 2
// cancelled; -1 for an id it does not know.
int RouteCommand(int id);

// Opens a file named outside the menus (recent files, dropped files) with
// the rules of Load Image: refused while running or busy. 0 when opened.
int OpenFileCommand(const std::string& path);

// Message 78; does nothing else.
void RefuseWhileRunning();

// The running flag: a sequence is being generated or is paused.
bool IsRunning();

// Function keys and the stop keystroke.
enum class Key { F2, F3, F4, F5, F9, Escape };
int CommandOfKey(Key key);  // the command a key chooses, 0 for none

std::span<const int> ToolBarCommands();

}  // namespace qv
