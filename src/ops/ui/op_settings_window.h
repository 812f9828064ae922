// The operation settings window ("opClass"): one tool window hosting the
// current operation's controls, generated from the catalogue. What each
// control does to the live values is decided by the engine (op_controls).
#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "ops/op_catalogue.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QGridLayout;
class QVBoxLayout;

namespace qv::ui {

class ColourMapWindow;
class HistogramView;
class RemapColumn;
class ProfileWindow;

class OpSettingsWindow : public QWidget {
  Q_OBJECT


 public:
  explicit OpSettingsWindow(QWidget* parent);

  // Builds the rows of an operation and titles the window for it.
  void ShowOperation(OpId id);
  // The operation was chosen (menu, toolbar, TimeLine): leaving Histogram
  // closes its map window, then the window shows the new operation.
  void OperationChosen(OpId previous, OpId current);
  // Re-reads every live value into the controls.
  void Refresh();
  OpId Operation() const { return op_; }

  struct Row {
    int slot = -1;
    QLabel* label = nullptr;
    QScrollBar* bar = nullptr;     // number rows
    QLineEdit* edit = nullptr;     // number rows
    QCheckBox* check = nullptr;    // switches
    QPushButton* colour = nullptr; // packed colours
    QComboBox* choice = nullptr;   // a value chosen by name
    QPushButton* trend = nullptr;
  };
  const std::vector<Row>& Rows() const { return rows_; }
  // The swatches of the operation's red, green and blue rows.
  const std::vector<QPushButton*>& Swatches() const { return swatches_; }
  // Histogram's "Color Map" window, while it is open.
  ColourMapWindow* MapWindow() const;
  // The open profile window of Asterize or Annular, or null.
  ProfileWindow* Profile() const;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Clear();
  void AddNumberRow(Row& row, const ParamSlot& slot);
  void AddButtons();
  void AddColourControls(QGridLayout* grid, int& gridRow);
  void AddBalanceControls(QGridLayout* grid, int& gridRow);
  void AddHistogramControls(QGridLayout* grid, int& gridRow);
  void AddRemapControls(QGridLayout* grid, int& gridRow);
  void AddLightingControls(QGridLayout* grid, int& gridRow);
  void AddPaletteButton(QGridLayout* grid, int& gridRow);
  void ShowProfile();
  void RefreshColourControls();
  void ShowMap();
  void Changed(int slot);
  void PaintSwatches();

  OpId op_ = 0;
  QWidget* body_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  QLabel* oldSize_ = nullptr;
  QComboBox* source_ = nullptr;  // operations that use a source image
  std::vector<Row> rows_;
  std::vector<QPushButton*> swatches_;
  std::vector<int> swatchFirstSlot_;  // the red row of each swatch
  QPushButton* apply_ = nullptr;
  // The colour operations' own controls; null where the operation has none.
  struct ColourControls {
    QLabel* sampleSwatch = nullptr;    // Balance, Sample
    QLabel* sampleText = nullptr;      // Sample: the measured colour and ranges
    QPushButton* sampleNow = nullptr;  // Balance: checked while the pick waits
    QLabel* colorizeSwatch = nullptr;
    HistogramView* histogram = nullptr;
    QPushButton* equalize = nullptr;
    QCheckBox* independent = nullptr;
    QSpinBox* brightness = nullptr;
    QSpinBox* contrast = nullptr;
    QLabel* markers = nullptr;
    QLineEdit* paletteSize = nullptr;
    RemapColumn* remap = nullptr;
    QLabel* edge = nullptr;            // Asterize, Annular: the "Edge" and "Peak" colours
    QLabel* peak = nullptr;
    QPushButton* handles = nullptr;    // Perspective: its handles in the action view
  } colour_;
  QPointer<ColourMapWindow> mapWindow_;
  QPointer<ProfileWindow> profileWindow_;
};

// Wires the engine's settings-window hooks to one window under `parent`
// (opened, refreshed and closed as the operation is chosen). Undone by
// RemoveOpSettingsHooks.
void InstallOpSettingsHooks(QWidget* parent);
void RemoveOpSettingsHooks();
// The window under `parent`, when it is open.
OpSettingsWindow* FindOpSettingsWindow(QWidget* parent);

}  // namespace qv::ui
