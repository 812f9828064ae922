// The exposure sheet on the command line: its cells listed (generate
// --sheet --list) and Perform/Preview of an operation over a block of its
// file cells (apply --sheet).
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "area/stored_area.h"
#include "base/string_table.h"
#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "ops/op_catalogue.h"
#include "ops/op_state.h"
#include "ops/qvs_file.h"
#include "store/undo.h"

namespace qv::cli {
namespace {

int Fail(const std::string& why) { return Exit("apply", kExitFailure, why); }
int Usage(const std::string& why) { return Exit("apply", kExitUsage, why); }

// "A" or "A-B" within 1..high.
bool ParseRange(std::string_view text, int high, int& a, int& b) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) {
    if (!ParseInt(text, 1, high, a)) return false;
    b = a;
    return true;
  }
  return ParseInt(text.substr(0, dash), 1, high, a) && ParseInt(text.substr(dash + 1), 1, high, b) && a <= b;
}

std::string CellWhat(int column, int frame) {
  const std::string status = SheetStatusText(column, frame);
  const auto colon = status.find(": ");
  return colon == std::string::npos ? status : status.substr(colon + 2);
}

}  // namespace

int ListSheet(bool json) {
  const char* kinds[4] = {"", "file", "op", "area"};
  for (int c = 0; c < SheetColumnsInUse(); ++c)
    for (int f = 0; f < SheetFrames(); ++f) {
      const std::uint16_t tag = SheetTagAt(c, f);
      if (tag == 0) continue;
      const std::string what = CellWhat(c, f);
      if (json)
        std::printf("{\"column\": %d, \"frame\": %d, \"kind\": \"%s\", \"value\": %s}\n", c + 1, f + 1, kinds[tag],
                    JsonString(what).c_str());
      else
        std::printf("F:%d A:%d %s %s\n", f + 1, c + 1, kinds[tag], what.c_str());
    }
  return 0;
}

int RunApplySheet(const std::vector<std::string_view>& args) {
  std::string sheet, opName, settings;
  std::vector<std::string_view> sets;
  std::string_view columnsText, framesText;
  int mode = 0;  // 1 perform, 2 preview
  bool replace = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--sheet" && hasValue) {
      sheet = args[++i];
    } else if (a == "--perform" || a == "--preview") {
      if (mode != 0) return Usage("--perform and --preview exclude each other");
      mode = a == "--perform" ? 1 : 2;
    } else if (a == "--op" && hasValue) {
      opName = args[++i];
    } else if (a == "--set" && hasValue) {
      sets.push_back(args[++i]);
    } else if (a == "--settings" && hasValue) {
      settings = args[++i];
    } else if (a == "--columns" && hasValue) {
      columnsText = args[++i];
    } else if (a == "--frames" && hasValue) {
      framesText = args[++i];
    } else if (a == "--replace") {
      replace = true;
    } else if (a.size() > 1 && a.front() == '-') {
      return Usage("unknown or incomplete option '" + std::string(a) + "' with --sheet (see --help)");
    } else {
      return Usage("--sheet works on the sheet's own files; no IN or OUT ('" + std::string(a) + "')");
    }
  }
  if (sheet.empty()) return Usage("--sheet wants a sheet file");
  if (mode == 0) return Usage("--sheet wants --perform or --preview");
  if (opName.empty()) return Usage("--op is required (see 'pixqv-cli ops')");
  const OpId op = OpNamed(opName);
  if (op == 0) return Usage("no operation named '" + opName + "' (see 'pixqv-cli ops')");
  SheetBlock block{0, kSheetColumns - 1, 0, kMaxFrames - 1};
  if (!columnsText.empty() && !ParseRange(columnsText, kSheetColumns, block.firstColumn, block.lastColumn))
    return Usage("--columns wants A or A-B with 1 <= A <= B <= 200");
  if (!framesText.empty() && !ParseRange(framesText, kMaxFrames, block.firstFrame, block.lastFrame))
    return Usage("--frames wants F or F-G with 1 <= F <= G");
  if (!columnsText.empty()) --block.firstColumn, --block.lastColumn;
  if (!framesText.empty()) --block.firstFrame, --block.lastFrame;

  // One line a file, not a progress line an apply.
  CliHost& host = InstallHost<CliHost>("apply", false);
  if (InitImageTable() != 0) return Fail("no memory for the image table");
  SetUndoLevels(TheProgram().undo.levels, 0);
  if (!settings.empty() && LoadOpSettingsFile(settings) != 0) return Fail(host.Flush(true));
  TheProgram().ops.current = op;
  for (auto s : sets) {
    std::string why;
    if (!SetParameter(op, s, why)) return Usage(why);
  }
  TimeLineLoadReport report;
  if (LoadSheet(sheet, false, &report) != 0) return Fail(host.Flush(true));
  for (const std::string& w : report.warnings) std::fprintf(stderr, "pixqv-cli apply: warning: %s\n", w.c_str());

  PerformRequest request;
  request.block = block;
  request.save = mode == 1;
  request.replace = replace;
  int cells = 0;
  request.cellDone = [&cells, save = request.save](const std::string& file, bool written) {
    ++cells;
    if (save && written) std::printf("wrote %s\n", file.c_str());
    else if (!save) std::printf("previewed %s\n", file.c_str());
  };
  const int result = PerformSheet(request);
  if (result != 0) {
    std::string why = host.Flush(true);
    if (why.empty()) why = result == 2 ? "refused: the files exist (give --replace to change them)" : "stopped or failed";
    return Fail(why);
  }
  // A file that was skipped (no writer, a video) is a failure to report.
  const std::string skipped = host.Flush(true);
  if (!skipped.empty()) return Fail(skipped);
  return 0;
}

}  // namespace qv::cli
