// Project files (.QVP): which images are loaded and in which role, then the
// settings, profiles and Trends of every operation in the op-settings text.
// Loading one reloads the images into views and restores the settings.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ops/qvs_file.h"

namespace qv {

struct ImageRecord;

inline constexpr std::string_view kProjectHeader = "QVPROJECT Pixanta:Q/v File";
inline constexpr int kCommandOpenProject = 3030;
inline constexpr int kCommandSaveProjectAs = 3040;
inline constexpr int kCommandCloseProject = 3050;

// Writes the listed images that have a file (the action image first made
// from the current view's image, else the first, when there is none), then
// every operation's section. 0 written, 1 not (message 71 with the path; an older file is kept),
// 2 stopped by the user.
int SaveProject(const std::filesystem::path& path);

// One image line as it was read and what became of it.
struct ProjectImage {
  std::string role;      // "TARGET", "SOURCE" or "IMAGE"
  std::string name;      // as the line names it
  std::string path;      // what was opened ("" when nothing was)
  ImageRecord* image = nullptr;  // null when it was not loaded
};

struct ProjectLoadReport {
  std::string header;               // the first line of the file
  QvsReadResult settings;
  std::vector<ProjectImage> images;
  // Told after each image line, loaded or not (the command line takes the
  // loader's message for the line here).
  std::function<void(ProjectImage&)> imageDone;
};

// 0 read (images that would not load are skipped), 1 not read: message 71
// when the file cannot be opened, 42 when it is not a project or settings
// file. The project's folder becomes the first place images are looked for.
int LoadProject(const std::filesystem::path& path, ProjectLoadReport* report = nullptr);

// The File menu's three commands. Open and Save As ask for the file and
// remember its folder; Close runs Save As first when a Trend was made since
// the start (cancelling or failing there keeps everything), then closes
// every image (each may ask to be saved) and deletes every Trend.
// 0 done, 1 failed, 2 cancelled.
int OpenProjectCommand();
int SaveProjectAsCommand();
int CloseProjectCommand();

}  // namespace qv
