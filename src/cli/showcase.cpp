// pixqv-cli showcase: what ./run shows where there is no display. A tour of
// the image store with the log on, then the sample picture taken through a
// few effects confined to areas, and through two display modes, each result
// written as a bitmap file.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "app/program.h"
#include "base/messages.h"
#include "cli/area_args.h"
#include "cli/cli_commands.h"
#include "display/render_state.h"
#include "formats/save_choices.h"
#include "ops/apply.h"
#include "ops/op_catalogue.h"
#include "store/image_record.h"
#include "store/memory_places.h"
#include "store/sample_picture.h"
#include "store/undo.h"

namespace qv::cli {
namespace {

constexpr std::string_view kShowcaseUsage =
    "usage: pixqv-cli showcase [--dir DIR] [--quiet]\n"
    "\n"
    "Runs a short tour of the engine with the log file on: creates a new image\n"
    "from the New Image settings and a gradient, clones them, lists the image\n"
    "table and removes an image. Then it makes the sample picture and applies\n"
    "effects to it through the apply pipeline, each confined to an area\n"
    "(Contrast in an ellipse, Colorize in a polygon, Monochrome in a colour-wand\n"
    "area, Key to Alpha by key colour, Brightness through text when a font is\n"
    "installed), renders it in 16 colours and in black and white, and writes\n"
    "each picture into DIR as a bitmap, one line per file. Last come the memory\n"
    "reports; the log QVLOG.txt, also in DIR, is printed at the end.\n"
    "\n"
    "  --dir DIR   work (and write QVLOG.txt and the pictures) in DIR (default: out)\n"
    "  --quiet     do not print the log at the end\n";

void PrintImage(int index, const ImageRecord* image) {
  std::printf("  [%d] %-22s %5d x %-5d %-5s %2u bit  dpi %d/%d x %d/%d  parent %s\n", index, image->name,
              image->width, image->height, image->format, image->bitDepth, image->dpiXNum, image->dpiXDen,
              image->dpiYNum, image->dpiYDen, image->parent ? image->parent->name : "(none)");
}

void PrintTable(const char* heading) {
  std::printf("%s (%d image%s):\n", heading, ImageCount(), ImageCount() == 1 ? "" : "s");
  for (int i = 0; i < ImageCount(); ++i) PrintImage(i, ImageAt(i));
}

// A picture worth cloning: red across, green down, blue on the diagonal.
ImageRecord* MakeGradient(int width, int height) {
  ImageRecord* image = CreateImage(width, height, "inew");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    return nullptr;
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
      p[2] = static_cast<std::uint8_t>((x + y) * 255 / std::max(1, width + height - 2));
    }
  UnlockImage(image);
  std::snprintf(image->name, sizeof image->name, "gradient");
  std::snprintf(image->format, sizeof image->format, "new");
  image->bitDepth = 24;
  return image;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "pixqv-cli showcase: %s\n", what.c_str());
  return 1;
}

// One effect on a fresh sample picture.
struct EffectStep {
  std::string file;
  std::string op;
  std::vector<std::string> sets;
  std::vector<std::string> area;  // area options as on the command line
  std::string what;               // for the line that reports the file
  bool keepAlpha = false;         // written with its alpha plane
  bool optional = false;          // a missing font skips it instead of failing
};

