// The rows MrpDlg (Distortion) and TrnDlg (Transition) add to the operation
// settings: the point file box, Browse... and "Edit in Zelvane".
#pragma once

#include "ops/op_catalogue.h"

class QGridLayout;
class QWidget;

namespace qv {

void AddZelvaneControls(QWidget* body, QGridLayout* grid, int& gridRow, OpId op);

}  // namespace qv
