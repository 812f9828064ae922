// pixqv-cli render and sample: what a view window would show, written as a
// bitmap file, and the program's own sample picture.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "base/text_words.h"
#include "cli/cli_commands.h"
#include "display/render.h"
#include "formats/byte_io.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "store/image_record.h"
#include "store/sample_picture.h"

namespace qv::cli {
namespace {

constexpr int kExitUsage = 2;
// Wider or taller windows than this are no one's screen.
constexpr int kMaxClientSide = 16384;

constexpr std::string_view kRenderUsage =
    "usage: pixqv-cli render IN OUT.bmp --mode N [--size WxH] [--region L,T,R,B]\n"
    "                        [--alpha-view] [--maximised] [--alpha-back 0|1]\n"
    "\n"
    "Renders IN exactly as a view window of the given client size shows it in\n"
    "display mode N, and writes that picture as a bitmap file (the bits, palette\n"
    "and dithering of the mode, unchanged).\n"
    "\n"
    "  --mode N          0 RGB 24-bit      1 256 Color   2 256 Gray\n"
    "                    3 16 Color        4 16 Gray     5 2 level B + W\n"
    "                    6 RGB 16-bit      7 64 Gray     8 RGB 32-bit\n"
    "  --size WxH        the view's client size (default: the image's size)\n"
    "  --region L,T,R,B  show this part of the image (in image pixels), as a\n"
    "                    zoomed view does; it may reach past the image's edges\n"
    "  --alpha-view      show the alpha plane in grays (white without alpha)\n"
    "  --maximised       fit the picture into the client area keeping its shape,\n"
    "                    with margins in the off-image colour, as a maximised view;\n"
    "                    prints the region the window then covers (\"region:\n"
    "                    L,T,R,B\", the margins included), which given back as\n"
    "                    --region draws the same picture\n"
    "  --alpha-back B    1 (default) blends pixels with alpha against the alpha\n"
    "                    colour (blue) as \"Show Alpha in Views\" does; 0 shows\n"
    "                    the colours alone\n"
    "\n"
    "Exits 2 for bad arguments, 1 when IN cannot be read or OUT not written.\n";

constexpr std::string_view kSampleUsage =
    "usage: pixqv-cli sample OUT.bmp [--size WxH]\n"
    "\n"
    "Writes the program's own sample picture as a 32-bit bitmap with alpha: a\n"
    "landscape of gradients with a soft sun, a hard-edged hue wheel, a flat blue\n"
    "block with a soft shadow, a flat magenta diamond, a checkerboard, a\n"
    "transparent top-left corner and a bottom band that fades out to the right.\n"
    "The same size always gives the same file.\n"
    "\n"
    "  --size WxH   from 16x16 (default 640x480)\n";

int Usage(std::string_view command, const std::string& why) {
  std::fprintf(stderr, "pixqv-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(), why.c_str());
  return kExitUsage;
}

int Fail(std::string_view command, const std::string& why) {
  std::fprintf(stderr, "pixqv-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(), why.c_str());
  return 1;
}

// Only bitmap files are written: a name promising another type is a mistake.
bool NamesBitmap(const std::string& path) {
  auto slash = path.find_last_of('/');
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return true;
  return EqualsNoCase(std::string_view(path).substr(dot), ".bmp");
}

}  // namespace

bool ParseSize(std::string_view text, int maxSide, int& width, int& height) {
  auto x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  return ParseInt(text.substr(0, x), 1, maxSide, width) && ParseInt(text.substr(x + 1), 1, maxSide, height);
}

int WriteDibAsBitmap(std::span<const std::uint8_t> dib, const std::string& path, std::string& why) {
  DibLayout layout;
  if (!ReadDibLayout(dib, layout)) {
    why = "the rendered picture is malformed";
    return 1;
  }
  // The file is the DIB behind the 14-byte file header that says where the
  // rows start.
  std::int64_t size = 14 + static_cast<std::int64_t>(dib.size());
  std::int64_t offset = 14 + layout.pixelOffset;
  std::vector<std::uint8_t> file = {'B', 'M'};
  for (std::int64_t v : {size, std::int64_t{0}, offset})
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  file.insert(file.end(), dib.begin(), dib.end());
  if (WriteFileSafely(path, file) != 0) {
    why = "cannot write " + path;
    return 1;
  }
  return 0;
}

int WriteRenderedBitmap(ImageRecord* image, const RenderRequest& r, const std::string& path, std::string& why,
                        std::array<int, 4>* covered) {
  ViewRecord view;
  view.image = image;
  view.clientWidth = r.width > 0 ? r.width : image->width;
  view.clientHeight = r.height > 0 ? r.height : image->height;
  view.kind = r.alphaView ? kViewKindAlpha : std::uint16_t{0};
  view.placement = r.maximised ? ViewPlacement::Maximised : ViewPlacement::DocumentChild;
  if (r.region) {
    view.left = r.left, view.top = r.top, view.right = r.right, view.bottom = r.bottom;
    view.zoomKind = 1;
  } else {
    view.left = 0, view.top = 0, view.right = image->width - 1, view.bottom = image->height - 1;
    view.zoomKind = 0;
  }
  DisplayState& display = TheProgram().display;
  const int alphaBack = display.alphaBack;
  if (r.alphaBack >= 0) display.alphaBack = r.alphaBack;
  PlaceHandle dib = RenderView(image, &view, nullptr, r.mode, 0, view.clientHeight - 1);
  display.alphaBack = alphaBack;
  if (covered) *covered = {view.left, view.top, view.right, view.bottom};
  if (!dib) {
    why = "the picture could not be rendered";
    return 1;
  }
  int result = WriteDibAsBitmap(DibBytes(dib), path, why);
  FreeVirtual(dib);
  return result;
}

namespace {

int RunRender(const std::vector<std::string_view>& args) {
  constexpr std::string_view kName = "render";
  std::vector<std::string> files;
  RenderRequest request;
  bool haveMode = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--mode" || a == "--size" || a == "--region" || a == "--alpha-back") {
      if (!hasValue) return Usage(kName, std::string(a) + " needs a value (see --help)");
      std::string_view v = args[++i];
      if (a == "--mode") {
        if (!ParseInt(v, 0, kDisplayModeCount - 1, request.mode))
          return Usage(kName, "--mode wants a display mode from 0 to 8, not '" + std::string(v) + "'");
        haveMode = true;
      } else if (a == "--size") {
        if (!ParseSize(v, kMaxClientSide, request.width, request.height))
          return Usage(kName, "--size wants WxH, each from 1 to " + std::to_string(kMaxClientSide) + ", not '" +
                                  std::string(v) + "'");
      } else if (a == "--alpha-back") {
        if (!ParseInt(v, 0, 1, request.alphaBack)) return Usage(kName, "--alpha-back wants 0 or 1");
      } else {
        std::vector<int> n;
        bool ok = true;
        for (std::string_view rest = v;;) {
          auto comma = rest.find(',');
          int value = 0;
          ok = ok && ParseInt(rest.substr(0, comma), -1000000, 1000000, value);
          n.push_back(value);
          if (comma == std::string_view::npos) break;
          rest.remove_prefix(comma + 1);
        }
        if (!ok || n.size() != 4)
          return Usage(kName, "--region wants L,T,R,B in image pixels, not '" + std::string(v) + "'");
        if (n[0] > n[2] || n[1] > n[3]) return Usage(kName, "--region: left must not pass right, nor top bottom");
        request.region = true;
        request.left = n[0], request.top = n[1], request.right = n[2], request.bottom = n[3];
      }
    } else if (a == "--alpha-view") {
      request.alphaView = true;
    } else if (a == "--maximised" || a == "--maximized") {
      request.maximised = true;
    } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
      return Usage(kName, "unknown option '" + std::string(a) + "' (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 2) return Usage(kName, "wants an input image and an output bitmap (see --help)");
  if (!haveMode) return Usage(kName, "--mode is required (0 to 8, see --help)");
  if (!NamesBitmap(files[1])) return Usage(kName, "writes bitmap files only; name the output .bmp");

  if (InitImageTable() != 0) return Fail(kName, "no memory for the image table");
  ImageRecord* image = LoadImageFile(nullptr, files[0]);
  if (!image) return Fail(kName, "cannot read " + files[0]);
  std::string why;
  std::array<int, 4> covered{};
  int result = WriteRenderedBitmap(image, request, files[1], why, &covered);
  FreeImage(image);
  if (result != 0) return Fail(kName, why);
  if (request.maximised) std::printf("region: %d,%d,%d,%d\n", covered[0], covered[1], covered[2], covered[3]);
  return 0;
}

int RunSample(const std::vector<std::string_view>& args) {
  constexpr std::string_view kName = "sample";
  std::vector<std::string> files;
  int width = kSampleWidth, height = kSampleHeight;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (a == "--size") {
      if (i + 1 >= args.size()) return Usage(kName, "--size needs a value (see --help)");
      std::string_view v = args[++i];
      if (!ParseSize(v, kMaxClientSide, width, height) || width < 16 || height < 16)
        return Usage(kName, "--size wants WxH, each from 16 to " + std::to_string(kMaxClientSide) + ", not '" +
                                std::string(v) + "'");
    } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
      return Usage(kName, "unknown option '" + std::string(a) + "' (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.size() != 1) return Usage(kName, "wants one output file (see --help)");
  if (!NamesBitmap(files[0])) return Usage(kName, "writes bitmap files only; name the output .bmp");
  ImageRecord* image = MakeSamplePicture(width, height);
  if (!image) return Fail(kName, "no memory for a " + std::to_string(width) + " x " + std::to_string(height) + " picture");
  int result = SaveImageFile(image, files[0], kSaveBitmap, kDepthAlpha, 0, 75);
  FreeImage(image);
  return result == 0 ? 0 : Fail(kName, "cannot write " + files[0]);
}

}  // namespace

Command RenderCommand() {
  return {"render", "write what a view shows in a display mode as a bitmap", kRenderUsage, RunRender};
}

Command SampleCommand() {
  return {"sample", "write the program's own sample picture", kSampleUsage, RunSample};
}

}  // namespace qv::cli
