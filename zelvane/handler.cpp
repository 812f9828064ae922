#include "handler.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zelvane {
namespace {

namespace wire = qv::zelvane;

Reply Ack(std::string payload = {}) { return {wire::kAck, std::move(payload)}; }
Reply Nack(std::string why) { return {wire::kNack, std::move(why)}; }

// A whole field as a decimal number (sign allowed, nothing else).
bool ParseLong(std::string_view s, long& v) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc{} && end == s.data() + s.size();
}

// The text of a command: up to its zero.
std::string_view TextOf(std::string_view payload) {
  const std::size_t zero = payload.find('\0');
  return zero == std::string_view::npos ? payload : payload.substr(0, zero);
}

std::string_view AfterWord(std::string_view text, std::size_t word) {
  text.remove_prefix(std::min(word, text.size()));
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// Printable for the trace: control bytes as '?', long texts cut.
std::string Shown(std::string_view text) {
  std::string s(text.substr(0, 200));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 32) c = '?';
  return s;
}

}  // namespace

std::string EncodeFrame(std::uint8_t kind, std::string_view payload) {
  std::string f = wire::FrameHeader(kind, static_cast<std::uint32_t>(payload.size()));
  f.append(payload);
  return f;
}

int FrameReader::Next(std::uint32_t limit, std::uint8_t& kind, std::string& payload, std::string& why) {
  if (buffer_.size() - at_ < wire::kHeaderBytes) return 0;
  const auto* head = reinterpret_cast<const std::uint8_t*>(buffer_.data() + at_);
  const std::uint32_t length = wire::GetU32(head + 1);
  if (length > limit) {
    why = "a frame of " + std::to_string(length) + " bytes (at most " + std::to_string(limit) + " expected)";
    return -1;
  }
  if (buffer_.size() - at_ - wire::kHeaderBytes < length) return 0;
  kind = head[0];
  payload.assign(buffer_, at_ + wire::kHeaderBytes, length);
  at_ += wire::kHeaderBytes + length;
  // Drop what was read once it is most of the buffer.
  if (at_ > 65536 && at_ * 2 > buffer_.size()) {
    buffer_.erase(0, at_);
    at_ = 0;
  }
  return 1;
}

std::uint32_t Session::PayloadLimit() const {
  std::uint64_t limit = wire::kTextFrameLimit;
  for (const Incoming* i : {&start_, &end_})
    if (i->started && !i->complete) limit = std::max(limit, wire::LineBufferBytes(static_cast<std::uint64_t>(i->picture.width)));
  return static_cast<std::uint32_t>(limit);
}

Reply Session::Handle(std::uint8_t kind, std::string_view payload) {
  Reply r;
  std::string_view text = TextOf(payload);
  if (kind == wire::kConnect) {
    if (payload == wire::kServiceTopic) {
      connected_ = true;
      r = Ack();
    } else {
      r = Nack("no such service and topic (wants Zelvane, Qv)");
    }
    text = "Zelvane Qv";
  } else if (!connected_) {
    r = Nack("not connected");
  } else if (kind == wire::kDisconnect) {
    connected_ = false;
    r = Ack();
  } else if (kind == wire::kPoke) {
    r = Poke(text, payload);
  } else if (kind == wire::kRequest) {
    r = Request(text);
  } else {
    r = Nack("unknown frame kind " + std::to_string(kind));
  }
  if (trace) {
    std::string line(1, static_cast<char>(kind >= 32 && kind < 127 ? kind : '?'));
    line.append(1, ' ').append(std::to_string(payload.size())).append(1, ' ').append(Shown(text));
    line.append(" -> ").append(1, static_cast<char>(r.kind));
    if (r.kind == wire::kNack) line.append(1, ' ').append(Shown(r.payload));
    trace(line);
  }
  return r;
}

Reply Session::Poke(std::string_view text, std::string_view payload) {
  using wire::CommandIs;
  if (CommandIs(text, "ImageS ")) return BeginImage(start_, AfterWord(text, 7));
  if (CommandIs(text, "ImageE ")) return BeginImage(end_, AfterWord(text, 7));
  if (CommandIs(text, "LineS ")) return Line(start_, AfterWord(text, 6), payload);
  if (CommandIs(text, "LineE ")) return Line(end_, AfterWord(text, 6), payload);
  if (text.size() == 5 && CommandIs(text, "DrawS")) return Draw(start_);
  if (text.size() == 5 && CommandIs(text, "DrawE")) return Draw(end_);
  if (text.size() == 11 && CommandIs(text, "Distort YES")) {
    distort_ = true;
    if (changed) changed();
    return Ack();
  }
  if (text.size() == 10 && CommandIs(text, "Distort NO")) {
    distort_ = false;
    if (changed) changed();
    return Ack();
  }
  if (CommandIs(text, "Points ")) {
    const std::size_t first = text.find('"'), last = text.rfind('"');
    if (first == std::string_view::npos || last == first) return Nack("Points wants a quoted file name");
    points_ = std::string(text.substr(first + 1, last - first - 1));
    if (changed) changed();
    return Ack();
  }
  if (CommandIs(text, "DoFrame ")) return DoFrame(AfterWord(text, 8));
  if (text.size() == 5 && CommandIs(text, "Front")) {
    if (front) front();
    return Ack();
  }
  return Nack("unknown command \"" + Shown(text) + "\"");
}

