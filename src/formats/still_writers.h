// The writers of the still file types behind the save choices, and the
// save type that writes an image's own file again.
#pragma once

#include <string>

namespace qv {

struct ImageRecord;

// Writes the image with the still writer of a save type (GIF, PCX, Targa,
// PNG; IFF/ILBM, TRIM, Toaster FS). 0 on success, 1 after the writer's
// own report.
int WriteStillImage(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress);

// The save type that writes the image's own file as it is: its file type,
// Toaster FS for a framestore (IFF by type, by format name), PNG for file
// type 14; -1 when no type writes it.
int SaveTypeOfImage(const ImageRecord* image);
// After a save of that type: the file type and format name of the file.
void RecordSavedType(ImageRecord* image, int type);

}  // namespace qv
