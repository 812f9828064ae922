#include "store/memory_places.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/huge_pages.h"
#include "base/messages.h"

namespace qv {
namespace {

constexpr int kFirstCapacity = 400;
// Every block carries 4 bytes beyond the request.
constexpr std::int64_t kSlack = 4;


std::string TagText(const MemoryPlaces& m, int i) { return UnpackTag(m.tag[i]); }

// Blocks from this size up are picture planes: asked for in large pages,
// and kept for reuse when freed.
constexpr std::int64_t kLargeBlock = std::int64_t{4} << 20;
// At most this many freed blocks and bytes are kept.
constexpr std::size_t kSpareBlocks = 4;
constexpr std::int64_t kSpareBytes = std::int64_t{128} << 20;

void ReleaseSpare(MemoryPlaces& m) {
  for (auto& kept : m.spare) std::free(static_cast<void*>(kept.second));
  m.spare.clear();
}

// The platform side: heap blocks standing in for movable global memory,
// zero-filled like fresh ones.
PlaceHandle PlatformAlloc(MemoryPlaces& m, std::int64_t bytes) {
  if (m.faults.allocate && m.faults.allocate(bytes)) return nullptr;
  if (static_cast<std::uint64_t>(bytes) > SIZE_MAX) return nullptr;
  for (auto it = m.spare.begin(); it != m.spare.end(); ++it) {
    if (it->first != bytes) continue;
    void* block = static_cast<void*>(it->second);
    m.spare.erase(it);
    std::memset(block, 0, static_cast<std::size_t>(bytes));
    return static_cast<PlaceHandle>(block);
  }
  void* block = std::calloc(1, static_cast<std::size_t>(bytes));
  if (!block && !m.spare.empty()) {
    ReleaseSpare(m);  // kept blocks give way before a request fails
    block = std::calloc(1, static_cast<std::size_t>(bytes));
  }
  // Picture planes are touched whole soon after they are made.
  if (bytes >= kLargeBlock) AdviseHugePages(block, static_cast<std::size_t>(bytes));
  return static_cast<PlaceHandle>(block);
}

// A large block is kept for the next request of its size (the oldest kept
// one goes when the limits would be passed); any other is freed.
void PlatformFree(MemoryPlaces& m, PlaceHandle h, std::int64_t bytes) {
  if (!h) return;
  if (bytes < kLargeBlock || bytes > kSpareBytes) {
    std::free(static_cast<void*>(h));
    return;
  }
  try {
    m.spare.emplace_back(bytes, h);
  } catch (const std::bad_alloc&) {
    std::free(static_cast<void*>(h));
    return;
  }
  std::int64_t kept = 0;
  for (const auto& s : m.spare) kept += s.first;
  while (m.spare.size() > kSpareBlocks || kept > kSpareBytes) {
    kept -= m.spare.front().first;
    std::free(static_cast<void*>(m.spare.front().second));
    m.spare.erase(m.spare.begin());
  }
}

void* PlatformLock(MemoryPlaces& m, PlaceHandle h) {
  if (m.faults.lock && m.faults.lock()) return nullptr;
  return static_cast<void*>(h);
}


// A copy of the column at the new capacity, new entries cleared.
template <class T>
std::vector<T> Grown(const std::vector<T>& column, int capacity) {
  std::vector<T> grown(static_cast<std::size_t>(capacity));
  std::copy(column.begin(), column.end(), grown.begin());
  return grown;
}

// Grows the columns when at most two free slots are left. A failure leaves
// the table as it was.
bool GrowIfNeeded(MemoryPlaces& m) {
  if (m.placesInUse < m.capacity - 2) return true;
  int grown = m.capacity == 0 ? kFirstCapacity : m.capacity * 3 / 2 + 256;
  constexpr std::int64_t kRowBytes =
      sizeof(void*) + sizeof(PlaceHandle) + sizeof(std::int64_t) + sizeof(std::uint32_t) + sizeof(std::int16_t);
  if (m.faults.allocate && m.faults.allocate(grown * kRowBytes)) return false;
  try {
    auto address = Grown(m.address, grown);
    auto handle = Grown(m.handle, grown);
    auto size = Grown(m.size, grown);
    auto tag = Grown(m.tag, grown);
    auto lockCount = Grown(m.lockCount, grown);
    m.address = std::move(address);
    m.handle = std::move(handle);
    m.size = std::move(size);
    m.tag = std::move(tag);
    m.lockCount = std::move(lockCount);
  } catch (const std::bad_alloc&) {
    return false;
  }
  m.capacity = grown;
  return true;
}

int FindFreeSlot(const MemoryPlaces& m) {
  for (int i = 1; i < m.capacity; ++i)
    if (!m.handle[i]) return i;
  return 0;
}

int FindHandle(const MemoryPlaces& m, PlaceHandle h) {
  if (!h) return 0;
  for (int i = 1; i < m.capacity; ++i)
    if (m.handle[i] == h) return i;
  return 0;
}

int FindAddress(const MemoryPlaces& m, const void* a) {
  if (!a) return 0;
  for (int i = 1; i < m.capacity; ++i)
    if (m.address[i] == a) return i;
  return 0;
}

// Grows the table and finds a slot; 0 when neither is possible.
int ReserveSlot(MemoryPlaces& m) {
  if (!GrowIfNeeded(m)) return 0;
  int slot = FindFreeSlot(m);
  if (!slot) LogLine("Out of memory places\n");
  return slot;
}

void RaiseMaxima(MemoryPlaces& m) {
  if (m.virtualTotal > m.virtualMax) m.virtualMax = m.virtualTotal;
  if (m.realTotal > m.realMax) m.realMax = m.realTotal;
  if (m.placesInUse > m.placesMax) m.placesMax = m.placesInUse;
}

void ClearSlot(MemoryPlaces& m, int i) {
  m.handle[i] = nullptr;
  m.address[i] = nullptr;
  m.lockCount[i] = 0;
  m.size[i] = 0;
  m.tag[i] = 0;
}

// Enters a new block; a locked one (a real place) counts as locked once.
void FillSlot(MemoryPlaces& m, int slot, PlaceHandle h, void* address, const char* name, std::int64_t bytes) {
  m.handle[slot] = h;
  m.address[slot] = address;
  m.lockCount[slot] = address ? 1 : 0;
  m.tag[slot] = PackTag(name);
  m.size[slot] = bytes;
  m.virtualTotal += bytes;
  if (address) m.realTotal += bytes;
  m.placesInUse += 1;
  RaiseMaxima(m);
}

bool ValidRequest(std::int64_t size) { return size >= 0 && size <= INT64_MAX - kSlack; }

void WriteMaxLine(const MemoryPlaces& m) {
  LogLine("\nMax memory used:%8lld real %8lld virtual %3ld places\n", static_cast<long long>(m.realMax),
          static_cast<long long>(m.virtualMax), static_cast<long>(m.placesMax));
}

}  // namespace

MemoryPlaces::~MemoryPlaces() {
  for (PlaceHandle h : handle)
    if (h) std::free(static_cast<void*>(h));
  ReleaseSpare(*this);
}

std::uint32_t PackTag(const char* name) {
  char c[4] = {' ', ' ', ' ', ' '};
  if (name)
    for (int i = 0; i < 4 && name[i]; ++i) c[i] = name[i];
  std::uint32_t tag = 0;
  for (int i = 3; i >= 0; --i) tag = (tag << 8) | static_cast<unsigned char>(c[i]);
  return tag;
}

std::string UnpackTag(std::uint32_t tag) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((tag >> (8 * i)) & 0xFF);
  return s;
}

