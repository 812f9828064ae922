// "Screen Capture Control" and the timer of a delayed capture.
#pragma once

class QObject;
class QWidget;

namespace qv::ui {

// 0 kept (OK) or captured, 1 the capture failed, 2 cancelled.
int RunCaptureDialog(QWidget* parent);
// Timer 1112: one single-shot timer owned by the main window.
void InstallCaptureTimer(QObject* owner);

}  // namespace qv::ui
