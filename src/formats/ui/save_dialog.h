// The image save dialog: a file dialog whose type filter drives the depth
// list, the compression box and the JPEG quality controls as the engine's
// save choices say, and which renames the output to the chosen type.
#pragma once

#include <QFileDialog>
#include <vector>

#include "base/host.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QScrollBar;

namespace qv::ui {

class SaveImageDialog : public QFileDialog {
  Q_OBJECT


 public:
  SaveImageDialog(QWidget* parent, const SaveImageRequest& request);

  // Chooses a type (a full-list index) as the filter list would.
  void SelectType(int type);
  int Type() const { return type_; }
  // The choices as the dialog holds them now (name: the whole path once
  // accepted, else the name typed).
  SaveImageRequest Choices() const;

  QComboBox* DepthList() const { return depth_; }
  QCheckBox* CompressBox() const { return compress_; }
  QScrollBar* QualityBar() const { return quality_; }
  QLineEdit* QualityEdit() const { return qualityEdit_; }
  QLineEdit* NameEdit() const;
  // The depth entry of each line of the depth list.
  const std::vector<int>& DepthEntries() const { return depths_; }

  void accept() override;

 private:
  void TypeChanged(int type);

  SaveImageRequest request_;
  std::vector<int> types_;   // full-list index of each filter
  QStringList filters_;
  std::vector<int> depths_;
  QString typed_;            // the name as the person (or the type rule) left it
  int type_ = 0;
  int userCompress_ = 1;
  QComboBox* depth_ = nullptr;
  QCheckBox* compress_ = nullptr;
  QScrollBar* quality_ = nullptr;
  QLineEdit* qualityEdit_ = nullptr;
};

}  // namespace qv::ui
