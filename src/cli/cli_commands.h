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

}  // namespace qv::cli
