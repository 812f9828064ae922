#include "app/program.h"

namespace qv {
namespace {

std::unique_ptr<Program>& Slot() {
  static std::unique_ptr<Program> program = std::make_unique<Program>();
  return program;
}

}  // namespace

Program& TheProgram() { return *Slot(); }

Host& TheHost() { return *TheProgram().host; }

void ResetProgram() {
  // Close the log first so that releasing the places writes nothing.
  TheProgram().log.file.reset();
  Slot() = std::make_unique<Program>();
}

}  // namespace qv
