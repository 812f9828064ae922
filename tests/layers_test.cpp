// The engine's folders are layers: a file may include its own folder and the
// folders below it, never one above. The windows (ui/ folders) and the
// command-line tool sit on top; no engine file sees Qt or a window, and only
// the top of the engine sees the whole Program.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Bottom first; cli and the ui/ folders sit above them all.
constexpr std::array<std::string_view, 11> kLayers = {"base", "store", "extlib", "display", "formats", "area",
                                                      "ops",  "anim",  "capture", "app",    "cli"};

int Rank(std::string_view folder) {
  auto it = std::find(kLayers.begin(), kLayers.end(), folder);
  return it == kLayers.end() ? -1 : static_cast<int>(it - kLayers.begin());
}

// Every include of the tree that breaks the layering, as "file:line: why".
std::vector<std::string> LayerFaults(const fs::path& src) {
  static const std::regex kQuoted(R"(^\s*#\s*include\s*"([^"]+)\")");
  static const std::regex kAngled(R"(^\s*#\s*include\s*<(Q[A-Za-z]*)[/>])");
  std::vector<std::string> faults;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(src))
    if (entry.is_regular_file() && (entry.path().extension() == ".h" || entry.path().extension() == ".cpp"))
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  for (const fs::path& file : files) {
    const std::string rel = file.lexically_relative(src).generic_string();
    const std::string folder = rel.substr(0, rel.find('/'));
    if (folder == rel) continue;  // a file at the top of src/
    const int own = Rank(folder);
    if (own < 0) {
      faults.push_back(rel + ": src/" + folder + "/ has no place in the layer order");
      continue;
    }
    const bool window = rel.find("/ui/") != std::string::npos;
    const bool engine = !window && folder != "cli";
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      const std::string at = rel + ":" + std::to_string(number) + ": ";
      std::smatch m;
      if (!window && std::regex_search(line, m, kAngled)) faults.push_back(at + "includes Qt (<" + m[1].str() + ">)");
      if (!std::regex_search(line, m, kQuoted)) continue;
      const std::string target = m[1].str();
      if (window) continue;  // the windows may use every layer
      if (target.find("ui/") == 0 || target.find("/ui/") != std::string::npos) {
        faults.push_back(at + "includes the window header " + target);
        continue;
      }
      if (engine && folder != "app" && target == "app/program.h") {
        faults.push_back(at + "includes app/program.h (reach the states through their own headers)");
        continue;
      }
      const auto slash = target.find('/');
      if (slash == std::string::npos) continue;  // beside the file itself
      const int theirs = Rank(target.substr(0, slash));
      if (theirs > own) faults.push_back(at + "includes " + target + ", a layer above " + folder);
    }
  }
  return faults;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// Another tree (an older checkout) can be checked by naming it in
// QV_LAYERS_SOURCE.
fs::path SourceTree() {
  if (const char* other = std::getenv("QV_LAYERS_SOURCE"); other && *other) return fs::path(other) / "src";
  return fs::path(QV_SOURCE_DIR) / "src";
}

TEST(LayersTest, EveryIncludeOfTheEngineRunsDownwards) {
  const fs::path src = SourceTree();
  ASSERT_TRUE(fs::is_directory(src)) << src;
  const auto faults = LayerFaults(src);
  EXPECT_TRUE(faults.empty()) << faults.size() << " includes break the layering:\n" << Joined(faults);
}

class LayersCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qv_layers_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text;
  }

  fs::path root_;
};

TEST_F(LayersCheckTest, NamesEachKindOfFaultWithFileAndLine) {
  Write("store/undo.cpp", "#include \"store/undo.h\"\n\n#include \"display/views.h\"\n");
  Write("area/mask.cpp", "#include <vector>\n#include <QImage>\n");
  Write("ops/apply.cpp", "#include \"app/program.h\"\n");
  Write("formats/dialog.cpp", "#include \"formats/ui/save_dialog.h\"\n");
  Write("geom/spline.h", "#pragma once\n");
  const auto faults = LayerFaults(root_);
  EXPECT_EQ(faults, (std::vector<std::string>{
                        "area/mask.cpp:2: includes Qt (<QImage>)",
                        "formats/dialog.cpp:1: includes the window header formats/ui/save_dialog.h",
                        "geom/spline.h: src/geom/ has no place in the layer order",
                        "ops/apply.cpp:1: includes app/program.h (reach the states through their own headers)",
                        "store/undo.cpp:3: includes display/views.h, a layer above store",
                    }))
      << Joined(faults);
}

TEST_F(LayersCheckTest, DownwardsSidewaysAndTheTopAreAllowed) {
  Write("base/host.h", "#include <string>\n#include \"base/messages.h\"\n");
  Write("ops/apply.cpp", "#include \"ops/apply.h\"\n#include \"area/area_mask.h\"\n#include \"base/host.h\"\n");
  Write("store/undo.cpp", "#include \"undo.h\"\n#include \"gtest_like/other.h\"\n");
  Write("app/frame.cpp", "#include \"app/program.h\"\n#include \"anim/timeline.h\"\n");
  Write("cli/main.cpp", "#include \"app/program.h\"\n");
  Write("ops/ui/window.cpp", "#include <QWidget>\n#include \"app/ui/main_window.h\"\n#include \"cli/x.h\"\n");
  const auto faults = LayerFaults(root_);
  EXPECT_TRUE(faults.empty()) << Joined(faults);
}

}  // namespace
