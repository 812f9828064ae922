// The profile windows of Asterize ("Asterize Arm Profile") and Annular
// ("Annular Radial Profile"): the 201-point curve drawn with the mouse.
// Refract's ("Refract Color Curves") shows one of its twelve curves at a
// time.
#pragma once

#include <QWidget>

#include "ops/op_catalogue.h"
#include "ops/op_state.h"

class QComboBox;
class QVBoxLayout;

namespace qv::ui {

class MapCurve;

class ProfileWindow : public QWidget {
  Q_OBJECT

 public:
  ProfileWindow(QWidget* parent, OpId op);
  OpId Operation() const { return op_; }
  MapCurve* Curve() const { return curve_; }
  ProfileId Shown() const { return profile_; }

 private:
  void ShowCurve(ProfileId id);

  OpId op_;
  ProfileId profile_ = ProfileId::Arm;
  MapCurve* curve_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  QComboBox* chooser_ = nullptr;
};

}  // namespace qv::ui
