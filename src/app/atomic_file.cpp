#include "app/atomic_file.h"

#include <string>
#include <system_error>

#include <unistd.h>

namespace qv {

AtomicFile::~AtomicFile() {
  if (file_) std::fclose(file_);
  if (!temp_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }
}

bool AtomicFile::Open(const std::filesystem::path& target, const char* mode) {
  target_ = target;
  temp_ = target;
  temp_ += ".tmp" + std::to_string(::getpid());
  file_ = std::fopen(temp_.c_str(), mode);
  if (!file_) temp_.clear();
  return file_ != nullptr;
}

bool AtomicFile::Commit() {
  if (!file_) return false;
  bool ok = !std::ferror(file_);
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) return false;
  std::error_code ec;
  std::filesystem::rename(temp_, target_, ec);
  if (ec) return false;
  temp_.clear();
  return true;
}

}  // namespace qv
