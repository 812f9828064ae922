#include "base/atomic_file.h"

#include <string>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace qv {

std::filesystem::path WriteTarget(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  // As many links as the system itself would follow before giving up on a loop.
  constexpr int kMaxLinks = 40;
  fs::path at = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(at, ec)) || ec) break;
    fs::path to = fs::read_symlink(at, ec);
    if (ec) break;
    at = to.is_absolute() ? to : at.parent_path() / to;
  }
  return at;
}

AtomicFile::~AtomicFile() {
  if (file_) std::fclose(file_);
  if (!temp_.empty()) {
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
  }
}

bool AtomicFile::Open(const std::filesystem::path& target, const char* mode) {
  namespace fs = std::filesystem;
  target_ = WriteTarget(target);
  temp_ = target_;
  temp_ += ".tmp" + std::to_string(::getpid());
  std::error_code ec;
  fs::file_status old = fs::status(target_, ec);
  keep_.reset();
  if (!ec && fs::is_regular_file(old)) keep_ = old.permissions();
  file_ = std::fopen(temp_.c_str(), mode);
  if (!file_) temp_.clear();
  return file_ != nullptr;
}

bool AtomicFile::Commit() {
  if (!file_) return false;
  bool ok = !std::ferror(file_);
  ok = (std::fflush(file_) == 0) && ok;
  if (ok && keep_) ok = ::fchmod(::fileno(file_), static_cast<mode_t>(*keep_) & 0777) == 0;
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
