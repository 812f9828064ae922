#include "anim/zelvane_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "anim/zelvane_wire.h"
#include "base/messages.h"
#include "base/progress.h"
#include "ops/apply.h"
#include "ops/apply_state.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

namespace wire = zelvane;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr OpId kTransitionOp = 3198;
constexpr int kMessageNoSource = 12;
// Rows sent (or asked for) before their answers are read: each still has
// its own answer, but the companion need not wait for this side to turn.
constexpr int kRowsInFlight = 32;
constexpr int kMessageNoMemory = 22;

// A real place for the length of one transfer.
struct TransferPlace {
  TransferPlace(std::int64_t size, const char* tag) : bytes(static_cast<std::uint8_t*>(AllocReal(size, tag))), name(tag) {
    if (!bytes) ShowMessage(kMessageNoMemory);
  }
  ~TransferPlace() {
    if (bytes) FreeReal(bytes, name);
  }
  TransferPlace(const TransferPlace&) = delete;
  TransferPlace& operator=(const TransferPlace&) = delete;
  std::uint8_t* bytes;
  const char* name;
};

bool Executable(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

// A connected socket to path whose peer runs as this user; -1 with why.
int Dial(const std::string& path, std::string& why) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    why = "socket path too long: " + path;
    return -1;
  }
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    why = std::string("no socket: ") + std::strerror(errno);
    return -1;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    why = "cannot connect to " + path + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
    why = path + " belongs to another user";
    ::close(fd);
    return -1;
  }
  return fd;
}

// Started detached (its own session, no terminal, nothing inherited), so it
// outlives this program and never holds a caller's pipe open.
bool StartCompanion(const std::string& program, const std::string& socket) {
  LogLine("Starting Zelvane: %s\n", program.c_str());
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    ::execl(program.c_str(), program.c_str(), "--socket", socket.c_str(), "--minimized", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

int CommandMillis(std::string_view command) {
  return wire::CommandIs(command, "DoFrame") ? kZelvaneFrameMillis : kZelvaneOtherMillis;
}

long Resolution(std::int32_t num, std::int32_t den) { return den != 0 ? static_cast<long>(num / den) : 0; }

std::string ImageCommand(const char* word, const ImageRecord& image) {
  return std::string(word) + " " + std::to_string(image.width) + "," + std::to_string(image.height) + "," +
         std::string(image.name, strnlen(image.name, sizeof image.name)) + "," +
         std::to_string(Resolution(image.dpiXNum, image.dpiXDen)) + "," +
         std::to_string(Resolution(image.dpiYNum, image.dpiYDen));
}

// Message 97 with the command that failed and why.
int Failed(std::string_view command, const std::string& why) {
  ShowMessageWith(kMessageCannotTalkToZelvane, std::string(command) + ": " + why);
  return 1;
}

// The rows of one image as "ImageS"/"LineS"/"DrawS" (or the E forms), under
// the running "Transfer" progress. 0 sent, 1 failed (message shown), 2 stopped.
int SendImage(ZelvaneConversation& z, const ImageRecord& image, const std::uint8_t* pixels, const std::uint32_t* rows,
              bool end, int& done) {
  const std::string head = ImageCommand(end ? "ImageE" : "ImageS", image);
  if (int r = z.PokeText(head); r != 0) return r == 2 ? 2 : Failed(head, z.Why());
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
  const std::int64_t lineBytes = static_cast<std::int64_t>(wire::LineBufferBytes(static_cast<std::uint64_t>(image.width)));
  TransferPlace place(lineBytes, "TRbu");
  if (!place.bytes) return 1;
  std::uint8_t* line = place.bytes;
  char command[wire::kCommandBytes] = {};
  for (int y0 = 0; y0 < image.height; y0 += kRowsInFlight) {
    const int y1 = std::min(image.height, y0 + kRowsInFlight);
    for (int y = y0; y < y1; ++y) {
      z.progressAt = done;
      if (Progress(done++) != 0) return 2;
      std::snprintf(command, sizeof command, end ? "LineE %d" : "LineS %d", y);
      std::memcpy(line, command, sizeof command);
      std::memcpy(line + wire::kCommandBytes, pixels + static_cast<std::size_t>(rows[y]) * 4, rowBytes);
      if (int r = z.Send(wire::kPoke, line, static_cast<std::size_t>(lineBytes), command); r != 0) return r == 2 ? 2 : Failed(command, z.Why());
    }
    for (int y = y0; y < y1; ++y) {
      std::snprintf(command, sizeof command, end ? "LineE %d" : "LineS %d", y);
      if (int r = z.Await(command, nullptr, 0); r != 0) return r == 2 ? 2 : Failed(command, z.Why());
    }
  }
  const char* draw = end ? "DrawE" : "DrawS";
  if (int r = z.PokeText(draw); r != 0) return r == 2 ? 2 : Failed(draw, z.Why());
  return 0;
}

int SendText(ZelvaneConversation& z, const std::string& text) {
  const int r = z.PokeText(text);
  return r == 0 ? 0 : r == 2 ? 2 : Failed(text, z.Why());
}

// A picture too tall to number its rows is refused before connecting.
int RefuseTall(const ImageRecord& image) {
  if (image.height <= wire::kMaxLinkedHeight) return 0;
  ShowMessageWith(kMessageCannotTalkToZelvane, std::string(image.name) + " has " + std::to_string(image.height) +
                                                   " rows; at most " + std::to_string(wire::kMaxLinkedHeight) +
                                                   " can be sent");
  return 1;
}

}  // namespace

ZelvaneConversation::~ZelvaneConversation() {
  if (fd_ >= 0) ::close(fd_);
}

std::string ZelvaneProgram() {
  if (const char* e = std::getenv("PIXQV_ZELVANE"); e && *e) return e;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && Executable(self.parent_path() / "zelvane")) return (self.parent_path() / "zelvane").string();
#ifdef QV_ZELVANE_BUILD_PATH
  if (Executable(QV_ZELVANE_BUILD_PATH)) return QV_ZELVANE_BUILD_PATH;
#endif
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / "zelvane";
      if (!candidate.parent_path().empty() && Executable(candidate)) return candidate.string();
      rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
  }
  return {};
}

