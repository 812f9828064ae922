// A clean Program for each test, a recording host, and a private current
// directory so that QVLOG.txt lands somewhere disposable.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "app/program.h"
#include "app/recording_host.h"
#include "base/messages.h"

namespace qv::test {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgram();
    host = &InstallHost<RecordingHost>();
    previousDir = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    workDir = std::filesystem::temp_directory_path() /
              ("qv-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(workDir);
    std::filesystem::create_directories(workDir);
    std::filesystem::current_path(workDir);
  }

  void TearDown() override {
    ResetProgram();
    std::filesystem::current_path(previousDir);
    std::filesystem::remove_all(workDir);
  }

  // The log as written so far.
  std::string Log() const {
    std::ifstream in(workDir / kLogFileName);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // The log opened anew, with its header dropped: what the test itself wrote.
  void StartLog() {
    OpenLog(true);
    headerSize = Log().size();
  }
  std::string Logged() const { return Log().substr(headerSize); }

  RecordingHost* host = nullptr;
  std::filesystem::path previousDir;
  std::filesystem::path workDir;
  std::size_t headerSize = 0;
};

}  // namespace qv::test
