// The link to the Zelvane companion, which computes Distortion and
// Transition frames: one conversation over a local socket (see
// zelvane_wire.h), the two operations' work, and "Edit in Zelvane".
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr int kMessageCannotTalkToZelvane = 97;
// An op cell's text holds 304 bytes with the zero.
inline constexpr std::size_t kMaxPointFileName = 303;
inline constexpr int kZelvaneAttempts = 10;
inline constexpr int kZelvaneAttemptMillis = 500;
inline constexpr int kZelvaneFrameMillis = 60000;  // "DoFrame"
inline constexpr int kZelvaneOtherMillis = 8000;

// One conversation; the socket closes with it.
class ZelvaneConversation {
 public:
  ZelvaneConversation() = default;
  ZelvaneConversation(const ZelvaneConversation&) = delete;
  ZelvaneConversation& operator=(const ZelvaneConversation&) = delete;
  ~ZelvaneConversation();

  // Up to 10 attempts 500 ms apart; the companion is started once, after the
  // first. 0 connected; 1 not, with message 97 shown (and why).
  int Connect();
  // 0 done; 1 failed (Why() tells); 2 the user stopped while it waited.
  int Poke(const void* data, std::size_t length);
  int PokeText(const std::string& text);  // sent with its zero
  // Asks and copies `length` bytes from offset 12 of the answer into `row`;
  // an answer shorter than that is a failure and copies nothing.
  int Request(const std::string& command, std::uint8_t* row, std::size_t length);
  // The two halves of a transaction, so that many can be under way at once
  // (each frame still gets its own answer, in order).
  int Send(std::uint8_t kind, const void* data, std::size_t length, std::string_view command);
  int Await(std::string_view command, std::string* answer, std::size_t answerLimit);
  void Disconnect();
  bool Connected() const { return fd_ >= 0; }
  const std::string& Why() const { return why_; }

  int progressAt = 0;  // passed to Progress while waiting

 private:
  using Clock = std::chrono::steady_clock;
  int Transact(std::uint8_t kind, const void* data, std::size_t length, std::string_view command,
               std::string* answer, std::size_t answerLimit);
  int Wait(short events, Clock::time_point deadline, int millis);
  int SendBytes(const void* bytes, std::size_t size, Clock::time_point deadline, int millis);
  int ReceiveBytes(void* bytes, std::size_t size, Clock::time_point deadline, int millis);
  int fd_ = -1;
  std::string why_;
};

// Where the companion is started from (PIXQV_ZELVANE, beside this program,
// the build tree, PATH); empty when none is found.
std::string ZelvaneProgram();

// Distortion and Transition. The Prepare cancels with "no change" without a
// point file and widens the box to the whole image: every row is replaced.
int PrepareZelvane();
int ZelvaneWorker(std::uint8_t* pixels, std::uint8_t* mask);

// Whether a point file name can be kept in an op cell; why not when not.
bool PointFileNameFits(std::string_view name, std::string& why);

// Opens the action and source images and the point file in the companion
// for editing; mode 1 Distortion, 2 Transition. 0 done, 1 failed (message 97).
int EditInZelvane(const std::string& pointFile, int mode);

}  // namespace qv
