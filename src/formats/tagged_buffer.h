// A working buffer of a reader or writer kept in a tagged real memory place,
// so that the memory report names it and a failed allocation can be told to
// the user with the format's own note. Freed when it goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/memory_places.h"

namespace qv {

class TaggedBuffer {
 public:
  TaggedBuffer() = default;
  TaggedBuffer(std::int64_t bytes, const char* tag) : tag_(tag) {
    if (bytes >= 0) data_ = static_cast<std::uint8_t*>(AllocReal(bytes > 0 ? bytes : 1, tag));
    if (data_) size_ = static_cast<std::size_t>(bytes);
  }
  TaggedBuffer(const TaggedBuffer&) = delete;
  TaggedBuffer& operator=(const TaggedBuffer&) = delete;
  ~TaggedBuffer() { FreeReal(data_, tag_); }

  explicit operator bool() const { return data_ != nullptr; }
  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::uint8_t& operator[](std::size_t i) const { return data_[i]; }

 private:
  const char* tag_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qv
