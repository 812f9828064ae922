// pixqv-cli film: image files assembled into a film strip file, one frame
// each, fitted and centred as the film strip places every picture.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "app/program.h"
#include "base/messages.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "formats/image_files.h"
#include "store/image_record.h"

namespace qv::cli {
namespace {

constexpr const char* kName = "film";
constexpr int kMessageOneFrame = 32;

constexpr std::string_view kFilmUsage =
    "usage: pixqv-cli film OUT.FLM IMAGE... [--size WxH] [--background R,G,B]\n"
    "\n"
    "Makes a film strip file of the images, one frame each in the order given.\n"
    "Each image is fitted into the frame keeping its shape as shown (its size\n"
    "over its resolutions), centred, sampled by nearest pixel; the margins take\n"
    "the background colour. OUT is replaced when the film is complete.\n"
    "\n"
    "  --size WxH            the frame size, each side 1 to 1024 (default 96x72)\n"
    "  --background R,G,B    the margins' colour, each 0 to 255 (default 0,0,0)\n"
    "\n"
    "A film has 2 to 4096 frames. Read a frame back with\n"
    "'pixqv-cli convert OUT.FLM frame.bmp --frame N' (frames from 1).\n"
    "exit status: 0 written, 1 an image unreadable or OUT unwritable (with the\n"
    "program's message), 2 bad usage\n";

bool ParseColour(std::string_view text, std::array<std::uint8_t, 3>& out) {
  for (int i = 0; i < 3; ++i) {
    const auto comma = text.find(',');
    if ((i < 2) != (comma != std::string_view::npos)) return false;
    int v = 0;
    if (!ParseInt(text.substr(0, comma), 0, 255, v)) return false;
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v);
    text = i < 2 ? text.substr(comma + 1) : std::string_view{};
  }
  return true;
}

int RunFilm(const std::vector<std::string_view>& args) {
  int width = kFilmDefaultWidth, height = kFilmDefaultHeight;
  std::array<std::uint8_t, 3> background{0, 0, 0};
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], kFilmMaxSide, width, height))
        return Exit(kName, kExitUsage, "--size wants WxH, each side 1 to " + std::to_string(kFilmMaxSide));
    } else if (a == "--background" && hasValue) {
      if (!ParseColour(args[++i], background)) return Exit(kName, kExitUsage, "--background wants R,G,B, each 0 to 255");
    } else if (!a.empty() && a[0] == '-') {
      return Exit(kName, kExitUsage, "unknown option '" + std::string(a) + "' or a value missing (see --help)");
    } else {
      files.emplace_back(a);
    }
  }
  if (files.empty()) return Exit(kName, kExitUsage, "no output file named (see --help)");
  const std::string out = files.front();
  files.erase(files.begin());
  if (files.size() < 2) return Exit(kName, kExitUsage, MessageText(kMessageOneFrame) + " (give two images or more)");
  if (files.size() > static_cast<std::size_t>(kFilmMaxFrames))
    return Exit(kName, kExitUsage,
                std::to_string(files.size()) + " images; a film strip holds at most " + std::to_string(kFilmMaxFrames));

  CliHost& host = InstallHost<CliHost>(kName, isatty(STDERR_FILENO) != 0);
  if (InitImageTable() != 0) return Exit(kName, kExitFailure, "no memory for the image table");
  Prefs().filmWidth = width;
  Prefs().filmHeight = height;
  Film().background = background;
  if (ChangeFrameCount(static_cast<int>(files.size())) != 0 || EnsureFilm() != 0)
    return Exit(kName, kExitFailure, "no memory for the film: " + host.Flush(true));
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::string path = files[i];
    ImageRecord* image = LoadImageFile(nullptr, path);
    if (!image) return Exit(kName, kExitFailure, "cannot read " + files[i] + ": " + host.Flush(true));
    const int placed = PlaceImage(*image, static_cast<long>(i));
    FreeImage(image);
    if (placed != 0) return Exit(kName, kExitFailure, "cannot place " + files[i] + ": " + host.Flush(true));
  }
  if (SaveFilmStrip(out) != 0) return Exit(kName, kExitFailure, "cannot write " + out + ": " + host.Flush(true));
  host.Flush(false);
  return 0;
}

}  // namespace

Command FilmCommand() { return {kName, "assemble image files into a film strip file (.FLM)", kFilmUsage, RunFilm}; }

}  // namespace qv::cli
