// The Area menu's own dialogs: "Transparency Controls", "Splatter Controls"
// and the toolbox's "Color Discriminator". Each edits the area state only
// when accepted; 0 accepted, 2 cancelled.
#pragma once

class QWidget;

namespace qv::ui {

int RunTransparencyControls(QWidget* parent);
int RunSplatterControls(QWidget* parent);
int AskColourDiscriminator(QWidget* parent);

}  // namespace qv::ui