void* AllocReal(std::int64_t size, const char* name) {
  MemoryPlaces& m = Memory();
  if (!ValidRequest(size)) return nullptr;
  int slot = ReserveSlot(m);
  if (!slot) return nullptr;
  std::int64_t bytes = size + kSlack;
  PlaceHandle h = PlatformAlloc(m, bytes);
  if (!h) return nullptr;
  void* a = PlatformLock(m, h);
  if (!a) {
    PlatformFree(m, h, bytes);
    return nullptr;
  }
  FillSlot(m, slot, h, a, name, bytes);
  return a;  // zero-filled by the platform allocation
}

void* FreeReal(void* address, const char* name) {
  MemoryPlaces& m = Memory();
  // A null pointer is what owners hold after an earlier free: nothing to do.
  if (!address) return nullptr;
  int i = FindAddress(m, address);
  if (!i) {
    LogLine("Free again \"%s\"\n", name ? name : "");
    return address;
  }
  PlatformFree(m, m.handle[i], m.size[i]);
  m.virtualTotal -= m.size[i];
  m.realTotal -= m.size[i];
  m.placesInUse -= 1;
  ClearSlot(m, i);
  return nullptr;
}

PlaceHandle AllocVirtual(std::int64_t size, const char* name) {
  MemoryPlaces& m = Memory();
  if (!ValidRequest(size)) return nullptr;
  int slot = ReserveSlot(m);
  if (!slot) return nullptr;
  std::int64_t bytes = size + kSlack;
  PlaceHandle h = PlatformAlloc(m, bytes);
  if (!h) {
    LogLine("Out of moveable places\n");
    return nullptr;
  }
  FillSlot(m, slot, h, nullptr, name, bytes);
  return h;
}