Reply Session::BeginImage(Incoming& image, std::string_view fields) {
  // Width and height first, the resolutions last, the name (which may hold
  // commas) between.
  const std::size_t c1 = fields.find(','), c2 = c1 == std::string_view::npos ? c1 : fields.find(',', c1 + 1);
  const std::size_t c4 = fields.rfind(','), c3 = c4 == std::string_view::npos || c4 == 0 ? std::string_view::npos : fields.rfind(',', c4 - 1);
  long w = 0, h = 0, rx = 0, ry = 0;
  if (c2 == std::string_view::npos || c3 == std::string_view::npos || c3 < c2 || !ParseLong(fields.substr(0, c1), w) ||
      !ParseLong(fields.substr(c1 + 1, c2 - c1 - 1), h) || !ParseLong(fields.substr(c3 + 1, c4 - c3 - 1), rx) ||
      !ParseLong(fields.substr(c4 + 1), ry))
    return Nack("wants width,height,name,x resolution,y resolution");
  if (w < 1 || h < 1) return Nack("image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
  // A line buffer's length must fit its 32-bit frame length.
  if (h > wire::kMaxLinkedHeight || w > (1L << 28) || static_cast<std::int64_t>(w) * h > maxPixels_)
    return Nack("image of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is beyond the limit");
  image = Incoming{};
  image.picture.width = static_cast<std::int32_t>(w);
  image.picture.height = static_cast<std::int32_t>(h);
  image.picture.rgba.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0);
  image.name = std::string(fields.substr(c2 + 1, c3 - c2 - 1));
  image.resolutionX = rx;
  image.resolutionY = ry;
  image.got.assign(static_cast<std::size_t>(h), 0);
  image.missing = static_cast<std::size_t>(h);
  image.started = true;
  return Ack();
}

Reply Session::Line(Incoming& image, std::string_view fields, std::string_view payload) {
  if (!image.started || image.complete) return Nack("no image is being received");
  const std::size_t rowBytes = static_cast<std::size_t>(image.picture.width) * 4;
  if (payload.size() != wire::LineBufferBytes(static_cast<std::uint64_t>(image.picture.width)))
    return Nack("line buffer of " + std::to_string(payload.size()) + " bytes (wants " +
                std::to_string(rowBytes + 14) + ")");
  if (payload.substr(0, wire::kCommandBytes).find('\0') == std::string_view::npos)
    return Nack("line command without its zero in 12 bytes");
  long y = 0;
  if (!ParseLong(fields, y) || y < 0 || y >= image.picture.height)
    return Nack("row " + Shown(fields) + " outside 0.." + std::to_string(image.picture.height - 1));
  std::memcpy(&image.picture.rgba[static_cast<std::size_t>(y) * rowBytes], payload.data() + wire::kCommandBytes, rowBytes);
  if (!image.got[static_cast<std::size_t>(y)]) {
    image.got[static_cast<std::size_t>(y)] = 1;
    --image.missing;
  }
  return Ack();
}

Reply Session::Draw(Incoming& image) {
  if (!image.started || image.complete) return Nack("no image is being received");
  if (image.missing != 0) return Nack(std::to_string(image.missing) + " rows were not sent");
  image.complete = true;
  image.got.clear();
  image.got.shrink_to_fit();
  if (changed) changed();
  return Ack();
}

Reply Session::DoFrame(std::string_view fields) {
  const std::size_t comma = fields.find(',');
  long n = 0, m = 0;
  if (comma == std::string_view::npos || !ParseLong(fields.substr(0, comma), n) || !ParseLong(fields.substr(comma + 1), m))
    return Nack("DoFrame wants frame,total");
  if (!start_.complete) return Nack("no start image");
  if (!distort_ && !end_.complete) return Nack("no end image");
  std::vector<PointPair> pairs;
  std::string why;
  if (readPointFiles && !points_.empty() && !LoadPointFile(points_, pairs, why)) return Nack(why);
  frameReady_ = false;
  frame_ = distort_ ? DistortFrame(start_.picture, pairs, n, m)
                    : TransitionFrame(start_.picture, end_.picture, pairs, n, m);
  frameReady_ = true;
  return Ack();
}

Reply Session::Request(std::string_view text) {
  if (!wire::CommandIs(text, "Result ")) return Nack("unknown request \"" + Shown(text) + "\"");
  if (!frameReady_) return Nack("no frame computed");
  long y = 0;
  if (!ParseLong(AfterWord(text, 7), y) || y < 0 || y >= frame_.height)
    return Nack("row outside 0.." + std::to_string(frame_.height - 1));
  const std::size_t rowBytes = static_cast<std::size_t>(frame_.width) * 4;
  std::string data(wire::kCommandBytes + rowBytes, '\0');
  std::memcpy(data.data(), text.data(), std::min(text.size(), wire::kCommandBytes - 1));
  std::memcpy(data.data() + wire::kCommandBytes, &frame_.rgba[static_cast<std::size_t>(y) * rowBytes], rowBytes);
  return Ack(std::move(data));
}

}  // namespace zelvane
