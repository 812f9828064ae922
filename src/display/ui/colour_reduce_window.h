// The "Output Color Reduction" window ("reduceClass"): the palette source,
// the number of colours, the palette use of each entry, the dither kind and
// amount that every writer below 24 bits follows.
#pragma once

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class QTableWidget;

namespace qv::ui {

inline constexpr int kColourReduceCommand = 6700;

class ColourReduceWindow : public QWidget {
  Q_OBJECT


 public:
  explicit ColourReduceWindow(QWidget* parent);

  // Re-reads the engine state (after a usage file or a new palette).
  void Refresh();
  // Sets the usage of the selected entries (pick, use as is, skip).
  void SetSelectedUsage(int code);

  QButtonGroup* Sources() const { return sources_; }   // ids are the ChooseColors values
  QButtonGroup* Dithers() const { return dithers_; }   // 1 ordered, 0 error diffusion
  QSpinBox* Colours() const { return colours_; }
  QCheckBox* Lock() const { return lock_; }
  QSlider* Amount() const { return amount_; }
  QTableWidget* Usage() const { return usage_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FillUsage();

  QButtonGroup* sources_ = nullptr;
  QButtonGroup* dithers_ = nullptr;
  QSpinBox* colours_ = nullptr;
  QCheckBox* lock_ = nullptr;
  QSlider* amount_ = nullptr;
  QLabel* amountText_ = nullptr;
  QTableWidget* usage_ = nullptr;
};

// Opens the window under `parent` (or brings it forward) and returns it.
ColourReduceWindow* OpenColourReduceWindow(QWidget* parent);

}  // namespace qv::ui