std::vector<EffectStep> EffectSteps(const SampleLayout& l) {
  auto n = [](int v) { return std::to_string(v); };
  const int w = l.width, h = l.height, r = l.wheelRadius;
  const int bx = (l.blockLeft + l.blockRight) / 2, by = (l.blockTop + l.blockBottom) / 2;
  const std::string key = n(kSampleDiamondColour[0]) + "," + n(kSampleDiamondColour[1]) + "," +
                          n(kSampleDiamondColour[2]) + ",8,8,8";
  const std::string pentagon = n(l.wheelX - r - 12) + "," + n(l.wheelY - r / 3) + "," + n(l.wheelX - r / 4) + "," +
                               n(l.wheelY - r - 16) + "," + n(l.wheelX + r + 30) + "," + n(l.wheelY - r / 2) + "," +
                               n(l.wheelX + r / 2) + "," + n(l.wheelY + r + 20) + "," + n(l.wheelX - r) + "," +
                               n(l.wheelY + r / 2);
  return {
      {"contrast-ellipse.bmp", "Contrast", {"Amount=70"}, {"--area", "ellipse:" + n(w / 2) + "," + n(l.horizon) + "," +
                                                                     n(w * 3 / 10) + "," + n(h / 5)},
       "Contrast 70 in an ellipse"},
      {"colorize-polygon.bmp", "Colorize", {"Hue=280", "Saturation=70"}, {"--area", "polygon:" + pentagon},
       "Colorize to hue 280 in a polygon"},
      {"monochrome-wand.bmp", "Monochrome", {}, {"--area", "wand:" + n(bx) + "," + n(by)},
       "Monochrome in the colour-wand area of the blue block"},
      {"keyalpha-diamond.bmp", "Key to Alpha", {}, {"--area", "entire", "--key", key},
       "Key to Alpha on the magenta diamond's colour", true},
      {"brightness-text.bmp", "Brightness", {"Amount=80"},
       {"--area", "text:" + n(w * 5 / 100) + "," + n(h * 75 / 100) + ",Q/v", "--points", n(h / 5)},
       "Brightness 80 through the text \"Q/v\"", false, true},
  };
}

// The operation through the apply pipeline on a fresh sample, confined by the
// area as the program builds it, then saved. Fills why on failure.
int RunEffect(const EffectStep& step, std::string& why) {
  const OpId op = OpNamed(step.op);
  if (op == 0) {
    why = "no operation " + step.op;
    return 1;
  }
  std::vector<std::string_view> args(step.area.begin(), step.area.end());
  AreaOptions options;
  if (!TakeAreaOptions(args, options, why)) return 1;
  TheProgram().ops.current = op;
  for (const std::string& s : step.sets)
    if (!SetParameter(op, s, why)) return 1;

  ImageRecord* image = MakeSamplePicture();
  if (!image || AddImage(image, false) != 0) {
    why = "no memory for the sample picture";
    return 1;
  }
  TheProgram().images.currentAction = image;
  int result = 0;
  if (FinishCommandLineSelection(image, options) != 0) {
    why = "the area could not be built";
    result = 1;
  } else if (Apply(static_cast<int>(op), 0) != 0) {
    why = step.op + " did not apply";
    result = 1;
  } else if (SaveImageFile(image, step.file, kSaveBitmap, step.keepAlpha ? kDepthAlpha : kDepth24, 0, 75) != 0) {
    why = "cannot write " + step.file;
    result = 1;
  }
  image->changed = 0;
  RemoveImage(image);
  return result;
}

int SampleTour(const std::string& dir) {
  const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  std::printf("\nThe sample picture and some effects:\n");
  ImageRecord* sample = MakeSamplePicture();
  if (!sample) return Fail("no memory for the sample picture");
  const SampleLayout layout = SampleLayoutFor(sample->width, sample->height);
  if (SaveImageFile(sample, "sample.bmp", kSaveBitmap, kDepthAlpha, 0, 75) != 0) {
    FreeImage(sample);
    return Fail("cannot write sample.bmp");
  }
  std::printf("  wrote %ssample.bmp  (%d x %d, 32-bit with alpha: the sample picture)\n", prefix.c_str(),
              sample->width, sample->height);

  // Nobody undoes the tour, and the undo stack would only hold copies.
  SetUndoLevels(TheProgram().undo.levels, 0);
  SetWorkMethod(kDrawFirst);
  for (const EffectStep& step : EffectSteps(layout)) {
    std::string why;
    if (RunEffect(step, why) != 0) {
      if (!step.optional) {
        FreeImage(sample);
        return Fail(step.file + ": " + why);
      }
      std::printf("  skipped %s%s  (%s: %s)\n", prefix.c_str(), step.file.c_str(), step.what.c_str(), why.c_str());
      continue;
    }
    std::printf("  wrote %s%s  (%s)\n", prefix.c_str(), step.file.c_str(), step.what.c_str());
  }

  struct Rendering {
    const char* file;
    int mode;
    const char* what;
  };
  for (const Rendering& r : {Rendering{"render-16colour.bmp", kModeColour16, "display mode 3, 16 Color, 4-bit"},
                             Rendering{"render-2level.bmp", kModeBlackWhite, "display mode 5, 2 level B + W, 1-bit"}}) {
    RenderRequest request;
    request.mode = r.mode;
    std::string why;
    if (WriteRenderedBitmap(sample, request, r.file, why) != 0) {
      FreeImage(sample);
      return Fail(std::string(r.file) + ": " + why);
    }
    std::printf("  wrote %s%s  (the sample as a view shows it in %s)\n", prefix.c_str(), r.file, r.what);
  }
  FreeImage(sample);
  return 0;
}

