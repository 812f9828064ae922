// The profile windows of Asterize ("Asterize Arm Profile") and Annular
// ("Annular Radial Profile"): the 201-point curve drawn with the mouse.
#pragma once

#include <QWidget>

#include "ops/op_catalogue.h"
#include "ops/op_state.h"

namespace qv::ui {

class MapCurve;

class ProfileWindow : public QWidget {
  Q_OBJECT

 public:
  ProfileWindow(QWidget* parent, OpId op);
  OpId Operation() const { return op_; }
  MapCurve* Curve() const { return curve_; }

 private:
  OpId op_;
  ProfileId profile_ = ProfileId::Arm;
  MapCurve* curve_ = nullptr;
};

}  // namespace qv::ui
