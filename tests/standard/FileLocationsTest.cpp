#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Text.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

class FileLocationsTest : public ::testing::Test {
 protected:
  Installation inst;
  StandardModule& m = inst.module;
  std::string P(const std::filesystem::path& p) { return p.string(); }

  void Integrated() {
    inst.process.commandLine = "/EXTERNAL Q4TCFG /LOGFILE C:\\log.txt";
    m.GetStartModeIntegrated();
  }
};

TEST_F(FileLocationsTest, PathsFromTheProgramFolder) {
  EXPECT_EQ(m.GetOCXName(), "Horavex");
  EXPECT_EQ(m.ProjectFolder(), P(inst.project));
  EXPECT_EQ(m.GetCFGPath(), P(inst.Cfg()));
  EXPECT_EQ(m.GetPathOCXMDB(), P(inst.component / "Horavex.mdb"));  // not checked on disk
  EXPECT_EQ(m.GetPathSourceOCXMDB(), "");
  inst.Write(inst.component / "Horavex_Source.mdb", "x");
  EXPECT_EQ(m.GetPathSourceOCXMDB(), P(inst.component / "Horavex_Source.mdb"));
  EXPECT_EQ(m.GetQ4TConfigurationIniPath(), "");
  inst.Write(inst.ConfigIni(), "");
  EXPECT_EQ(m.GetQ4TConfigurationIniPath(), P(inst.ConfigIni()));
}

TEST_F(FileLocationsTest, ProjectFolderOfARootProgram) {
  inst.process.programFolder = "/";
  EXPECT_EQ(m.ProjectFolder(), "");
  inst.process.programFolder = "C:\\";
  EXPECT_EQ(m.ProjectFolder(), "C:");
  inst.process.programFolder = "D:\\Plant\\Bin";
  EXPECT_EQ(m.ProjectFolder(), "D:\\Plant");
}

TEST_F(FileLocationsTest, FileNameOnly) {
  EXPECT_EQ(m.GetFileNameOnly("C:\\HMI\\Timers"), "Timers");
  EXPECT_EQ(m.GetFileNameOnly("/plant/Bin"), "Bin");
  EXPECT_EQ(m.GetFileNameOnly("Timers"), "Timers");
  EXPECT_EQ(m.GetFileNameOnly("C:\\HMI\\"), "");
}

TEST_F(FileLocationsTest, ShortProgramNameIsReported) {
  inst.process.programFileName = "Short";
  inst.ui.answers = {kAnswerYes};
  EXPECT_EQ(m.GetOCXName(), "");
  // The report itself cannot name the component and goes on without it.
  EXPECT_EQ(inst.Read(inst.ErrorLog()),
            "Fehler in  / Horavex_Config / GetOCXName (Nr. 5) :Invalid procedure call or "
            "argument\r\n");
}

TEST_F(FileLocationsTest, SaveAndRestoreWithOrWithoutTrailingSeparator) {
  Integrated();
  inst.Write(inst.root / "Copy" / "parameter" / "program.ini", "");
  inst.Write(inst.root / "Copy" / "Horavex" / "Horavex.mdb", "");
  inst.Write(inst.ProgramIni(), "");
  for (std::string folder : {P(inst.root / "Copy"), P(inst.root / "Copy") + "\\"}) {
    inst.Write(inst.ConfigIni(), "[Common]\r\nSaveAndRestore=" + folder + "\r\n");
    EXPECT_EQ(inst.files.Resolve(m.GetPathMachineCopyMDB(P(inst.ConfigIni()))),
              P(inst.root / "Copy" / "Horavex" / "Horavex.mdb"));
    EXPECT_EQ(inst.files.Resolve(m.GetProgramIniPath(1)),
              P(inst.root / "Copy" / "parameter" / "program.ini"));
    EXPECT_EQ(m.GetProgramIniPath(2), P(inst.ProgramIni()));
  }
}

TEST_F(FileLocationsTest, StandaloneAlwaysUsesTheProjectProgramIni) {
  inst.Write(inst.ConfigIni(), "[Common]\r\nSaveAndRestore=" + P(inst.root / "Copy") + "\r\n");
  inst.Write(inst.root / "Copy" / "parameter" / "program.ini", "");
  EXPECT_EQ(m.GetProgramIniPath(1), "");
  inst.Write(inst.ProgramIni(), "");
  EXPECT_EQ(m.GetProgramIniPath(1), P(inst.ProgramIni()));
}

TEST_F(FileLocationsTest, MissingMachineCopyIsEmptyAndUnreported) {
  EXPECT_EQ(m.GetPathMachineCopyMDB(""), "");
  inst.Write(inst.ConfigIni(), "[Common]\r\nSaveAndRestore=Z:\\unreachable\r\n");
  EXPECT_EQ(m.GetPathMachineCopyMDB(P(inst.ConfigIni())), "");
  EXPECT_TRUE(inst.ui.shown.empty());
}

TEST_F(FileLocationsTest, HiddenOrMissingCfgEndsTheProgramAfterItsNotice) {
  std::filesystem::rename(inst.Cfg(), inst.component / ".Horavex.cfg");
  std::filesystem::create_directories(inst.component / "Horavex.cfg");  // a folder is not a file
  inst.ui.answers = {kAnswerOk};
  try {
    m.GetCFGPath();
    FAIL() << "the program did not end";
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.exitCode, kExitEndedOnError);
  }
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text, "File not found: \n\r" + text::Upper(P(inst.Cfg())));
  EXPECT_EQ(inst.ui.shown[0].title, "Horavex_Config");
  EXPECT_EQ(inst.ui.shown[0].icon, MsgIcon::Critical);
}

TEST_F(FileLocationsTest, SilentMissingCfgGoesToTheServicePackLog) {
  std::filesystem::remove(inst.Cfg());
  m.SilentMode = true;
  EXPECT_THROW(m.GetCFGPath(), ProgramEnded);
  EXPECT_EQ(inst.Read(inst.ServicePackLog()),
            "! Fault Horavex_Config: File not found: \n\r" + text::Upper(P(inst.Cfg())) + "\r\n");
}

}  // namespace
}  // namespace horavex::testing
