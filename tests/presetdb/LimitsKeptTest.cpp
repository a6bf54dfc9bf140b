#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <chrono>
#include <cstdlib>

#include "PresetFixture.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Inputs that can be read but read wrong: each run either carries the earlier limits into the
// new component database or keeps the component database as it was, with a report.
class LimitsKeptTest : public PresetFixture {
 protected:
  LimitsKeptTest() {
    inst.module.SilentMode = true;
    MakeTemplate({Row(1, 1, "Speed", 4)});
    MakeComponent({"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9"});
    before = inst.Read(Target());
  }
  // The component database is as it was, and the run said why (and so ends with status 3).
  void ExpectKept(const std::string& why, bool reportedHere = true) {
    EXPECT_EQ(inst.Read(Target()), before);
    EXPECT_THAT(ErrorLog(), HasSubstr("Horavex.mdb was kept unchanged: " + why));
    if (reportedHere) {
      EXPECT_GT(inst.module.FailuresReported(), 0);
    }
  }
  std::string before;
};

#ifndef _WIN32  // an unprivileged user of its own
TEST_F(LimitsKeptTest, ConfigurationFileThatCannotBeReadKeepsTheDatabase) {
  // Only an unprivileged user is refused a read: the run is made as one, in a child process.
  for (const fs::path& file : {inst.Cfg(), inst.ProgramIni()}) {
    for (const auto& entry : fs::recursive_directory_iterator(inst.root)) {
      ::chown(entry.path().c_str(), 65534, 65534);
    }
    ::chown(inst.root.c_str(), 65534, 65534);
    ::chmod(file.c_str(), 0);
    pid_t child = ::fork();
    if (child == 0) {
      bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
      if (dropped) run.WorkOnMDB();
      ::_exit(!dropped ? 2 : inst.module.FailuresReported() > 0 ? 3 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << file;
    ExpectKept("a configuration file could not be read. Permission denied", false);
    fs::remove(inst.ErrorLog());
  }
}
#endif

TEST_F(LimitsKeptTest, MachineListThatReadsEmptyKeepsTheDatabase) {
  for (const std::string& programIni : {std::string("[Project]\r\nNumberOfMachines=0\r\n"),
                                        std::string(), std::string("\x01garbage=\xff\r\n[[[")}) {
    inst.Write(inst.ProgramIni(), programIni);
    inst.module.MachineNames.reset();
    inst.module.GetExistingMachines("");
    run.WorkOnMDB();
    ExpectKept("the new PRESET_DEFS could not be generated. Subscript out of range");
    fs::remove(inst.ErrorLog());
  }
}

TEST_F(LimitsKeptTest, TemplateWithoutAFieldTheTakeoverSelectsKeepsTheDatabase) {
  // A legacy template: CATEGORIE where the takeover selects category_id.
  std::string columns = kPresetColumns;
  columns.replace(columns.find("category_id"), std::string("category_id").size(), "CATEGORIE");
  MakeDatabase(Source(),
               "CREATE TABLE Source_DEFS (System TEXT(50), Part INTEGER, "
               "Var_Name TEXT(255));"
               "INSERT INTO Source_DEFS VALUES ('VisiWin32', 1, '###machine.###Var_Name');"
               "CREATE TABLE Source_PRESET_DEFS (" +
                   columns + "); INSERT INTO Source_PRESET_DEFS VALUES (" + Row(1, 1, "Speed", 4) +
                   ");");
  run.WorkOnMDB();
  ExpectKept(
      "the check of the new records failed. 1 new records do not hold the limits "
      "(abs_min, abs_max, min, max, pass) of the earlier records with their key, the "
      "first A1.Speed (offset_or_bitno 4). The template's Source_PRESET_DEFS has no "
      "field category_id, which the takeover needs.");
}

TEST_F(LimitsKeptTest, EarlierTableOfANarrowerLayoutKeepsItsPassLevel) {
  MakeDatabase(Target(),
               "CREATE TABLE PRESET_DEFS (ID INTEGER, machine_type TEXT(50), var_name TEXT(50), "
               "offset_or_bitno INTEGER, abs_min DOUBLE, abs_max DOUBLE, min DOUBLE, max DOUBLE, "
               "pass SMALLINT, text TEXT(50), type SMALLINT);"
               "INSERT INTO PRESET_DEFS VALUES (1, 'PRESS', 'A1.Speed', 4, -5, 500, 2, 50, 9, "
               "'t', 3);");
  run.WorkOnMDB();
  EXPECT_THAT(Presets(Target(), "var_name, abs_min, abs_max, min, max, pass"),
              ElementsAre("A1.Speed|-5.0|500.0|2.0|50.0|9", "B2.Speed|0.0|600.0|1.0|60.0|2"));
  // The fields the layout lacks are reported once, not once per record.
  EXPECT_EQ(inst.module.FailuresReported(), 3);
}

TEST_F(LimitsKeptTest, MoreRecordsThanIdsKeepTheDatabaseWithOneReport) {
  Execute(Source(),
          "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 17000) "
          "INSERT INTO Source_PRESET_DEFS SELECT i, 1, 'PRESS', 3, 'V' || i, 1, 0, i, 'T', 'P', "
          "0, 600, 1, 60, 2 FROM n");
  run.WorkOnMDB();
  ExpectKept("the new PRESET_DEFS could not be generated. Overflow");
  EXPECT_EQ(inst.module.FailuresReported(), 2);  // the overflow and the kept database
}

TEST_F(LimitsKeptTest, LimitsALegitimateRunDropsOutliveFourMoreRuns) {
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=False\r\nForMachine2=False\r\n");
  run.WorkOnMDB();
  EXPECT_TRUE(Presets(Target()).empty());
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\nForMachine2=False\r\n");
  for (int i = 0; i < 4; ++i) run.WorkOnMDB();
  EXPECT_EQ(inst.module.FailuresReported(), 0);
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak5"), before);
  EXPECT_FALSE(inst.Exists(inst.component / "Horavex.mdb.bak6"));

#ifndef _WIN32  // Windows writes the database in place and always copies the backup
  // A run killed between its two renames leaves the backup as a second name of the database:
  // the next run adds no generation for it and leaves no temporary name behind.
  std::string published = inst.Read(Target());
  fs::remove(inst.component / "Horavex.mdb.bak");
  fs::create_hard_link(Target(), inst.component / "Horavex.mdb.bak");
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak"), published);
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak5"), before);
  for (const auto& entry : fs::directory_iterator(inst.component)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
  }
#endif

  // A run killed while the generations moved on leaves a gap; the next run moves on only those
  // before it, so no generation is dropped early.
  fs::remove(inst.component / "Horavex.mdb.bak3");
  std::string second = inst.Read(inst.component / "Horavex.mdb.bak2");
  std::string fourth = inst.Read(inst.component / "Horavex.mdb.bak4");
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak3"), second);
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak4"), fourth);
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak5"), before);
}

TEST_F(LimitsKeptTest, AbortForAMissingAdditionalFieldLeavesNothingBehind) {
  inst.Write(inst.Cfg(),
             "[Project]\r\nForMachine1=True\r\nForMachine2=True\r\n"
             "DataBaseAdditionalFields=Extra\r\n");
  auto earlier = fs::last_write_time(Source()) - std::chrono::minutes(10);
  fs::last_write_time(Source(), earlier);
  EXPECT_THROW(run.WorkOnMDB(), ProgramEnded);
  EXPECT_EQ(fs::last_write_time(Source()), earlier);
  EXPECT_EQ(inst.Read(Target()), before);
  for (const auto& entry : fs::directory_iterator(inst.component)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.find(".tmp-") == std::string::npos && !name.ends_with("-journal")) << name;
  }
}

// A takeover that misses a record, as a fault in it would.
class SkippingTakeover : public UpdateRun {
 public:
  using UpdateRun::UpdateRun;
  void TakeoverMachineCopyMDBData(dao::Database& work, std::optional<dao::Recordset>& records,
                                  const GeneratedRecords* generated) override {
    UpdateRun::TakeoverMachineCopyMDBData(work, records, generated);
    work.Execute("UPDATE PRESET_DEFS SET abs_min = 0 WHERE var_name = 'A1.Speed'");
  }
};

TEST_F(LimitsKeptTest, CheckFindsARecordTheTakeoverMissed) {
  SkippingTakeover skipping(inst.module);
  skipping.WorkOnMDB();
  ExpectKept("the check of the new records failed. 1 new records do not hold the limits");
}

#ifndef _WIN32  // locks are per process on POSIX; Windows writes the file in place
// No hard links: the backup is a copy, which must not drop the write lock the run holds. Another
// program (a process of its own: locks are per process) tries to write just before the rename.
class NoHardLinks : public HostFileSystem {
 public:
  bool LinkAs(const std::string&, const std::string&) override { return false; }
  bool ReplaceWith(TemporaryFile& temporary, const std::string& target) override {
    if (target.ends_with("Horavex.mdb")) {
      writeDuringPublish = std::system(
          ("sqlite3 -cmd '.timeout 0' '" + target + "' 'CREATE TABLE late (a)' 2>/dev/null")
              .c_str());
    }
    return HostFileSystem::ReplaceWith(temporary, target);
  }
  int writeDuringPublish = -1;
};

TEST_F(LimitsKeptTest, CopiedBackupKeepsOtherWritersOutUntilTheRename) {
  NoHardLinks files;
  ProfileIniStore ini(files);
  StandardModule module(Services{inst.process, files, ini, inst.ui});
  module.SilentMode = true;
  module.GetExistingMachines("");
  UpdateRun copying(module);
  copying.WorkOnMDB();
  EXPECT_NE(files.writeDuringPublish, 0);  // refused: database is locked
  EXPECT_EQ(inst.Read(inst.component / "Horavex.mdb.bak"), before);
  EXPECT_THAT(Presets(Target(), "var_name, pass"), ElementsAre("A1.Speed|9", "B2.Speed|2"));
}
#endif

}  // namespace
}  // namespace horavex::testing
