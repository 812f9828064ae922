// pixqv-cli: the headless face of Pixanta: Q/v, for scripts and render farms.
// Exit codes: 0 success, 1 failure (one-line reason on stderr), 2 bad usage.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app/program.h"
#include "cli/cli_commands.h"

namespace {

constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: pixqv-cli [--help] [--version] <command> [args...]\n"
               "\n"
               "Pixanta: Q/v special-effects engine, command-line front end.\n"
               "\n"
               "commands:\n");
  for (const auto& c : qv::cli::Commands())
    std::fprintf(out, "  %-12.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.summary.size()), c.summary.data());
  std::fprintf(out,
               "\n"
               "options:\n"
               "  -h, --help     show this help; 'pixqv-cli <command> --help' for a command\n"
               "  --version      print the version and exit\n"
               "  --threads N    threads for the work on rows (default: every core; 1: one)\n"
               "\n"
               "exit status: 0 success, 1 failure, 2 bad usage\n");
}

bool ParseThreads(std::string_view text, int& count) {
  if (text.empty() || text.size() > 2) return false;
  count = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    count = count * 10 + (c - '0');
  }
  return count >= 1 && count <= 64;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  // "--threads N" may come before the command as well as after it.
  if (args.size() >= 3 && args[0] == "--threads") std::rotate(args.begin(), args.begin() + 2, args.begin() + 3);
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::string_view first = args.front();
  if (first == "--help" || first == "-h" || first == "help") {
    if (first == "help" && args.size() > 1) {
      if (const auto* c = qv::cli::FindCommand(args[1])) {
        std::fwrite(c->usage.data(), 1, c->usage.size(), stdout);
        return 0;
      }
    }
    PrintUsage(stdout);
    return 0;
  }
  if (first == "--version") {
    std::printf("pixqv-cli (Pixanta: Q/v) %s\n", QV_VERSION);
    return 0;
  }
  const auto* command = qv::cli::FindCommand(first);
  if (!command) {
    std::string name(first);
    std::fprintf(stderr, "pixqv-cli: unknown command '%s'", name.c_str());
    std::string_view hint = qv::cli::SuggestCommand(first);
    if (!hint.empty()) std::fprintf(stderr, ", did you mean '%.*s'?", static_cast<int>(hint.size()), hint.data());
    std::fprintf(stderr, " (see pixqv-cli --help)\n");
    return kExitUsage;
  }
  std::vector<std::string_view> rest;
  int threads = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string_view a = args[i];
    if (a == "--help" || a == "-h") {
      std::fwrite(command->usage.data(), 1, command->usage.size(), stdout);
      return 0;
    }
    if (a == "--threads") {
      if (i + 1 >= args.size() || !ParseThreads(args[i + 1], threads)) {
        std::fprintf(stderr, "pixqv-cli: --threads wants a count from 1 to 64\n");
        return kExitUsage;
      }
      ++i;
      continue;
    }
    rest.push_back(a);
  }
  // Long work shows one updating progress line on a terminal; Ctrl-C stops it.
  auto& host = qv::InstallHost<qv::HeadlessHost>();
  host.SetProgressLine(isatty(STDERR_FILENO) != 0);
  host.CatchInterrupts();
  // The LZW patents expired long ago: scripts read and write GIF and
  // LZW-compressed TIFF whatever ChopMem says in the desktop program.
  qv::TheProgram().save.chopMem = 1;
  qv::TheProgram().settings.threads = threads;
  // Nothing shows the outline of a selection here.
  qv::TheProgram().area.traceOutline = false;
  return command->run(rest);
}
