// Distortion through the Zelvane link on a 2048 x 2048 picture with a point
// file without pairs (the identity): the time is the link's own, the
// transfer of every row to the companion and the receipt of every row back
// (plus the apply's undo copy). The companion is started on a private
// socket for the run. Reported, never asserted:
//   build/bench/zelvane_bench --benchmark_counters_tabular=true
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "effect_bench.h"

namespace {

void IdentityDistortion(benchmark::State& state) {
#ifndef QV_ZELVANE_PROGRAM
  state.SkipWithError("the zelvane companion is not built");
  return;
#else
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zelvane-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string socket = (dir / "z.sock").string();
  setenv("PIXQV_ZELVANE_SOCKET", socket.c_str(), 1);
  const pid_t companion = fork();
  if (companion == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execl(QV_ZELVANE_PROGRAM, "zelvane", "--socket", socket.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200 && !std::filesystem::exists(socket + ".pid"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  std::ofstream(dir / "none.zpt") << "ZPOINTS 1\n";

  bench::Setup(false);
  qv::TheProgram().ops.distortionPointFile = (dir / "none.zpt").string();
  for (auto _ : state)
    if (qv::Apply(3199, 0) != 0) state.SkipWithError("the apply failed");
  bench::SetRate(state);
  qv::ResetProgram();
  kill(companion, SIGKILL);
  waitpid(companion, nullptr, 0);
  std::filesystem::remove_all(dir);
#endif
}
BENCHMARK(IdentityDistortion)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
