#include "ops/op_menu.h"

#include "base/messages.h"
#include "base/string_table.h"
#include "ops/apply_state.h"
#include "ops/op_state.h"
#include "ops/perspective_handles.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr OpId kEnlarge = 3173;
constexpr OpId kReduce = 3174;
constexpr OpId kMakeArea = 3191;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string WithMnemonic(std::string_view text, std::string& used) {
  std::string out;
  bool marked = false;
  for (char c : text) {
    if (!marked && IsAlnum(c) && used.find(Lower(c)) == std::string::npos) {
      used += Lower(c);
      out += '&';
      marked = true;
    }
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

std::vector<OpMenuPopup> BuildOperationsMenu(std::string topLevelUsed) {
  std::vector<OpMenuPopup> menu;
  std::string used;  // mnemonics of the current popup
  for (const OpEntry& e : Catalogue()) {
    if (menu.empty() || menu.back().group != e.group) {
      OpMenuPopup popup;
      popup.group = e.group;
      popup.title = WithMnemonic(LoadString(static_cast<int>(e.group)), topLevelUsed);
      menu.push_back(std::move(popup));
      used.clear();
    }
    menu.back().items.push_back({WithMnemonic(OpName(e.id), used), e.id});
  }
  return menu;
}

bool IsOperationCommand(int command) {
  return command >= kFirstOpCommand && command <= kLastOpCommand && IsCatalogued(static_cast<OpId>(command));
}

void OpenSettingsWindow(OpId previous, OpId current) {
  OpsState& ops = Ops();
  // With exactly one image there is no doubt which one is to be resized.
  if ((current == kEnlarge || current == kReduce) && ImageCount() == 1) {
    ops.oldWidth = ImageAt(0)->width;
    ops.oldHeight = ImageAt(0)->height;
  }
  if (!ops.showControls) {
    if (ops.hooks.closeSettings) ops.hooks.closeSettings();
    return;
  }
  if (ops.hooks.openSettings) ops.hooks.openSettings(previous, current);
}

int SelectOperation(int command) {
  if (!IsOperationCommand(command)) return 1;
  OpsState& ops = Ops();
  const OpId previous = ops.current;
  const OpId chosen = static_cast<OpId>(command);
  // Make Area is a passing choice: once it has handed its selection over,
  // the operation (and working method) it interrupted come back.
  if (chosen == kMakeArea && previous != kMakeArea) {
    Pipeline().opBeforeMakeArea = previous;
    Pipeline().methodBeforeMakeArea = ops.workMethod;
  }
  ops.current = chosen;
  ops.showControls = true;
  if (chosen != previous) RemovePerspectiveHandles();
  if (ops.hooks.markOperation) ops.hooks.markOperation(previous, chosen);

  const bool drawFirst = ops.workMethod == kWorkDrawFirst;
  const bool selection = ops.hooks.areaSelectionExists && ops.hooks.areaSelectionExists();
  if (!drawFirst || !selection) {
    OpenSettingsWindow(previous, chosen);
    return 0;
  }
  // Draw First: the selection is waiting for an effect.
  if (ops.hooks.applyToCurrentView) {
    ops.hooks.applyToCurrentView();
  } else {
    LogLine("%s chosen over a selection; applying is not available yet\n", std::string(OpName(chosen)).c_str());
  }
  if (previous != chosen) {
    if (ops.hooks.closeSettings) ops.hooks.closeSettings();
  } else {
    OpenSettingsWindow(previous, chosen);
  }
  return 0;
}

void RefreshSettingsDialog() {
  if (const auto& refresh = Ops().hooks.refreshSettings) refresh();
}

void ToggleOperationControls() {
  OpsState& ops = Ops();
  ops.showControls = !ops.showControls;
  OpenSettingsWindow(ops.current, ops.current);
}

}  // namespace qv
