// Operation settings files (.QVS): one operation's values, its profiles and
// the trend lines of its parameters, as text. The reader is also the first
// step of reading project files, whose first line is "QVPROJ".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ops/op_catalogue.h"

namespace qv {

inline constexpr std::size_t kQvsLineLimit = 300;
// Far above any settings or project file; a bigger file is read up to here.
inline constexpr std::int64_t kQvsMaxBytes = 16 << 20;

// The trend key of a label: its first four characters, or its first alone
// when the second is a blank.
std::string TrendKey(std::string_view label);

// The text of the file for this operation's current settings.
std::string OpSettingsText(OpId id);
// Writes the settings of an operation (the current one by default); message
// 71 with the path and 1 when the file cannot be written.
int SaveOpSettingsFile(const std::filesystem::path& path, OpId id = 0);

struct QvsReadResult {
  OpId lastOperation = 0;  // the operation of the last operation line, 0 if none
  int operationLines = 0;
  int profilesRead = 0;
  // Lines that said nothing the reader knows (a trend line for no parameter
  // of its operation, an image line where images are not read): how many,
  // and the first kQvsSkippedKept of them.
  int skippedCount = 0;
  std::vector<std::string> skipped;
};
inline constexpr std::size_t kQvsSkippedKept = 100;

// Reads settings text: 0 done, 1 when the first line is not a settings or
// project header (message 42).
int ReadOpSettingsText(std::string_view text, QvsReadResult* result = nullptr);
// Message 71 with the path when the file cannot be opened.
int LoadOpSettingsFile(const std::filesystem::path& path, QvsReadResult* result = nullptr);

}  // namespace qv
