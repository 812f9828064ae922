#include "cli/cli_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "app/messages.h"
#include "app/program.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv::cli {
namespace {

constexpr std::string_view kShowcaseUsage =
    "usage: pixqv-cli showcase [--dir DIR] [--quiet]\n"
    "\n"
    "Runs a short tour of the engine with the log file on: creates a new image\n"
    "from the New Image settings and a gradient, clones them, lists the image\n"
    "table, removes an image and writes the memory reports. The log QVLOG.txt\n"
    "is created in DIR (default: the current directory) and printed at the end.\n"
    "\n"
    "  --dir DIR   work (and write QVLOG.txt) in DIR\n"
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

int Fail(const char* what) {
  std::fprintf(stderr, "pixqv-cli showcase: %s\n", what);
  return 1;
}

}  // namespace

int RunShowcase(const std::vector<std::string_view>& args) {
  bool quiet = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quiet") {
      quiet = true;
    } else if (args[i] == "--dir" && i + 1 < args.size()) {
      std::error_code ec;
      std::filesystem::path dir(args[++i]);
      std::filesystem::create_directories(dir, ec);
      std::filesystem::current_path(dir, ec);
      if (ec) return Fail(("cannot work in " + dir.string() + ": " + ec.message()).c_str());
    } else {
      std::string bad(args[i]);
      std::fprintf(stderr, "pixqv-cli showcase: unknown argument '%s' (see --help)\n", bad.c_str());
      return 2;
    }
  }

  OpenLog(true);
  if (!LogIsOpen()) return Fail("cannot create QVLOG.txt in the current directory");
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

constexpr std::string_view kInfoUsage =
    "usage: pixqv-cli info FILE...\n"
    "\n"
    "Reads each image file and prints its file type, format, size, bit depth,\n"
    "alpha, resolution, annotation and first header bytes. Exits 1 when any\n"
    "file could not be read.\n";

constexpr std::string_view kConvertUsage =
    "usage: pixqv-cli convert IN OUT [--type T] [--depth N] [--compress 0|1] [--quality Q] [--chopmem]\n"
    "\n"
    "Reads IN (any type the program reads) and writes OUT.\n"
    "\n"
    "  --type T       bmp, tif, jpg, ... (default: from OUT's extension)\n"
    "  --depth N      32, 24, 16, 8, 4 or 1, as the type offers (default: the saved choice)\n"
    "  --compress B   1 to compress where the type allows it (TIFF: LZW, with --chopmem)\n"
    "  --quality Q    JPEG quality, 0 to 100 (default 75)\n"
    "  --chopmem      allow the LZW-based features (GIF, LZW-compressed TIFF)\n";

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"showcase", "tour of the engine with the log on (what ./run shows headless)", kShowcaseUsage, RunShowcase},
      OpsCommand(),
      MaskCommand(),
      {"info", "type, size, depth and format of image files", kInfoUsage, RunInfo},
      {"convert", "read an image file and write it in another type or depth", kConvertUsage, RunConvert},
  };
  return commands;
}

const Command* FindCommand(std::string_view name) {
  for (const auto& c : Commands())
    if (c.name == name) return &c;
  return nullptr;
}

std::string_view SuggestCommand(std::string_view name) {
  auto distance = [](std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diag = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        std::size_t up = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] != b[j - 1])});
        diag = up;
      }
    }
    return row[b.size()];
  };
  std::string_view best;
  std::size_t bestDistance = 3;  // farther than this is no longer a typo
  for (const auto& c : Commands()) {
    std::size_t d = distance(name, c.name);
    if (d < bestDistance) {
      bestDistance = d;
      best = c.name;
    }
  }
  return best;
}

}  // namespace qv::cli
