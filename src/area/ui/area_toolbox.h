// The area toolbox "Tools": the area modes, how a new shape meets the old
// one, the constraints, and the settings of the mode chosen.
#pragma once

#include <QWidget>
#include <map>

class QAbstractButton;

namespace qv::ui {

class AreaToolbox : public QWidget {
 public:
  explicit AreaToolbox(QWidget* parent);
  // The button of a toolbox id (9750..9782), or null.
  QAbstractButton* Button(int id) const;
  // Brings the buttons up to date with the area state.
  void Sync();

 protected:
  // Where it is moved to is where it opens next time (PosTool).
  void moveEvent(QMoveEvent* event) override;

 private:
  void Clicked(int id);
  void Settings();
  std::map<int, QAbstractButton*> buttons_;
};

// Round Rect roundness, Num Rect box, Color Wand / Color Key ranges and the
// Font mode's font; false when cancelled. The Area menu opens the same ones.
bool AskRoundness(QWidget* parent);
bool AskNumericRectangle(QWidget* parent);
bool AskColourRanges(QWidget* parent, bool key);
bool AskAreaFont(QWidget* parent);

}  // namespace qv::ui
