// Writing a file so that a failed or interrupted save never destroys the
// previous one: the text goes to a temporary file in the same folder, which
// is renamed over the target only when everything was written.
#pragma once

#include <cstdio>
#include <filesystem>

namespace qv {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // an uncommitted temporary file is removed

  // Creates the temporary file; false when it cannot be created.
  bool Open(const std::filesystem::path& target, const char* mode = "w");
  std::FILE* get() const { return file_; }
  // Closes and renames over the target; false (target untouched) when any
  // write, the close or the rename failed.
  bool Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::FILE* file_ = nullptr;
};

}  // namespace qv
