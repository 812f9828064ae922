// The subcommands of pixqv-cli, in one table.
#pragma once

#include <string_view>
#include <vector>

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

int RunShowcase(const std::vector<std::string_view>& args);
Command OpsCommand();   // ops_command.cpp
Command MaskCommand();  // mask_command.cpp
int RunInfo(const std::vector<std::string_view>& args);     // file_commands.cpp
int RunConvert(const std::vector<std::string_view>& args);  // file_commands.cpp
// The save type named like an extension ("bmp"), -1 when none; the depth
// entry of a type for a bit count, -1 when the type does not offer it.
int TypeNamed(std::string_view name);          // file_commands.cpp
int DepthEntryForBits(int type, int bits);     // file_commands.cpp
// A whole number within [low, high]; false for anything else.
bool ParseInt(std::string_view text, long low, long high, int& out);  // file_commands.cpp
Command ApplyCommand();                        // apply_command.cpp

}  // namespace qv::cli