int ZelvaneConversation::Connect() {
  Disconnect();
  const std::string path = wire::DefaultSocketPath();
  std::string why;
  bool started = false;
  for (int attempt = 0; attempt < kZelvaneAttempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kZelvaneAttemptMillis));
    fd_ = Dial(path, why);
    if (fd_ >= 0) {
      if (Transact(wire::kConnect, wire::kServiceTopic.data(), wire::kServiceTopic.size(), "Connect", nullptr, 0) == 0)
        return 0;
      why = why_;
      if (fd_ >= 0) ::close(fd_);
      fd_ = -1;
    }
    if (!started) {
      started = true;
      const std::string program = ZelvaneProgram();
      if (program.empty())
        why += "; no zelvane program was found to start";
      else if (!StartCompanion(program, path))
        why += "; " + program + " could not be started";
    }
  }
  why_ = why;
  ShowMessageWith(kMessageCannotTalkToZelvane, why);
  return 1;
}

int ZelvaneConversation::Poke(const void* data, std::size_t length) {
  std::string_view command(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), std::min<std::size_t>(length, wire::kCommandBytes)));
  return Transact(wire::kPoke, data, length, command, nullptr, 0);
}

int ZelvaneConversation::PokeText(const std::string& text) { return Transact(wire::kPoke, text.c_str(), text.size() + 1, text, nullptr, 0); }

int ZelvaneConversation::Request(const std::string& command, std::uint8_t* row, std::size_t length) {
  std::string answer;
  // Room for the reply header and a line buffer's tail, no more.
  const int r = Transact(wire::kRequest, command.c_str(), command.size() + 1, command, &answer,
                         std::max<std::size_t>(wire::kTextFrameLimit, wire::kCommandBytes + length + 2));
  if (r != 0) return r;
  if (answer.size() < wire::kCommandBytes + length) {
    why_ = "answer of " + std::to_string(answer.size()) + " bytes, " + std::to_string(wire::kCommandBytes + length) +
           " wanted";
    return 1;
  }
  std::memcpy(row, answer.data() + wire::kCommandBytes, length);
  return 0;
}

void ZelvaneConversation::Disconnect() {
  if (fd_ < 0) return;
  std::string ignored = why_;
  (void)Transact(wire::kDisconnect, nullptr, 0, "Disconnect", nullptr, 0);
  why_ = ignored;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int ZelvaneConversation::Wait(short events, Clock::time_point deadline, int millis) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      why_ = "no answer within " + std::to_string(millis / 1000) + " s";
      return 1;
    }
    pollfd p{fd_, events, 0};
    const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (n > 0) return 0;
    if (n < 0 && errno != EINTR) {
      why_ = std::strerror(errno);
      return 1;
    }
    // The user may stop while the companion works.
    if (n == 0 && Progress(progressAt) != 0) {
      ::close(fd_);
      fd_ = -1;
      why_ = "stopped";
      return 2;
    }
  }
}

