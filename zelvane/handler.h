// The companion's side of the conversation, without Qt: frames cut from the
// byte stream and the commands answered, with the state (images, point file,
// computed frame) kept from one conversation to the next. Every frame is
// taken as hostile: sizes are checked before anything is allocated or copied.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "anim/zelvane_wire.h"
#include "morph.h"

namespace zelvane {

struct Reply {
  std::uint8_t kind = qv::zelvane::kNack;
  std::string payload;
};

// An image arriving row by row ("ImageS", "LineS" ..., "DrawS").
struct Incoming {
  Picture picture;
  std::string name;
  long resolutionX = 0, resolutionY = 0;
  std::vector<std::uint8_t> got;  // per row
  std::size_t missing = 0;
  bool started = false;
  bool complete = false;
};

class Session {
 public:
  explicit Session(std::int64_t maxPixels = qv::zelvane::kMaxLinkedPixels) : maxPixels_(maxPixels) {}

  // The longest payload the next frame may carry: a line buffer of an image
  // being received, else a text frame.
  std::uint32_t PayloadLimit() const;
  Reply Handle(std::uint8_t kind, std::string_view payload);
  bool Connected() const { return connected_; }
  // The peer went away: the conversation ends, the state stays.
  void Drop() { connected_ = false; }

  const Incoming& Start() const { return start_; }
  const Incoming& End() const { return end_; }
  const std::string& PointsPath() const { return points_; }
  bool Distort() const { return distort_; }
  const Picture& Frame() const { return frame_; }

  std::function<void()> front;                      // "Front": raise the editor
  std::function<void()> changed;                   // an image, the point file or the mode changed
  std::function<void(const std::string&)> trace;    // one line per transaction
  // Off where a point file named by the peer must not be opened (fuzzing):
  // the frame is computed without pairs.
  bool readPointFiles = true;

 private:
  Reply Poke(std::string_view text, std::string_view payload);
  Reply Request(std::string_view text);
  Reply BeginImage(Incoming& image, std::string_view fields);
  Reply Line(Incoming& image, std::string_view fields, std::string_view payload);
  Reply Draw(Incoming& image);
  Reply DoFrame(std::string_view fields);

  std::int64_t maxPixels_;
  bool connected_ = false;
  Incoming start_, end_;
  std::string points_;
  bool distort_ = true;
  Picture frame_;
  bool frameReady_ = false;
};

// Cuts frames from a byte stream.
class FrameReader {
 public:
  void Feed(const char* data, std::size_t size) { buffer_.append(data, size); }
  // 1: a frame is in kind and payload; 0: more bytes needed; -1: the frame
  // claims more than limit bytes (why says so); the stream cannot go on.
  int Next(std::uint32_t limit, std::uint8_t& kind, std::string& payload, std::string& why);

 private:
  std::string buffer_;
  std::size_t at_ = 0;
};

// The frame as it goes on the wire.
std::string EncodeFrame(std::uint8_t kind, std::string_view payload);

}  // namespace zelvane
