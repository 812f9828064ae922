// pixqv-cli capture: the screen written to numbered image files, as the
// desktop program's "Capture to File" writes them, without its settings.
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "anim/sequence.h"
#include "app/program.h"
#include "capture/capture.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "formats/save_choices.h"
#include "store/image_record.h"
#ifndef QV_NO_SCREEN_GRABBER
#include <dlfcn.h>
#include <unistd.h>

#include "cli/screen/screen_module.h"
#endif

namespace qv::cli {
namespace {

constexpr const char* kName = "capture";

constexpr std::string_view kCaptureUsage =
    "usage: pixqv-cli capture DIR/NAME.EXT [--delay S] [--count N] [--counter C]\n"
    "           [--type T] [--depth N] [--compress 0|1] [--quality Q] [--replace]\n"
    "\n"
    "Captures the whole primary screen of the X11 display named by DISPLAY and\n"
    "writes it as DIR/NAME0001.EXT (the number is the counter, given four digits\n"
    "at least). Each file written prints \"wrote PATH (WxH, D-bit)\". No setting\n"
    "of the desktop program is read or changed.\n"
    "\n"
    "  --delay S       seconds to wait before each capture, 0 to 20 (default 0)\n"
    "  --count N       captures to take, each with the next number (default 1)\n"
    "  --counter C     the number of the first file, 0 to 99999999 (default 1)\n"
    "  --type T        bmp, gif, iff, jpg, pcx, tga, tif, trm, fs, png (default: from\n"
    "                  the extension, with its usual depth: 24 bits for BMP, IFF,\n"
    "                  TIF, TRM; 8 for GIF and PCX; lossy for JPG; 24/32 for TGA)\n"
    "  --depth N       bit depth (32, 24, 16, 8, 4, 1 as the type offers)\n"
    "  --compress B    1 to compress where the type allows it (default 1)\n"
    "  --quality Q     JPEG quality, 0 to 100 (default 75)\n"
    "  --replace       replace existing files (else they are refused, message 91)\n"
    "\n"
    "Capture needs X11: without DISPLAY, or with Wayland alone, it fails at once.\n"
    "exit status: 0 every capture written, 1 no display, or a capture failed or\n"
    "was skipped (the files written before stay), 2 bad usage\n";

#ifndef QV_NO_SCREEN_GRABBER
// The screen module, from the program's own folder. It is never closed: Qt
// leaves exit handlers behind that must still find their code.
struct ScreenModule {
  QvScreenProblemFn problem = nullptr;
  QvScreenOpenFn open = nullptr;
  QvScreenCloseFn close = nullptr;
  QvScreenGrabFn grab = nullptr;
  std::string error;

  ScreenModule() {
    std::string path = kScreenModuleFile;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
      const std::string exe(self, static_cast<std::size_t>(n));
      const std::size_t slash = exe.rfind('/');
      if (slash != std::string::npos) path = exe.substr(0, slash + 1) + kScreenModuleFile;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
      const char* why = dlerror();
      error = "cannot load the screen grabber " + path + (why ? std::string(": ") + why : std::string());
      return;
    }
    problem = reinterpret_cast<QvScreenProblemFn>(dlsym(handle, "QvScreenProblem"));
    open = reinterpret_cast<QvScreenOpenFn>(dlsym(handle, "QvScreenOpen"));
    close = reinterpret_cast<QvScreenCloseFn>(dlsym(handle, "QvScreenClose"));
    grab = reinterpret_cast<QvScreenGrabFn>(dlsym(handle, "QvScreenGrab"));
    if (!problem || !open || !close || !grab) error = "the screen grabber " + path + " lacks its entry points";
  }
};

// Qt's side of the screen, kept while the captures are taken.
class ScreenConnection {
 public:
  explicit ScreenConnection(const ScreenModule& module) : close_(module.close), connection_(module.open()) {}
  ~ScreenConnection() { close_(connection_); }
  ScreenConnection(const ScreenConnection&) = delete;
  ScreenConnection& operator=(const ScreenConnection&) = delete;

