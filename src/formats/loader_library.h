// Calling the TIFF, JPEG and PNG loader libraries: each is loaded by name for one
// call and unloaded at once.
#pragma once

#include <string>

namespace qv {

struct ImageRecord;

inline constexpr const char* kTiffLibrary = "QVldTIFF";
inline constexpr const char* kJpegLibrary = "QVLDJPEG";
inline constexpr const char* kPngLibrary = "QVldPNG";
// Names a folder searched before all others (tests, installations).
inline constexpr const char* kPluginDirVariable = "QV_PLUGIN_DIR";

// The file the library was found in, or empty.
std::string FindLoaderLibrary(const std::string& name);

// The library's ImageLoad; null after message 75 or 76 or the library's own.
ImageRecord* LoadThroughLibrary(const std::string& name, const std::string& imagePath);
// The library's ImageSave; 0 on success, 1 after message 75 or 76, else the
// library's result.
int SaveThroughLibrary(const std::string& name, const std::string& outputPath, ImageRecord* image, int option);

}  // namespace qv