void* LockVirtual(PlaceHandle handle) {
  MemoryPlaces& m = Memory();
  int i = FindHandle(m, handle);
  if (!i) {
    LogLine("Lock of unlisted virtual memory\n");
    return nullptr;
  }
  if (m.address[i]) {
    m.lockCount[i] += 1;
    LogLine("Mem: \"%s\" was used %d times at once.\n", TagText(m, i).c_str(), m.lockCount[i]);
    return m.address[i];
  }
  void* a = PlatformLock(m, handle);
  if (!a) {
    LogLine("Could not get lock on virtual memory\n");
    return nullptr;
  }
  m.address[i] = a;
  m.lockCount[i] = 1;
  m.realTotal += m.size[i];
  RaiseMaxima(m);
  return a;
}

int UnlockVirtual(PlaceHandle handle) {
  MemoryPlaces& m = Memory();
  int i = FindHandle(m, handle);
  if (!i) {
    LogLine("Unlock on unlisted memory\n");
    return 1;
  }
  if (!m.address[i]) {
    LogLine("Unlock again \"%s\"\n", TagText(m, i).c_str());
    return 1;
  }
  m.lockCount[i] -= 1;
  if (m.lockCount[i] > 0) return 0;
  m.lockCount[i] = 0;
  m.address[i] = nullptr;
  m.realTotal -= m.size[i];
  return 0;
}

int FreeVirtual(PlaceHandle handle) {
  MemoryPlaces& m = Memory();
  int i = FindHandle(m, handle);
  if (!i) {
    LogLine("Free again of virtual memory.\n");
    return 1;
  }
  if (m.lockCount[i] != 0) {
    LogLine("Memory: \"%s\" was not unlocked before unvirt.\n", TagText(m, i).c_str());
    m.lockCount[i] = 0;
    if (m.address[i]) m.realTotal -= m.size[i];
    m.address[i] = nullptr;
  }
  PlatformFree(m, m.handle[i], m.size[i]);
  m.virtualTotal -= m.size[i];
  m.placesInUse -= 1;
  ClearSlot(m, i);
  return 0;
}

PlaceHandle HandleOfAddress(const void* address) {
  const MemoryPlaces& m = Memory();
  int i = FindAddress(m, address);
  return i ? m.handle[i] : nullptr;
}

int PlaceOfHandle(PlaceHandle handle) { return FindHandle(Memory(), handle); }

std::int64_t PlaceSizeOfAddress(const void* address) {
  const MemoryPlaces& m = Memory();
  int i = FindAddress(m, address);
  return i ? m.size[i] : 0;
}

void* AllocNumbered(std::int64_t size, long number) {
  if (size == 0) {
    ShowNote("Zero allocation asked for");
    return nullptr;
  }
  if (number > 12000) number -= 12000;
  char name[32];
  std::snprintf(name, sizeof name, "M%3ld", number);
  void* a = AllocReal(size, name);
  if (!a) ShowNote("Memory alloc failed");
  return a;
}

void MemoryReport() {
  if (!LogIsOpen()) return;
  const MemoryPlaces& m = Memory();
  std::int64_t real = 0, virt = 0;
  for (int i = 1; i < m.capacity; ++i) {
    if (!m.handle[i]) continue;
    LogLine("Mem Locked: %c Size: %7lld Name: %s\n", m.address[i] ? 'Y' : 'N',
            static_cast<long long>(m.size[i]), TagText(m, i).c_str());
    if (m.address[i]) real += m.size[i];
    virt += m.size[i];
  }
  LogLine("Mem Total: Real %7lld Virt %7lld\n", static_cast<long long>(real), static_cast<long long>(virt));
  WriteMaxLine(m);
  LogLine("\nIn use now:     %8lld real %8lld virtual %3ld places\n", static_cast<long long>(m.realTotal),
          static_cast<long long>(m.virtualTotal), static_cast<long>(m.placesInUse));
}

void MemoryCloseReport() {
  if (!LogIsOpen()) return;
  const MemoryPlaces& m = Memory();
  WriteMaxLine(m);
  LogLine("\nIn use at close:%8lld real %8lld virtual %3ld places\n", static_cast<long long>(m.realTotal),
          static_cast<long long>(m.virtualTotal), static_cast<long>(m.placesInUse));
}

void FreeAllPlaces() {
  MemoryPlaces& m = Memory();
  int removed = 0;
  for (int i = 1; i < m.capacity; ++i) {
    if (!m.handle[i]) continue;
    std::string tag = TagText(m, i);
    if (m.address[i]) {
      LogLine("Auto un-locked : %s (%ld)\n", tag.c_str(), static_cast<long>(m.lockCount[i]));
      m.realTotal -= m.size[i];
    }
    std::free(static_cast<void*>(m.handle[i]));
    LogLine("Auto freed    : %s\n", tag.c_str());
    m.virtualTotal -= m.size[i];
    m.placesInUse -= 1;
    ClearSlot(m, i);
    ++removed;
  }
  LogLine("\nAuto - removed memory places = %d\n", removed);
  ReleaseSpare(m);
  m.address = {};
  m.handle = {};
  m.size = {};
  m.tag = {};
  m.lockCount = {};
  m.capacity = 0;
}

}  // namespace qv
