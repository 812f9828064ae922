// The subcommands of pixqv-cli, in one table.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/area_args.h"

namespace qv {
struct ImageRecord;
}

namespace qv::cli {

struct Command {
  std::string_view name;
  std::string_view summary;
  std::string_view usage;  // full --help text of the subcommand
  int (*run)(const std::vector<std::string_view>& args);
};

const std::vector<Command>& Commands();
const Command* FindCommand(std::string_view name);
// The known name closest to a mistyped one, or empty.
std::string_view SuggestCommand(std::string_view name);

Command ShowcaseCommand();  // showcase.cpp
Command OpsCommand();   // ops_command.cpp
// A JSON string: the text quoted, with quotes, backslashes and control
// characters escaped (ops_command.cpp).
std::string JsonString(std::string_view text);
Command TimeLineCommand();  // timeline_command.cpp
Command MaskCommand();  // mask_command.cpp
Command FilmCommand();  // film_command.cpp
Command ProjectCommand();  // project_command.cpp
Command CaptureCommand();  // capture_command.cpp
int RunInfo(const std::vector<std::string_view>& args);     // file_commands.cpp
int RunConvert(const std::vector<std::string_view>& args);  // file_commands.cpp
// The save type named like an extension ("bmp"), -1 when none; the depth
// entry of a type for a bit count, -1 when the type does not offer it.
int TypeNamed(std::string_view name);          // file_commands.cpp
int DepthEntryForBits(int type, int bits);     // file_commands.cpp
// A whole number within [low, high]; false for anything else.
bool ParseInt(std::string_view text, long low, long high, int& out);  // file_commands.cpp
Command ApplyCommand();                        // apply_command.cpp
Command GenerateFramesCommand();               // generate_command.cpp
// sheet_command.cpp: apply --sheet (Perform/Preview over a sheet's file
// cells) and generate --sheet --list (the sheet's cells).
int RunApplySheet(const std::vector<std::string_view>& args);
int ListSheet(bool json);
// raw_args.cpp: a --raw-size, --raw-start or --raw-layout option at args[i]
// (i then at its value): 1 taken, 0 not one of them, -1 bad (why says).
int ParseRawOption(const std::vector<std::string_view>& args, std::size_t& i, std::string& why);

// The steps of one apply, shared by apply and the showcase (apply_command.cpp).
// The operation by name (any case) or id; 0 when there is none.
std::uint32_t OpNamed(std::string_view name);
// "Label=value" sets a parameter of the operation, clamped to its dial.
bool SetParameter(std::uint32_t op, std::string_view assignment, std::string& why);

// render_command.cpp
Command RenderCommand();
Command SampleCommand();
// "WxH", each side from 1 to maxSide.
bool ParseSize(std::string_view text, int maxSide, int& width, int& height);
// What one view shows: its client size (0: the image's), region, kind and
// placement, and the display mode.
struct RenderRequest {
  int mode = 0;
  int width = 0, height = 0;
  bool region = false;
  int left = 0, top = 0, right = 0, bottom = 0;
  bool alphaView = false;
  bool maximised = false;
  int alphaBack = -1;  // 0 or 1 overrides "Show Alpha in Views" for this render
};
// Renders the image as that view would and writes the DIB as a bitmap file
// (atomically). 0 done, 1 with the reason in why. `covered` receives the
// view's region after the render (left, top, right, bottom): a fitted view's
// is widened over its margins.
int WriteRenderedBitmap(ImageRecord* image, const RenderRequest& request, const std::string& path, std::string& why,
                        std::array<int, 4>* covered = nullptr);
int WriteDibAsBitmap(std::span<const std::uint8_t> dib, const std::string& path, std::string& why);

}  // namespace qv::cli
