// Writing a file so that a failed or interrupted save never destroys the
// previous one: the text goes to a temporary file in the same folder, which
// is renamed over the target only when everything was written.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>

namespace qv {

// The file a write to `path` lands in: a symbolic link is followed to its
// target (however many links deep), so that saving "onto" a link replaces
// the file it names and leaves the link a link.
std::filesystem::path WriteTarget(const std::filesystem::path& path);

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // an uncommitted temporary file is removed

  // Creates the temporary file beside the file the target names (through
  // symbolic links); false when it cannot be created.
  bool Open(const std::filesystem::path& target, const char* mode = "w");
  std::FILE* get() const { return file_; }
  // Closes and renames over the target, which keeps the permissions it had;
  // false (target untouched) when any write, the close or the rename failed.
  bool Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::FILE* file_ = nullptr;
  std::optional<std::filesystem::perms> keep_;  // the replaced file's permissions
};

}  // namespace qv
