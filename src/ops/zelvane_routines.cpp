#include "ops/zelvane_routines.h"

#include "ops/apply_state.h"

namespace qv {
namespace {

// Without the link installed there is nothing that could do the work.
int PrepareLinked() {
  PrepareRoutine prepare = Pipeline().hooks.linkPrepare;
  return prepare ? prepare() : 1;
}

int LinkedWorker(std::uint8_t* pixels, std::uint8_t* mask) {
  ImageWorker worker = Pipeline().hooks.linkWorker;
  return worker ? worker(pixels, mask) : 1;
}

const OpRoutineEntry kZelvaneRoutines[] = {
    {3199, ImageRoutines(PrepareLinked, LinkedWorker)},
    {3198, ImageRoutines(PrepareLinked, LinkedWorker)},
};

}  // namespace

std::span<const OpRoutineEntry> ZelvaneOperationRoutines() { return kZelvaneRoutines; }

}  // namespace qv
