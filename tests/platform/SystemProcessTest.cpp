#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/Process.h"

namespace horavex {
namespace {

namespace fs = std::filesystem;

// The program works on the folder it was started in, also when its file is a link to one build.
TEST(SystemProcessTest, ProgramIsWhereItWasStartedAndOnlyExeIsAnExtension) {
  std::string pattern = (fs::temp_directory_path() / "horavex-process-XXXXXX").string();
  fs::path root = ::mkdtemp(pattern.data());
  fs::create_directories(root / "build");
  fs::create_directories(root / "Plant" / "Bin");
  fs::copy_file("/bin/true", root / "build" / "Horavex.v2_Config");
  fs::create_symlink(root / "build" / "Horavex.v2_Config",
                     root / "Plant" / "Bin" / "Horavex.v2_Config");

  std::string started = (root / "Plant" / "Bin" / "Horavex.v2_Config").string();
  char* argv[] = {started.data(), nullptr};
  SystemProcess process(1, argv);
  EXPECT_EQ(process.ProgramFolder(), (root / "Plant" / "Bin").string());
  EXPECT_EQ(process.ProgramFileName(), "Horavex.v2_Config");

  std::string windowsName = (root / "Plant" / "Bin" / "Horavex_Config.EXE").string();
  char* argvExe[] = {windowsName.data(), nullptr};
  EXPECT_EQ(SystemProcess(1, argvExe).ProgramFileName(), "Horavex_Config");
  fs::remove_all(root);
}

}  // namespace
}  // namespace horavex