 private:
  QvScreenCloseFn close_;
  void* connection_;
};

// The command's host reads the screen through the module.
class CaptureHost : public CliHost {
 public:
  using CliHost::CliHost;
  QvScreenGrabFn grab = nullptr;
  ScreenPixels GrabScreen() override {
    ScreenPixels pixels;
    grab(&pixels);
    return pixels;
  }
};
#endif

int Usage(const std::string& why) { return Exit(kName, kExitUsage, why); }

int Run(const std::vector<std::string_view>& args) {
  std::string out;
  int delay = 0, count = 1, counter = 1, bits = 0, compress = 1, quality = 75;
  int type = -1;
  bool replace = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--delay" && hasValue) {
      if (!ParseInt(args[++i], 0, kCaptureMaxDelay, delay)) return Usage("--delay wants 0 to 20 seconds");
    } else if (a == "--count" && hasValue) {
      if (!ParseInt(args[++i], 1, 100000, count)) return Usage("--count wants 1 to 100000");
    } else if (a == "--counter" && hasValue) {
      if (!ParseInt(args[++i], 0, kCaptureMaxCounter, counter)) return Usage("--counter wants 0 to 99999999");
    } else if (a == "--type" && hasValue) {
      type = TypeNamed(args[++i]);
      if (type < 0) return Usage("unknown type '" + std::string(args[i]) + "'");
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(args[++i], 1, 32, bits)) return Usage("--depth wants 32, 24, 16, 8, 4 or 1");
    } else if (a == "--compress" && hasValue) {
      if (!ParseInt(args[++i], 0, 1, compress)) return Usage("--compress wants 0 or 1");
    } else if (a == "--quality" && hasValue) {
      if (!ParseInt(args[++i], 0, 100, quality)) return Usage("--quality wants 0 to 100");
    } else if (a == "--replace") {
      replace = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage("unknown option '" + std::string(a) + "' or a value missing (see --help)");
    } else if (out.empty()) {
      out = std::string(a);
    } else {
      return Usage("wants one output name (see --help)");
    }
  }
  if (out.empty()) return Usage("no output name (see --help)");

  CaptureRequest r;
  r.inMemory = false;
  r.replace = replace;
  r.counter = counter;
  r.compress = compress;
  r.quality = quality;
  SplitOutputPath(out, r.pathAndName, r.extension);
  // Without --type the extension names the type; without --depth the type's
  // usual depth, as the capture dialog takes an extension typed.
  if (type < 0) {
    const auto choice = ExtensionChoice(r.extension);
    type = choice ? choice->type : TypeNamed(r.extension);
  }
  if (type < 0) return Usage("cannot tell the output type from '" + out + "'; use --type");
  if (type == kSaveFlick || type == kSaveAvi)
    return Usage(std::string(SaveTypeName(type)) + " is an animation type; capture writes still images");
  const auto usual = ExtensionChoice(SaveTypeExtension(type));
  const int entry = bits ? DepthEntryForBits(type, bits) : usual ? usual->depthEntry : PreselectedDepth(type, 24);
  if (entry < 0) return Usage(std::to_string(bits) + "-bit is not offered for " + std::string(SaveTypeName(type)));
  r.type = type;
  r.depthEntry = entry;

#ifdef QV_NO_SCREEN_GRABBER
  return Exit(kName, kExitFailure, "this build has no screen grabber (an engine-only build)");
#else
  const ScreenModule module;
  if (!module.error.empty()) return Exit(kName, kExitFailure, module.error);
  // Asked before Qt starts: Qt ends the process when it cannot connect.
  std::string problem;
  module.problem(&problem);
  if (!problem.empty()) return Exit(kName, kExitFailure, problem);
  ScreenConnection screen(module);
  CaptureHost& host = InstallHost<CaptureHost>(kName, false);
  host.grab = module.grab;
  if (InitImageTable() != 0) return Exit(kName, kExitFailure, "no memory for the image table");
  for (int k = 0; k < count; ++k) {
    if (delay > 0) std::this_thread::sleep_for(std::chrono::seconds(delay));
    const CaptureOutcome o = CaptureScreen(r);
    r.counter = o.nextCounter;
    const std::string why = host.Flush(o.result != 0);
    if (o.result == 2) return Exit(kName, kExitFailure, o.file + " exists (use --replace): not captured");
    if (o.result != 0) {
      const std::string what = o.file.empty() ? std::string("cannot capture the screen") : "cannot write " + o.file;
      return Exit(kName, kExitFailure, what + (why.empty() ? "" : ": " + why));
    }
    std::printf("wrote %s (%dx%d, %d-bit)\n", o.file.c_str(), o.width, o.height, DepthBits(r.depthEntry, nullptr));
    std::fflush(stdout);
  }
  return 0;
#endif
}

}  // namespace

Command CaptureCommand() { return {"capture", "capture the screen into numbered image files", kCaptureUsage, Run}; }

}  // namespace qv::cli
