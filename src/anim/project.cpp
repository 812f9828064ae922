#include "anim/project.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include "anim/anim_state.h"
#include "anim/trends.h"
#include "base/atomic_file.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "base/text_words.h"
#include "display/views.h"
#include "formats/formats_state.h"
#include "formats/image_files.h"
#include "ops/apply.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpen = 71;
constexpr const char* kProjectFilter = "Projects (*.QVP)";

// A name goes out as one word of the readers' word rule; anything else in
// it (a blank, a bracket, a plus) would cut it on reading, so it is quoted.
// A quote or a line break cannot be carried at all.
bool NeedsQuotes(std::string_view name) {
  return !std::all_of(name.begin(), name.end(), IsWordChar);
}
bool Writable(std::string_view name) {
  return !name.empty() && name.find_first_of("\"\r\n") == std::string_view::npos;
}

// The image operations change: the action image when it is still listed,
// else the current view's, else the first; it is made the action image so
// that the file and the program agree.
ImageRecord* ProjectActionImage() {
  ImageStore& images = Images();
  if (images.currentAction && ImageIndex(images.currentAction) >= 0) return images.currentAction;
  ImageRecord* chosen = nullptr;
  if (const ViewRecord* view = Views().action; view && view->image && ImageIndex(view->image) >= 0)
    chosen = view->image;
  else
    chosen = ImageAt(0);
  if (chosen) images.currentAction = chosen;
  return chosen;
}

std::string ImageLines() {
  const ImageRecord* action = ProjectActionImage();
  const ImageRecord* source = Pipeline().source;
  std::string out;
  for (int i = 0; i < ImageCount(); ++i) {
    const ImageRecord* image = ImageAt(i);
    std::string name = image->path;
    if (!Writable(name)) {
      // A new image has no file to reload from.
      if (!name.empty()) LogLine("Project: \"%s\" cannot be named in a project line; left out\n", name.c_str());
      continue;
    }
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(name, ec);
    if (!ec) name = full.lexically_normal().string();
    const char* role = image == action ? "TARGET" : image == source ? "SOURCE" : "IMAGE";
    out += role;
    out += ": ";
    out += NeedsQuotes(name) ? "\"" + name + "\"" : name;
    out += '\n';
  }
  return out;
}

// An operation's section: its settings text without the settings header.
std::string SettingsSection(OpId id) {
  std::string text = OpSettingsText(id);
  std::size_t body = text.find("\n\n");
  return body == std::string::npos ? text : text.substr(body + 2);
}

// The file a line names, as the image loader would find it: the name itself,
// else the same leaf in the project folder, then in the image folder. Empty
// when none exists (the loader then reports it missing).
std::filesystem::path FindNamedFile(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path given(name);
  if (fs::exists(fs::symlink_status(given, ec))) return given;
  const FileLoadState& files = FileLoads();
  for (const std::string* dir : {&files.projPath, &files.imagePath}) {
    if (dir->empty()) continue;
    fs::path candidate = fs::path(*dir) / given.filename();
    if (fs::exists(fs::symlink_status(candidate, ec))) return candidate;
  }
  return {};
}

// Only plain files are opened: a folder cannot be read, a pipe or a device
// would block or never end, and a project naming a project (itself, say)
// would load without end.
bool LoadableImageFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  char head[6] = {};
  in.read(head, sizeof head);
  return !(in.gcount() == 6 && StartsWithNoCase(std::string_view(head, 6), "QVPROJ"));
}

// The action image and its view the current one; done again when all lines
// are read, since each view opened later comes to the front.
void MakeActionImage(ImageRecord* image) {
  ImageStore& images = Images();
  images.current = images.currentAction = image;
  std::vector<ViewRecord*> views = ViewsOf(image);
  if (views.empty()) return;
  SetActionView(views.front());
  TheHost().ActivateViewWindow(views.front());
}

void LoadImageLine(std::string_view keyword, std::string_view name, ProjectLoadReport& report) {
  ProjectImage entry;
  entry.role = std::string(keyword);
  entry.name = std::string(name);
  std::filesystem::path found = FindNamedFile(entry.name);
  if (!found.empty() && !LoadableImageFile(found)) {
    ShowMessageFile(kMessageCannotOpen, found.string());
    LogLine("Project: %s \"%s\" is not an image file; skipped\n", entry.role.c_str(), entry.name.c_str());
  } else {
    std::string path = found.empty() ? entry.name : found.string();
    ImageRecord* image = LoadImageFile(nullptr, path);
    if (image && AddImage(image, true) != 0) {
      FreeImage(image);
      image = nullptr;
    }
    if (image) {
      entry.path = path;
      entry.image = image;
      if (keyword == "SOURCE") Pipeline().source = image;
      if (keyword == "TARGET") MakeActionImage(image);
    }
  }
  if (report.imageDone) report.imageDone(entry);
  report.images.push_back(std::move(entry));
}

