#include "frame_command.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/program.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "morph.h"
#include "store/image_record.h"

namespace {

int Usage(const std::string& why) {
  std::fprintf(stderr, "zelvane frame: %s (see zelvane --help)\n", why.c_str());
  return 2;
}
int Fail(const std::string& why) {
  std::fprintf(stderr, "zelvane frame: %s\n", why.c_str());
  return 1;
}

bool ParseLong(std::string_view s, long& v) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc{} && end == s.data() + s.size();
}

bool Load(std::string path, zelvane::Picture& p, std::string& why) {
  qv::ImageRecord* image = qv::LoadImageFile(nullptr, path);
  if (!image || qv::LockImage(image) != 0) {
    why = "cannot read " + path;
    return false;
  }
  p.width = image->width;
  p.height = image->height;
  p.rgba.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 4);
  for (int y = 0; y < p.height; ++y)
    std::memcpy(&p.rgba[static_cast<std::size_t>(y) * p.width * 4], qv::PixelAt(image, 0, y), static_cast<std::size_t>(p.width) * 4);
  qv::UnlockImage(image);
  qv::FreeImage(image);
  return true;
}

}  // namespace

int RunFrameCommand(const std::vector<std::string_view>& args) {
  std::string start, end, points, out;
  long n = 0, m = 0;
  bool hasFrame = false, hasTotal = false;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    const std::string_view a = args[i];
    if (a == "--end" && hasValue) {
      end = args[++i];
    } else if (a == "--point-file" && hasValue) {
      points = args[++i];
    } else if (a == "--frame" && hasValue) {
      if (!ParseLong(args[++i], n)) return Usage("--frame wants a number");
      hasFrame = true;
    } else if (a == "--total" && hasValue) {
      if (!ParseLong(args[++i], m)) return Usage("--total wants a number");
      hasTotal = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option '" + std::string(a) + "'");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 2) return Usage("wants START and OUT");
  if (points.empty() || !hasFrame || !hasTotal) return Usage("--point-file, --frame and --total are required");
  start = files[0];
  out = files[1];
  const int type = qv::SaveTypeOfPath(out);
  if (type < 0) return Usage("cannot tell the output type from '" + out + "'");

  if (qv::InitImageTable() != 0) return Fail("no memory for the image table");
  std::string why;
  std::vector<zelvane::PointPair> pairs;
  if (!zelvane::LoadPointFile(points, pairs, why)) return Fail(why);
  zelvane::Picture s, e;
  if (!Load(start, s, why)) return Fail(why);
  if (!end.empty() && !Load(end, e, why)) return Fail(why);
  const zelvane::Picture f = end.empty() ? zelvane::DistortFrame(s, pairs, n, m) : zelvane::TransitionFrame(s, e, pairs, n, m);

  qv::ImageRecord* image = qv::CreateLockedImage(f.width, f.height, "zfrm");
  if (!image) return Fail("no memory for the frame");
  for (int y = 0; y < f.height; ++y)
    std::memcpy(qv::PixelAt(image, 0, y), &f.rgba[static_cast<std::size_t>(y) * f.width * 4], static_cast<std::size_t>(f.width) * 4);
  std::snprintf(image->name, sizeof image->name, "%s", out.c_str());
  // As pixqv-cli writes an image: 24 bits where the type has them.
  const auto offered = qv::OfferedDepths(type);
  const bool plain = std::find(offered.begin(), offered.end(), qv::kDepth24) != offered.end();
  const int saved = qv::SaveImageFile(image, out, type, plain ? qv::kDepth24 : qv::kDepthAlpha, 1, 75);
  qv::UnlockImage(image);
  if (saved != 0) return Fail("cannot write " + out);
  return 0;
}
