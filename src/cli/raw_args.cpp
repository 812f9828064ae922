// The --raw-* options of convert: what "Raw Image Load" would be told for a
// headerless input. Without them the dialog's proposal is taken (and said).
#include <string>

#include "app/program.h"
#include "cli/cli_commands.h"
#include "formats/raw.h"

namespace qv::cli {
namespace {

// The largest side a RAW picture may be given here.
constexpr int kMaxRawSide = 1 << 20;

}  // namespace

int ParseRawOption(const std::vector<std::string_view>& args, std::size_t& i, std::string& why) {
  const std::string_view a = args[i];
  if (a != "--raw-size" && a != "--raw-start" && a != "--raw-layout") return 0;
  if (i + 1 >= args.size()) {
    why = std::string(a) + " wants a value";
    return -1;
  }
  const std::string_view value = args[++i];
  RawChoices& raw = TheProgram().files.raw;
  if (a == "--raw-size") {
    int width = 0, height = 0;
    if (!ParseSize(value, kMaxRawSide, width, height)) {
      why = "--raw-size wants WxH, each side 1 to " + std::to_string(kMaxRawSide);
      return -1;
    }
    if (auto* headless = dynamic_cast<HeadlessHost*>(&TheHost())) headless->SetRawSize(width, height);
  } else if (a == "--raw-start") {
    int start = 0;
    if (!ParseInt(value, 0, INT32_MAX, start)) {
      why = "--raw-start wants a byte offset, 0 or more";
      return -1;
    }
    raw.start = start;
  } else {
    static constexpr std::string_view kLayouts[kRawLayoutCount] = {"gray", "rgb", "planes", "files"};
    int layout = -1;
    for (int l = 0; l < kRawLayoutCount; ++l)
      if (value == kLayouts[l]) layout = l;
    if (layout < 0) {
      why = "--raw-layout wants gray, rgb, planes or files";
      return -1;
    }
    raw.layout = layout;
  }
  return 1;
}

}  // namespace qv::cli
