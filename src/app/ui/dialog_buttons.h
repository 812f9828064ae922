// The OK / Cancel row every modal settings dialog of the program ends with.
#pragma once

class QDialog;
class QDialogButtonBox;

namespace qv::ui {

// OK accepts the dialog and Cancel (or Escape) rejects it.
QDialogButtonBox* OkCancel(QDialog* dialog);

}  // namespace qv::ui