int RunShowcase(const std::vector<std::string_view>& args) {
  bool quiet = false;
  std::string dir = "out";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quiet") {
      quiet = true;
    } else if (args[i] == "--dir" && i + 1 < args.size()) {
      dir = std::string(args[++i]);
    } else {
      std::string bad(args[i]);
      std::fprintf(stderr, "pixqv-cli showcase: unknown argument '%s' (see --help)\n", bad.c_str());
      return 2;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::filesystem::current_path(dir, ec);
  if (ec) return Fail("cannot work in " + dir + ": " + ec.message());

  OpenLog(true);
  if (!LogIsOpen()) return Fail("cannot create QVLOG.txt in " + dir);
  std::printf("Pixanta: Q/v %s showcase, log in %s\n\n", QV_VERSION,
              (std::filesystem::current_path() / kLogFileName).string().c_str());

  if (InitImageTable() != 0) return Fail("no memory for the image table");
  NewImageDetails details = ProposeNewImage();
  if (CreateNewImage(details) != 0) return Fail("could not create the new image");

  ImageRecord* gradient = MakeGradient(640, 480);
  if (!gradient || AddImage(gradient, true) != 0) return Fail("could not create the gradient");

  ImageRecord* clone = CloneImage(gradient, true);
  ImageRecord* longName = CreateImage(64, 48, "inew");
  if (!clone || !longName) return Fail("could not clone");
  std::snprintf(longName->name, sizeof longName->name, "thirteen_char");
  std::snprintf(longName->format, sizeof longName->format, "new");
  longName->bitDepth = 24;
  AddImage(longName, true);
  if (!CloneImage(longName, true)) return Fail("could not clone");

  PrintTable("Image table");

  LockImage(clone);
  const std::uint8_t* corner = PixelAt(clone, clone->width - 1, clone->height - 1);
  std::printf("\nClone pixel (%d, %d) = R %u G %u B %u A %u; default palette 31 = (%u, %u, %u), 244 = (%u, %u, %u)\n",
              clone->width - 1, clone->height - 1, corner[0], corner[1], corner[2], corner[3], clone->red[31],
              clone->green[31], clone->blue[31], clone->red[244], clone->green[244], clone->blue[244]);
  UnlockImage(clone);

  MemoryReport();
  RemoveImage(gradient);
  std::printf("\nAfter closing \"gradient\": current image is \"%s\"\n",
              TheProgram().images.current ? TheProgram().images.current->name : "(none)");
  PrintTable("Image table");

  const MemoryPlaces& m = TheProgram().memory;
  std::printf("\nMemory: %d places in use (max %d), %lld bytes real, %lld bytes virtual\n", m.placesInUse,
              m.placesMax, static_cast<long long>(m.realTotal), static_cast<long long>(m.virtualTotal));

  if (int result = SampleTour(dir); result != 0) return result;

  while (ImageCount() > 0) RemoveImage(ImageAt(ImageCount() - 1));
  MemoryCloseReport();
  FreeAllPlaces();
  CloseLog();

  if (!quiet) {
    std::ifstream log(kLogFileName);
    std::printf("\n---- %s ----\n", kLogFileName);
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

}  // namespace

Command ShowcaseCommand() {
  return {"showcase", "tour of the engine and the sample picture (what ./run shows headless)", kShowcaseUsage,
          RunShowcase};
}

}  // namespace qv::cli
