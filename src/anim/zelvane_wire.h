// The conversation with the Zelvane companion, shared by both ends: where its
// socket lives, how a frame is laid out, and the sizes both ends hold each
// other to. Standard library and POSIX only: the companion includes it too.
//
// A frame is kind (1 byte), payload length (u32, little-endian), payload.
// The client sends 'C' connect ("Zelvane\0Qv\0"), 'P' poke, 'R' request and
// 'D' disconnect; the companion answers each with 'A' (a request's data as
// payload) or 'N' (the reason). An unsolicited 'V' from the companion is the
// advise notification: the client acknowledges it with 'A' 0x8000.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace qv::zelvane {

inline constexpr std::uint8_t kConnect = 'C';
inline constexpr std::uint8_t kPoke = 'P';
inline constexpr std::uint8_t kRequest = 'R';
inline constexpr std::uint8_t kDisconnect = 'D';
inline constexpr std::uint8_t kAck = 'A';
inline constexpr std::uint8_t kNack = 'N';
inline constexpr std::uint8_t kAdvise = 'V';
inline constexpr std::uint32_t kAdviseAck = 0x8000;

inline constexpr std::size_t kHeaderBytes = 5;
// Service and topic, each with its zero.
inline constexpr std::string_view kServiceTopic{"Zelvane\0Qv\0", 11};

// A line buffer: 12 bytes of command text with its zero, the row's RGBA
// pixels, two zero bytes. A reply to "Result y" carries the same 12 bytes
// before the row.
inline constexpr std::size_t kCommandBytes = 12;
inline constexpr std::uint64_t LineBufferBytes(std::uint64_t width) { return width * 4 + 14; }
// Text frames (commands, replies without pixels) never need more.
inline constexpr std::uint32_t kTextFrameLimit = 4096;
// "LineE 99999" and its zero fill the 12 command bytes: taller pictures
// cannot be numbered.
inline constexpr std::int64_t kMaxLinkedHeight = 100000;
// The image limit both ends refuse beyond (the engine's own).
inline constexpr std::int64_t kMaxLinkedPixels = std::int64_t{1} << 30;

inline void PutU32(std::uint8_t* at, std::uint32_t v) {
  at[0] = static_cast<std::uint8_t>(v);
  at[1] = static_cast<std::uint8_t>(v >> 8);
  at[2] = static_cast<std::uint8_t>(v >> 16);
  at[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

inline std::string FrameHeader(std::uint8_t kind, std::uint32_t length) {
  std::string h(kHeaderBytes, '\0');
  h[0] = static_cast<char>(kind);
  PutU32(reinterpret_cast<std::uint8_t*>(h.data() + 1), length);
  return h;
}

// Whether a command's text starts with this word (any case over its length).
inline bool CommandIs(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char a = text[i], b = word[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
    if (a != b) return false;
  }
  return true;
}

// The socket of service "Zelvane", topic "Qv": $PIXQV_ZELVANE_SOCKET, else
// $XDG_RUNTIME_DIR/pixqv/Zelvane.Qv, else a folder of this user's own under
// the temporary folder. The folder is made private (0700) when missing.
inline std::string DefaultSocketPath() {
  if (const char* s = std::getenv("PIXQV_ZELVANE_SOCKET"); s && *s) return s;
  std::string folder;
  if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r) {
    folder = std::string(r) + "/pixqv";
  } else {
    const char* t = std::getenv("TMPDIR");
    folder = std::string(t && *t ? t : "/tmp") + "/pixqv-" + std::to_string(getuid());
  }
  ::mkdir(folder.c_str(), 0700);
  return folder + "/Zelvane.Qv";
}

}  // namespace qv::zelvane
