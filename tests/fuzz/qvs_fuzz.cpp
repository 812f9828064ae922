// libFuzzer target for the op-settings reader. Run the replay test of the
// normal suite to check the seeds without the fuzzer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/program.h"
#include "app/recording_host.h"
#include "ops/qvs_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::ResetProgram();
  qv::InstallHost<qv::RecordingHost>();
  qv::ReadOpSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
