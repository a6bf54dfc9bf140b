#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "app/HoravexConfigForm.h"
#include "app/TopLevel.h"
#include "platform/Text.h"
#include "presetdb/UpdateRun.h"
#include "support/Databases.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

namespace fs = std::filesystem;

// A whole silent start on an installation with three machines, the template, and a component
// database from an earlier version: every file the run leaves is compared with its expected
// content in tests/data/endtoend/expected; the temporary root in
// them reads <ROOT>. HORAVEX_WRITE_EXPECTED=1 writes the results there
// instead, for review.
class SilentRunTest : public ::testing::Test {
 protected:
  static fs::path Data() { return fs::path(HORAVEX_TEST_DATA) / "endtoend"; }
  std::string DataFile(const std::string& name) const { return inst.Read(Data() / name); }

  // The file's text with the temporary root (as the messages write it, upper-cased) as <ROOT>.
  void Compare(const std::string& name, std::string actual) {
    std::string root = text::Upper(inst.root.string());
    for (size_t at = actual.find(root); at != std::string::npos; at = actual.find(root, at)) {
      actual.replace(at, root.size(), "<ROOT>");
    }
    // The paths in the messages, in the form of the expected files.
    if (kHostSeparator != '/') std::replace(actual.begin(), actual.end(), kHostSeparator, '/');
    fs::path expected = Data() / "expected" / name;
    if (std::getenv("HORAVEX_WRITE_EXPECTED") != nullptr) {
      std::ofstream(expected, std::ios::binary | std::ios::trunc) << actual;
      return;
    }
    EXPECT_EQ(actual, inst.Read(expected)) << name;
  }

  Installation inst;
};

TEST_F(SilentRunTest, RebuildsThePresetsKeepsTheLimitsAndWritesTheSettings) {
  inst.Write(inst.ProgramIni(), DataFile("Program.ini"));
  inst.Write(inst.Cfg(), DataFile("Horavex.cfg"));
  MakeDatabase(inst.component / "Horavex_Source.mdb", DataFile("template.sql"));
  MakeDatabase(inst.component / "Horavex.mdb", DataFile("component.sql"));
  inst.process.commandLine = "/EXTERNAL SILENT";

  UpdateRun update(inst.module);
  HoravexConfigForm dialog(inst.module, update);
  try {
    RunTopLevel(dialog, [&] { dialog.Form_Load(); });
    FAIL() << "the silent start did not end";
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.exitCode, kExitOk);
  }
  EXPECT_TRUE(inst.ui.shown.empty());

  Compare("Horavex.mdb.txt", DumpDatabase(inst.component / "Horavex.mdb"));
  Compare("Program.ini", inst.Read(inst.ProgramIni()));
  Compare("Horavex.cfg", inst.Read(inst.Cfg()));
  Compare("Q4Tcfglog.txt", inst.Read(inst.ErrorLog()));
  Compare("PakroServicePack.log", inst.Read(inst.ServicePackLog()));
  // The template keeps the rebuilt table that was published.
  EXPECT_EQ(DumpDatabase(inst.component / "Horavex_Source.mdb"),
            DumpDatabase(inst.component / "Horavex.mdb"));
}

}  // namespace
}  // namespace horavex::testing
