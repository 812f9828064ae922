// Saving an image from the desktop program: "Save Image as..." through the
// save dialog, and saving an image to the file it came from (the Save
// Image command and closing a changed image's last view).
#pragma once

namespace qv {

struct ImageRecord;

// The save dialog for this image, then the writer of the chosen type. The
// choices are remembered in the settings and, after a good save, in the
// image (its path, name, type, save option and quality; changes cleared).
// 0 saved, 1 failed, 2 cancelled.
int SaveImageAs(ImageRecord* image);

// Writes the image to its own file with its own type, depth, save option
// and quality; an image without a file of a type that can be saved goes
// through the save dialog instead. 0 saved, 1 failed, 2 cancelled.
int SaveToOwnFile(ImageRecord* image);

// The depth entry that keeps an image as it was loaded (by its bit depth and
// alpha), among those the type offers.
int OwnDepthEntry(const ImageRecord* image, int type);

// The menu commands: 118 "Save Image..." (the current image, or one chosen
// from the list) and 111 "Save Image as..." ("Select Image to Save", then
// the dialog). Message 11 when no image is loaded.
int SaveImageCommand(int id);

}  // namespace qv
