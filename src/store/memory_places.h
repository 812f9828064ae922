// Memory places: every long-lived buffer of the system lives in a numbered
// slot with a 4-character tag, its size and its lock state, so that the log
// can say what is allocated, how much, and who misused it.
//
// A real place is locked for its whole life and used through its address; a
// virtual place is referred to by its handle and locked in nested pairs while
// used. The blocks come from the ordinary heap, where a lock is a no-op that
// returns the block's stable address; every count, maximum and log line is
// kept as if blocks could move.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

struct PlaceBlock;                 // opaque
using PlaceHandle = PlaceBlock*;   // null marks a free slot

// Fault injection for tests: return true to make that request fail.
struct PlaceFaults {
  std::function<bool(std::int64_t bytes)> allocate;  // blocks and column growth
  std::function<bool()> lock;                        // locking a virtual place
};

// The place table: parallel columns indexed by place number (0 is never used).
// Sizes are 64-bit so that large pictures cannot wrap the totals.
struct MemoryPlaces {
  MemoryPlaces() = default;
  MemoryPlaces(const MemoryPlaces&) = delete;
  MemoryPlaces& operator=(const MemoryPlaces&) = delete;
  ~MemoryPlaces();  // releases every block, silently

  std::vector<void*> address;        // locked address, null while unlocked
  std::vector<PlaceHandle> handle;   // the block, null for a free slot
  std::vector<std::int64_t> size;    // requested size + 4
  std::vector<std::uint32_t> tag;    // first character in the low byte
  std::vector<std::int16_t> lockCount;
  int capacity = 0;

  std::int64_t virtualTotal = 0;     // sizes of all places in use
  std::int64_t realTotal = 0;        // sizes of the locked places
  int placesInUse = 0;
  std::int64_t virtualMax = 0;
  std::int64_t realMax = 0;
  int placesMax = 0;

  PlaceFaults faults;

  // Large blocks lately freed, kept (sizes beside them) to be handed out
  // again for a request of the same size: clearing a block already mapped
  // costs far less than the fresh pages of a new one on some systems, and
  // repeated applies and animation frames ask for the same sizes again.
  std::vector<std::pair<std::int64_t, PlaceHandle>> spare;
};

// The program's one MemoryPlaces (owned by the Program).
MemoryPlaces& Memory();

// Packs a name into a tag: padded with blanks, cut to 4 characters, first
// character lowest. A null name gives four blanks.
std::uint32_t PackTag(const char* name);
std::string UnpackTag(std::uint32_t tag);

void* AllocReal(std::int64_t size, const char* name);
// Returns null when freed, else the address unchanged (so `p = FreeReal(p, ..)`).
void* FreeReal(void* address, const char* name);
PlaceHandle AllocVirtual(std::int64_t size, const char* name);
void* LockVirtual(PlaceHandle handle);
int UnlockVirtual(PlaceHandle handle);   // 0 released, 1 unlisted or not locked
int FreeVirtual(PlaceHandle handle);     // 0 freed, 1 unlisted
PlaceHandle HandleOfAddress(const void* address);
// AllocReal tagged "M%3ld" with the call-site number (less 12000 above 12000).
void* AllocNumbered(std::int64_t size, long number);

void MemoryReport();
void MemoryCloseReport();
void FreeAllPlaces();

// The place number holding this handle, or 0.
int PlaceOfHandle(PlaceHandle handle);
// Size (requested + 4) of the place whose locked address this is; 0 if none.
std::int64_t PlaceSizeOfAddress(const void* address);

// A typed view of a locked real place.
template <class T>
T* AllocRealArray(std::int64_t count, const char* name) {
  if (count < 0 || count > INT64_MAX / static_cast<std::int64_t>(sizeof(T))) return nullptr;
  return static_cast<T*>(AllocReal(count * static_cast<std::int64_t>(sizeof(T)), name));
}

}  // namespace qv
