// pixqv-cli mask: the finished area mask of an image as a binary PGM, so that
// selections can be looked at and compared without a display.
#include <cstdio>
#include <string>
#include <vector>

#include "app/program.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "cli/area_args.h"
#include "cli/cli_commands.h"
#include "formats/byte_io.h"
#include "formats/image_files.h"
#include "store/image_record.h"

namespace qv::cli {
namespace {

const std::string kMaskUsage = std::string(
    "usage: pixqv-cli mask IMAGE [OUT.pgm] --area SPEC [area options]\n"
    "                      [--save-area OUT.ASF] [--save-ishape OUT.ISH]\n"
    "\n"
    "Builds the area mask of IMAGE as the program does when you draw the area\n"
    "(combination, exclusion, colour key, transparency, splatter), limited by\n"
    "the image's alpha as \"Mask with Alpha\" limits it for most operations, and\n"
    "writes it as a binary PGM of the image's size: 0 outside, 255 inside, values\n"
    "between for partial effect. IMAGE may be WxH for a blank opaque image of\n"
    "that size.\n"
    "\n"
    "  --save-area OUT.ASF    the selection as an area file, as the program saves it\n"
    "  --save-ishape OUT.ISH  the outline (freehand, polygon, ishape) as an I-shape\n"
    "At least one of OUT.pgm, --save-area and --save-ishape is wanted.\n"
    "\n") + std::string(kAreaOptionsHelp);

int Fail(const std::string& why) {
  std::fprintf(stderr, "pixqv-cli mask: %s\n", why.c_str());
  return 1;
}

// "640x480" gives a blank opaque image of that size.
ImageRecord* BlankOfSize(const std::string& text) {
  int w = 0, h = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X')) return nullptr;
  if (w < 1 || h < 1 || std::int64_t{w} * h > kMaxImagePixels) return nullptr;
  return CreateImage(w, h, "inew");
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "pixqv-cli mask: %s\n", why.c_str());
  return 2;
}

// --save-area and --save-ishape, taken out of args.
bool TakeSaveOptions(std::vector<std::string_view>& args, std::string& area, std::string& shape, std::string& error) {
  std::vector<std::string_view> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--save-area" && args[i] != "--save-ishape") {
      rest.push_back(args[i]);
      continue;
    }
    if (i + 1 >= args.size()) {
      error = std::string(args[i]) + " needs a file name";
      return false;
    }
    std::string& into = args[i] == "--save-area" ? area : shape;
    into = std::string(args[++i]);
  }
  args = std::move(rest);
  return true;
}

}  // namespace

int RunMask(const std::vector<std::string_view>& input) {
  std::vector<std::string_view> args = input;
  AreaOptions options;
  std::string error;
  if (!TakeAreaOptions(args, options, error)) return Fail(error);
  std::string saveArea, saveShape;
  if (!TakeSaveOptions(args, saveArea, saveShape, error)) return Usage(error);
  if (args.empty() || args.size() > 2 || (args.size() == 1 && saveArea.empty() && saveShape.empty()))
    return Usage("wants IMAGE and at least one of OUT.pgm, --save-area, --save-ishape (see --help)");
  if (options.areas.empty()) return Fail("no --area given (see --help)");

  std::string source(args[0]);
  ImageRecord* image = BlankOfSize(source);
  if (!image) image = LoadImageFile(nullptr, source);
  if (!image) return Fail("cannot read " + source);
  if (BuildCommandLineMask(image, options) != 0) return Fail("the area could not be built");
  if (!saveArea.empty() && SaveAreaFile(saveArea) != 0) return Fail("cannot write " + saveArea);
  if (!saveShape.empty()) {
    const int saved = SaveIShape(saveShape);
    if (saved == 2) return Fail("the area has no outline points to keep as an I-shape");
    if (saved != 0) return Fail("cannot write " + saveShape);
  }
  if (args.size() == 1) return 0;

  const AreaMask& mask = TheProgram().area.mask;
  auto* bytes = static_cast<std::uint8_t*>(LockVirtual(mask.place));
  if (!bytes) return Fail("no mask");
  // What an operation without an exemption sees; the selection itself keeps
  // no alpha (the apply limits it per operation).
  if (AlphaLimitsMask(image, AlphaMaskRule{}) && LockImage(image) == 0) {
    LimitMaskByAlpha(bytes, image, 0, 0, image->width - 1, image->height - 1);
    UnlockImage(image);
  }
  std::string header = "P5\n" + std::to_string(mask.width) + " " + std::to_string(mask.height) + "\n255\n";
  std::vector<std::uint8_t> file(header.begin(), header.end());
  file.insert(file.end(), bytes, bytes + static_cast<std::size_t>(mask.width) * mask.height);
  UnlockVirtual(mask.place);
  if (WriteFileSafely(std::string(args[1]), file) != 0) return Fail("cannot write " + std::string(args[1]));
  return 0;
}

Command MaskCommand() { return {"mask", "write the area mask of an image as a PGM", kMaskUsage, RunMask}; }

}  // namespace qv::cli