// The image-line hook belongs to this one read: a settings file loaded later
// must not reload images.
class ImageLineHook {
 public:
  explicit ImageLineHook(ProjectLoadReport& report) : saved_(std::move(Ops().hooks.imageLine)) {
    Ops().hooks.imageLine = [&report](std::string_view keyword, std::string_view name) {
      LoadImageLine(keyword, name, report);
    };
  }
  ~ImageLineHook() { Ops().hooks.imageLine = std::move(saved_); }
  ImageLineHook(const ImageLineHook&) = delete;
  ImageLineHook& operator=(const ImageLineHook&) = delete;

 private:
  std::function<void(std::string_view, std::string_view)> saved_;
};

std::string FirstLine(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  char c = 0;
  while (line.size() < kQvsLineLimit && in.get(c) && c != '\n' && c != '\r') line += c;
  return line;
}

}  // namespace

int SaveProject(const std::filesystem::path& path) {
  std::string out(kProjectHeader);
  out += "\n\n";
  out += ImageLines();
  auto catalogue = Catalogue();
  BeginProgress("Saving Project", static_cast<int>(catalogue.size()));
  int step = 0;
  for (const OpEntry& e : catalogue) {
    out += SettingsSection(e.id);
    if (Progress(++step) != 0) {
      EndProgress();
      LogLine("Saving Project stopped; %s is unchanged\n", path.string().c_str());
      return 2;
    }
  }
  EndProgress();
  AtomicFile file;
  if (!file.Open(path) || std::fwrite(out.data(), 1, out.size(), file.get()) != out.size() || !file.Commit()) {
    ShowMessageFile(kMessageCannotOpen, path.string());
    return 1;
  }
  LogLine("Saved project %s\n", path.string().c_str());
  return 0;
}

int LoadProject(const std::filesystem::path& path, ProjectLoadReport* report) {
  ProjectLoadReport local;
  ProjectLoadReport& r = report ? *report : local;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    ShowMessageFile(kMessageCannotOpen, path.string());
    return 1;
  }
  r.header = FirstLine(path);
  std::filesystem::path folder = std::filesystem::absolute(path, ec).parent_path();
  FileLoads().projPath = (ec ? path.parent_path() : folder).string();
  ImageLineHook hook(r);
  const int result = LoadOpSettingsFile(path, &r.settings);
  for (auto it = r.images.rbegin(); it != r.images.rend(); ++it)
    if (it->role == "TARGET" && it->image && ImageIndex(it->image) >= 0) {
      MakeActionImage(it->image);
      break;
    }
  if (result == 0) LogLine("Loaded project %s\n", path.string().c_str());
  return result;
}

int OpenProjectCommand() {
  Settings& s = Prefs();
  std::vector<std::string> files = TheHost().ChooseFiles({"Load Project", kProjectFilter, s.projectPath, false});
  if (files.empty()) return 2;
  const int result = LoadProject(files.front());
  if (result == 0) {
    s.projectPath = std::filesystem::path(files.front()).parent_path().string();
    RememberRecentFile(files.front());
  }
  return result;
}

int SaveProjectAsCommand() {
  Settings& s = Prefs();
  std::string name = TheHost().ChooseSaveFile({"Save Project As", kProjectFilter, s.projectPath, false});
  if (name.empty()) return 2;
  std::filesystem::path path(name);
  if (!path.has_extension()) path += ".QVP";
  const int result = SaveProject(path);
  if (result == 0) s.projectPath = path.parent_path().string();
  return result;
}

int CloseProjectCommand() {
  // The Trends live nowhere else: without a saved project they would be lost.
  if (Anim().trends.createdSinceStart) {
    const int saved = SaveProjectAsCommand();
    if (saved != 0) return saved;
  }
  for (int i = ImageCount() - 1; i >= 0; --i) {
    const int removed = RemoveImage(ImageAt(i));
    if (removed == 1) return 1;
    if (removed == 2) return 2;
  }
  KillAllTrends();
  Anim().trends.createdSinceStart = false;
  Pipeline().source = nullptr;
  return 0;
}

}  // namespace qv
