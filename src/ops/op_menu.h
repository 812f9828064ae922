// The Operations menu as data, built from the catalogue, and what choosing
// an operation does on the engine side.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ops/op_catalogue.h"

namespace qv {

struct OpMenuItem {
  std::string text;  // with '&' before its mnemonic
  OpId command = 0;
};

struct OpMenuPopup {
  std::string title;  // the group's name, with its mnemonic
  std::uint32_t group = 0;
  std::vector<OpMenuItem> items;
};

// Marks the first letter or digit of text (compared without case) that is
// not in `used` as the mnemonic and adds it to `used`; with every candidate
// used the text gets none. A literal '&' is doubled.
std::string WithMnemonic(std::string_view text, std::string& used);

// One popup per run of a group in catalogue order. The titles' mnemonics
// avoid those already used in the top-level menu.
std::vector<OpMenuPopup> BuildOperationsMenu(std::string topLevelUsed = {});

inline constexpr int kFirstOpCommand = 3100;
inline constexpr int kLastOpCommand = 3900;
inline constexpr int kShowOpControlsCommand = 3997;

// A command in the operations' range that names a catalogued operation
// (3200, 3201 and 3203 are the Apply entry's, not operations).
bool IsOperationCommand(int command);

// Choosing an operation from the menu, the tool bar or the TimeLine: it
// becomes current, the controls are switched on and, by working method,
// the settings window opens or (Draw First with a selection) the operation
// is applied at once. 1 when the id is not an operation (nothing changes).
int SelectOperation(int command);
// The engine side of opening the settings window for `current`.
void OpenSettingsWindow(OpId previous, OpId current);
// Has the settings window re-read every live value of the current operation.
void RefreshSettingsDialog();
// "Show &Operation Controls".
void ToggleOperationControls();

}  // namespace qv
