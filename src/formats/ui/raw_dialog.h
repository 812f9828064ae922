// "RawDlg" ("Raw Image Load"): how to read a headerless file. It shows the
// file's name and size, the starting byte, the picture's size and the
// layout; choosing another layout renews the proposed size.
#pragma once

#include <QDialog>
#include <array>

#include "base/host.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace qv::ui {

class RawImageDialog : public QDialog {
  Q_OBJECT

 public:
  RawImageDialog(QWidget* parent, const RawImageRequest& request);

  // The request as the dialog holds it now.
  RawImageRequest Request() const;

  QSpinBox* StartBox() const { return start_; }
  QSpinBox* WidthBox() const { return width_; }
  QSpinBox* HeightBox() const { return height_; }
  QRadioButton* LayoutButton(int layout) const { return layouts_[static_cast<std::size_t>(layout)]; }
  QLineEdit* GreenExtension() const { return green_; }
  QLineEdit* BlueExtension() const { return blue_; }

 private:
  void LayoutChosen(int layout);

  RawImageRequest request_;
  QSpinBox* start_ = nullptr;
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  std::array<QRadioButton*, 4> layouts_{};
  QLineEdit* green_ = nullptr;
  QLineEdit* blue_ = nullptr;
};

// Runs the dialog; false when cancelled.
bool RunRawImageDialog(QWidget* parent, RawImageRequest& request);

}  // namespace qv::ui
