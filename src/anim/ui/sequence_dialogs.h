// The dialogs of sequence generation: "Sequence Controls" (the range, the
// output and its save choices) and "Animation (File) Frame Rate".
#pragma once

class QWidget;

namespace qv::ui {

// 0 taken, 2 cancelled.
int RunSequenceControls(QWidget* parent);
int RunFrameRate(QWidget* parent);
// Generation shows each level's action image in a view of its own, made
// when the image has none, which becomes the acting view.
void InstallSequenceHooks();

}  // namespace qv::ui