int ZelvaneConversation::SendBytes(const void* bytes, std::size_t size, Clock::time_point deadline, int millis) {
  const auto* at = static_cast<const char*>(bytes);
  while (size > 0) {
    if (int w = Wait(POLLOUT, deadline, millis); w != 0) return w;
    // A companion gone away must not kill this program with SIGPIPE.
    const ssize_t n = ::send(fd_, at, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      why_ = std::string("the companion went away (") + std::strerror(errno) + ")";
      return 1;
    }
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int ZelvaneConversation::ReceiveBytes(void* bytes, std::size_t size, Clock::time_point deadline, int millis) {
  auto* at = static_cast<char*>(bytes);
  while (size > 0) {
    if (int w = Wait(POLLIN, deadline, millis); w != 0) return w;
    const ssize_t n = ::recv(fd_, at, size, MSG_DONTWAIT);
    if (n == 0) {
      why_ = "the companion went away";
      return 1;
    }
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      why_ = std::string("the companion went away (") + std::strerror(errno) + ")";
      return 1;
    }
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int ZelvaneConversation::Send(std::uint8_t kind, const void* data, std::size_t length, std::string_view command) {
  if (fd_ < 0) {
    why_ = "not connected";
    return 1;
  }
  const int millis = CommandMillis(command);
  const auto deadline = Clock::now() + std::chrono::milliseconds(millis);
  const std::string header = wire::FrameHeader(kind, static_cast<std::uint32_t>(length));
  if (int r = SendBytes(header.data(), header.size(), deadline, millis); r != 0) return r;
  return length > 0 ? SendBytes(data, length, deadline, millis) : 0;
}

int ZelvaneConversation::Await(std::string_view command, std::string* answer, std::size_t answerLimit) {
  if (fd_ < 0) {
    why_ = "not connected";
    return 1;
  }
  const int millis = CommandMillis(command);
  const auto deadline = Clock::now() + std::chrono::milliseconds(millis);
  for (;;) {
    std::uint8_t head[wire::kHeaderBytes];
    if (int r = ReceiveBytes(head, sizeof head, deadline, millis); r != 0) return r;
    const std::uint32_t size = wire::GetU32(head + 1);
    const std::size_t limit = head[0] == wire::kAck && answer ? answerLimit : wire::kTextFrameLimit;
    if (size > limit) {
      why_ = "answer of " + std::to_string(size) + " bytes refused (at most " + std::to_string(limit) + ")";
      ::close(fd_);  // the stream cannot be followed any further
      fd_ = -1;
      return 1;
    }
    std::string payload(size, '\0');
    if (int r = ReceiveBytes(payload.data(), size, deadline, millis); r != 0) return r;
    if (head[0] == wire::kAdvise) {
      std::uint8_t ack[4];
      wire::PutU32(ack, wire::kAdviseAck);
      if (int r = Send(wire::kAck, ack, sizeof ack, command); r != 0) return r;
      continue;
    }
    if (head[0] == wire::kAck) {
      if (answer) *answer = std::move(payload);
      return 0;
    }
    why_ = head[0] == wire::kNack ? "refused: " + payload : "unexpected answer";
    return 1;
  }
}

int ZelvaneConversation::Transact(std::uint8_t kind, const void* data, std::size_t length, std::string_view command,
                                  std::string* answer, std::size_t answerLimit) {
  if (int r = Send(kind, data, length, command); r != 0) return r;
  return Await(command, answer, answerLimit);
}

bool PointFileNameFits(std::string_view name, std::string& why) {
  if (name.size() <= kMaxPointFileName) return true;
  why = "point file name of " + std::to_string(name.size()) + " bytes (at most " + std::to_string(kMaxPointFileName) + ")";
  return false;
}

int PrepareZelvane() {
  ApplyContext& c = Ctx();
  const OpsState& ops = Ops();
  const std::string& points = c.op == kTransitionOp ? ops.transitionPointFile : ops.distortionPointFile;
  if (points.empty()) return 2;  // nothing to warp along: no change
  // Whole rows come back, so undo, stop and redraw cover the whole picture.
  c.x0 = 0;
  c.y0 = 0;
  c.x1 = c.image->width - 1;
  c.y1 = c.image->height - 1;
  return 0;
}

int ZelvaneWorker(std::uint8_t* pixels, std::uint8_t*) {
  ApplyContext& c = Ctx();
  ImageRecord& image = *c.image;
  const bool transition = c.op == kTransitionOp;
  const OpsState& ops = Ops();
  const std::string& points = transition ? ops.transitionPointFile : ops.distortionPointFile;
  ImageRecord* source = SourceImage() ? SourceImage() : &image;
  if (transition && !c.sourcePixels) {
    ShowMessage(kMessageNoSource);
    return 1;
  }
  if (RefuseTall(image) != 0 || (transition && RefuseTall(*source) != 0)) return 1;
  ZelvaneConversation z;
  if (z.Connect() != 0) return 1;

  int done = 0;
  const int rows = image.height + (transition ? c.sourceHeight : 0);
  BeginProgress("Transfer", rows);
  int r = SendImage(z, image, pixels, image.rows, false, done);
  if (r == 0 && transition) {
    ImageRecord end = *source;  // its header, with the rows the pipeline locked
    end.width = c.sourceWidth;
    end.height = c.sourceHeight;
    r = SendImage(z, end, c.sourcePixels, c.sourceRows, true, done);
  }
  EndProgress();
  const std::string mode = transition ? "Distort NO" : "Distort YES";
  if (r == 0) r = SendText(z, mode);
  if (r == 0) r = SendText(z, "Points \"" + points + "\"");
  if (r == 0) r = SendText(z, mode);
  if (r == 0) {
    BeginProgress("Zelvane", 1);
    r = SendText(z, "DoFrame " + std::to_string(ParamValue(c.op, 0)) + "," + std::to_string(ParamValue(c.op, 1)));
    EndProgress();
  }
  // Received aside and copied only when every row came: a frame half
  // received is never passed off as the result.
  const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 4;
  std::unique_ptr<TransferPlace> received;
  if (r == 0) {
    received = std::make_unique<TransferPlace>(static_cast<std::int64_t>(rowBytes) * image.height, "TAtx");
    if (!received->bytes) r = 1;
  }
  std::uint8_t* frame = r == 0 ? received->bytes : nullptr;
  if (r == 0) {
    BeginProgress("Receive", image.height);
    // Room for the reply header and a line buffer's tail, no more.
    const std::size_t limit = std::max<std::size_t>(wire::kTextFrameLimit, wire::kCommandBytes + rowBytes + 2);
    std::string answer;
    for (int y0 = 0; y0 < image.height && r == 0; y0 += kRowsInFlight) {
      const int y1 = std::min(image.height, y0 + kRowsInFlight);
      for (int y = y0; y < y1 && r == 0; ++y) {
        z.progressAt = y;
        if (Progress(y) != 0) {
          r = 2;
          break;
        }
        const std::string command = "Result " + std::to_string(y);
        r = z.Send(wire::kRequest, command.c_str(), command.size() + 1, command);
        if (r == 1) Failed(command, z.Why());
      }
      for (int y = y0; y < y1 && r == 0; ++y) {
        const std::string command = "Result " + std::to_string(y);
        r = z.Await(command, &answer, limit);
        if (r == 0 && answer.size() < wire::kCommandBytes + rowBytes) {
          r = 1;
          Failed(command, "answer of " + std::to_string(answer.size()) + " bytes, " +
                              std::to_string(wire::kCommandBytes + rowBytes) + " wanted");
        } else if (r == 0) {
          std::memcpy(frame + static_cast<std::size_t>(y) * rowBytes, answer.data() + wire::kCommandBytes, rowBytes);
        } else if (r == 1) {
          Failed(command, z.Why());
        }
      }
    }
    EndProgress();
  }
  if (r != 0) return 1;
  z.Disconnect();
  for (int y = 0; y < image.height; ++y)
    std::memcpy(pixels + static_cast<std::size_t>(image.rows[y]) * 4, frame + static_cast<std::size_t>(y) * rowBytes, rowBytes);
  return 0;
}

int EditInZelvane(const std::string& pointFile, int mode) {
  std::string why;
  if (!PointFileNameFits(pointFile, why)) {
    ShowMessageWith(kMessageCannotTalkToZelvane, why);
    return 1;
  }
  ImageRecord* action = ActionImage();
  ImageRecord* source = SourceImage();
  if ((action && RefuseTall(*action) != 0) || (source && RefuseTall(*source) != 0)) return 1;
  ZelvaneConversation z;
  if (z.Connect() != 0) return 1;
  int done = 0;
  int r = 0;
  for (auto [image, end] : {std::pair{action, false}, std::pair{source, true}}) {
    if (!image || r != 0) continue;
    if (LockImage(image) != 0) continue;
    BeginProgress("Transfer", image->height);
    r = SendImage(z, *image, image->pixels, image->rows, end, done);
    EndProgress();
    UnlockImage(image);
    done = 0;
  }
  if (r == 0) r = SendText(z, "Points \"" + pointFile + "\"");
  if (r == 0) r = SendText(z, mode == 1 ? "Distort YES" : "Distort NO");
  if (r == 0) r = SendText(z, "Front");
  if (r != 0) return 1;
  z.Disconnect();
  return 0;
}

}  // namespace qv
