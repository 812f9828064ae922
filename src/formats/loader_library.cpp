#include "formats/loader_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "formats/formats_state.h"
#include "formats/loader_api.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageLoaderMissing = 75;
constexpr int kMessageLoaderCorrupted = 76;

namespace fs = std::filesystem;

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

fs::path ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

// Folders searched in turn: the override, the executable's own folder and a
// plugins folder beside it or up to three levels above it (build trees), and
// the installed library folder.
std::vector<fs::path> SearchFolders() {
  std::vector<fs::path> dirs;
  if (const char* env = std::getenv(kPluginDirVariable); env && *env) dirs.emplace_back(env);
  fs::path exe = ExecutableDir();
  if (!exe.empty()) {
    dirs.push_back(exe);
    fs::path up = exe;
    for (int i = 0; i < 4 && !up.empty(); ++i) {
      dirs.push_back(up / "plugins");
      if (up == up.parent_path()) break;
      up = up.parent_path();
    }
    dirs.push_back(exe.parent_path() / "lib" / "pixqv");
  }
  return dirs;
}

Library Open(const std::string& name) {
  std::string file = FindLoaderLibrary(name);
  if (file.empty()) return nullptr;
  return Library(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
}

template <class Fn>
Fn Entry(void* library, const char* name, const char* upper) {
  void* f = dlsym(library, name);
  if (!f) f = dlsym(library, upper);
  return reinterpret_cast<Fn>(f);
}

// The callbacks, in the order the libraries receive them.
void CbBegin(const char* title, int total, int step) { BeginProgress(title ? title : "", total, step); }
void CbNested(const char* title, int total, int step) { BeginProgress(title ? title : "", total, step); }
int CbStep(int done) { return Progress(done); }
void CbEnd() { EndProgress(); }
ImageRecord* CbCreate(int width, int height, const char* tag) {
  ImageRecord* image = CreateLockedImage(width, height, tag ? tag : "ildr");
  if (image) FileLoads().libraryImages.push_back(image);
  return image;
}
void* CbAllocate(std::int64_t bytes, const char* tag) { return AllocReal(bytes, tag ? tag : "ildr"); }
void CbFree(void* block) {
  if (block) FreeReal(block, "ildr");
}
int CbMessage(int number, int flag, const char* extra) {
  if (flag && extra) return ShowMessageWith(number, extra);
  return ShowMessage(number);
}

QvLoaderInstance Instance() { return QvLoaderInstance{sizeof(QvLoaderInstance), SavePrefs().chopMem}; }

}  // namespace

std::string FindLoaderLibrary(const std::string& name) {
  for (const fs::path& dir : SearchFolders()) {
    for (const std::string& file : {"lib" + name + ".so", name + ".so"}) {
      std::error_code ec;
      fs::path candidate = dir / file;
      if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
  }
  return {};
}

ImageRecord* LoadThroughLibrary(const std::string& name, const std::string& imagePath) {
  Library library = Open(name);
  if (!library) {
    ShowMessageFile(kMessageLoaderMissing, name);
    return nullptr;
  }
  auto load = Entry<QvImageLoadFn>(library.get(), "ImageLoad", "IMAGELOAD");
  if (!load) {
    ShowMessageFile(kMessageLoaderCorrupted, imagePath);
    return nullptr;
  }
  QvLoaderInstance instance = Instance();
  auto& made = FileLoads().libraryImages;
  made.clear();
  ImageRecord* image = load(imagePath.c_str(), nullptr, &instance, CbBegin, CbNested, CbStep, CbEnd, CbCreate,
                            CbAllocate, CbFree, CbMessage);
  // Whatever the library made and did not hand back is ours to free.
  for (ImageRecord* m : made)
    if (m != image) FreeImage(m);
  made.clear();
  if (image) UnlockImage(image);
  return image;
}

int SaveThroughLibrary(const std::string& name, const std::string& outputPath, ImageRecord* image, int option) {
  Library library = Open(name);
  if (!library) {
    ShowMessageFile(kMessageLoaderMissing, name);
    return 1;
  }
  auto save = Entry<QvImageSaveFn>(library.get(), "ImageSave", "IMAGESAVE");
  if (!save) {
    ShowMessageFile(kMessageLoaderCorrupted, outputPath);
    return 1;
  }
  QvLoaderInstance instance = Instance();
  if (LockImage(image) != 0) return 1;
  int result = save(outputPath.c_str(), image, &instance, nullptr, option, CbBegin, CbNested, CbStep, CbEnd,
                    CbAllocate, CbFree, CbMessage);
  UnlockImage(image);
  return result;
}

}  // namespace qv
