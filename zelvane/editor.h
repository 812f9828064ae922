// The companion's window: the start and end images with the point pairs as
// handles (click to add, drag to move, right-click or Delete to remove), a
// frame slider with the frame it gives, and Save.
#pragma once

#include <QWidget>

#include <vector>

#include "handler.h"

class QLabel;
class QSlider;
class QSpinBox;
class PairView;

class Editor : public QWidget {
  Q_OBJECT

 public:
  explicit Editor(zelvane::Session& session, QWidget* parent = nullptr);
  // The session's images, mode or point file changed.
  void Reload();
  bool Save();
  const std::vector<zelvane::PointPair>& Pairs() const { return pairs_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class PairView;
  void PairsEdited();
  void ShowFrame();
  void UpdateTitle();

  zelvane::Session& session_;
  std::vector<zelvane::PointPair> pairs_;
  std::string path_;
  bool modified_ = false;
  int selected_ = -1;
  PairView* startView_;
  PairView* endView_;
  QSlider* frame_;
  QSpinBox* total_;
  QLabel* preview_;
  QLabel* status_;
};
