#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>

#include "PresetFixture.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
namespace fs = std::filesystem;

// The ways an ordinary day at a plant can go wrong during an update run: each leaves the
// machine's limits either taken over into the new component database or in the component
// database as it was, with a report.
class PublishTest : public PresetFixture {
 protected:
  PublishTest() {
    inst.module.SilentMode = true;
    run.databaseOptions.busyTimeoutMs = 100;
  }

  // The template, and a component database whose earlier limits must survive.
  void MakeInstallation() {
    MakeTemplate({Row(1, 1, "Speed", 4)});
    MakeComponent({"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9"});
  }
  std::vector<std::string> Limits(const fs::path& file) const {
    return Presets(file, "var_name, abs_min, pass");
  }
  // The files of the component folder, without the run's lock file.
  std::vector<std::string> ComponentFiles(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::string name = entry.path().filename().string();
      if (name != "Horavex.mdb.lock") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
#ifndef _WIN32
  // Starts the body in a child process that ends with the body's result.
  static pid_t Start(const std::function<int()>& body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    return child;
  }
  static int ExitStatus(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
#endif
  // A silent update run of its own, as a second start of the program would make it.
  int SilentRun() {
    UpdateRun second(inst.module);
    second.WorkOnMDB();
    return inst.module.FailuresReported() > 0 ? 3 : 0;
  }
};

TEST_F(PublishTest, FolderAndFileInAnotherLetterCaseAreFoundAndUpdated) {
  MakeInstallation();
  fs::rename(Target(), inst.component / "horavex.MDB");
  fs::rename(inst.component, inst.project / "HORAVEX");
  run.WorkOnMDB();
  EXPECT_THAT(Limits(inst.project / "HORAVEX" / "horavex.MDB"),
              ElementsAre("A1.Speed|-5.0|9", "B2.Speed|0.0|2"));
  EXPECT_EQ(inst.module.FailuresReported(), 0);
  // Replaced under its own name, no second file beside it. (Wine renames no file to another
  // case of its name, so there the file kept its first name.)
#ifndef _WIN32
  EXPECT_THAT(ComponentFiles(inst.project / "HORAVEX"),
              ElementsAre("Horavex.cfg", "Horavex.mdb.bak", "Horavex_Source.mdb", "horavex.MDB"));
#endif
}

// The tests in child processes of a fork (POSIX only).
#ifndef _WIN32
TEST_F(PublishTest, FullDiskDuringTheGenerationKeepsTheComponentDatabase) {
  std::vector<std::string> rows;
  for (int i = 1; i <= 2000; ++i) rows.push_back(Row(i, 1, "Var" + std::to_string(i), i));
  MakeTemplate(rows);
  MakeComponent({Row(1, 1, "A1.Var1", 1)});
  std::string before = inst.Read(Target());
  // Room for the template as it is, not for the records it is about to get.
  rlim_t room = fs::file_size(Source()) + 16384;
  int status = ExitStatus(Start([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {
      room, room
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    run.WorkOnMDB();
    return inst.module.FailuresReported() > 0 ? 3 : 0;
  }));
  EXPECT_EQ(status, 3);
  EXPECT_EQ(inst.Read(Target()), before);
  // A file beyond the size limit fails as a disk error, where a full disk gives 3026.
  EXPECT_THAT(ErrorLog(), HasSubstr("/ WorkOnMDB (Nr. 3043) :Horavex.mdb was kept unchanged: the "
                                    "new PRESET_DEFS could not be generated."));
  EXPECT_THAT(ComponentFiles(inst.component),
              ElementsAre("Horavex.cfg", "Horavex.mdb", "Horavex_Source.mdb"));
}

#endif

TEST_F(PublishTest, DatabaseLockedByAnotherProgramIsKeptUntilItIsFree) {
  MakeInstallation();
  std::string before = inst.Read(Target());
  // A locked template: the run gives up after one wait, without writing into its old table.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(Source().string().c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  run.WorkOnMDB();
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(inst.Read(Target()), before);
  EXPECT_THAT(ErrorLog(), HasSubstr("(Nr. 3218) :Horavex.mdb was kept unchanged: the template "
                                    "could not be rebuilt."));
  EXPECT_EQ(inst.module.FailuresReported(), 2);
  fs::remove(inst.ErrorLog());

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Target().string().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE PRESET_DEFS SET pass = 1", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Target()), before);
  EXPECT_THAT(ErrorLog(), HasSubstr("/ WorkOnMDB (Nr. 3218) :Horavex.mdb was kept unchanged: "
                                    "another program kept it locked."));
  EXPECT_EQ(inst.module.FailuresReported(), 3);

  // The other program's change, committed while the run waited, is what the next run takes over.
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  run.WorkOnMDB();
  EXPECT_THAT(Limits(Target()), ElementsAre("A1.Speed|-5.0|1", "B2.Speed|0.0|2"));
  EXPECT_THAT(Limits(inst.component / "Horavex.mdb.bak"), ElementsAre("A1.Speed|-5.0|1"));
}

TEST_F(PublishTest, GarbageTemplateOrComponentDatabaseIsNeverPublished) {
  MakeInstallation();
  std::string component = inst.Read(Target());
  inst.Write(Source(), "SQLite format 3" + std::string(200, '\0'));
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Target()), component);
  EXPECT_THAT(ErrorLog(), HasSubstr("/ DAO.Workspace / WorkOnMDB (Nr. 3343) :Horavex.mdb was "
                                    "kept unchanged: the template could not be rebuilt."));

  MakeTemplate({Row(1, 1, "Speed", 4)});
  inst.Write(Target(), std::string(5000, 'x'));
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Target()), std::string(5000, 'x'));
  EXPECT_THAT(ErrorLog(),
              HasSubstr("(Nr. 3343) :Horavex.mdb was kept unchanged: the earlier "
                        "records in Horavex.mdb could not be read. Unrecognized "
                        "database format '" +
                        Target().string() + "'. Remove or repair Horavex.mdb to start afresh."));
  fs::remove(Target());
  run.WorkOnMDB();
  EXPECT_THAT(Limits(Target()), ElementsAre("A1.Speed|0.0|2", "B2.Speed|0.0|2"));
}

#ifndef _WIN32
TEST_F(PublishTest, TwoStartsAtOnceGiveTheResultOfTwoRunsOneAfterTheOther) {
  MakeInstallation();
  for (int pair = 0; pair < 20; ++pair) {
    pid_t first = Start([&] { return SilentRun(); });
    pid_t second = Start([&] { return SilentRun(); });
    ASSERT_EQ(ExitStatus(first), 0) << "pair " << pair;
    ASSERT_EQ(ExitStatus(second), 0) << "pair " << pair;
    ASSERT_THAT(Limits(Target()), ElementsAre("A1.Speed|-5.0|9", "B2.Speed|0.0|2"))
        << "pair " << pair;
  }
  EXPECT_THAT(ComponentFiles(inst.component),
              ElementsAre("Horavex.cfg", "Horavex.mdb", "Horavex.mdb.bak", "Horavex.mdb.bak2",
                          "Horavex.mdb.bak3", "Horavex.mdb.bak4", "Horavex.mdb.bak5",
                          "Horavex_Source.mdb"));
}

#endif

TEST_F(PublishTest, TemplateOfTheWholeIdRangeIsGeneratedAndPublished) {
  MakeTemplate({});
  Execute(Source(),
          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32767) "
          "INSERT INTO Source_PRESET_DEFS SELECT i, 1, 'PRESS', 3, 'V' || i, 1, 0, i, 'T', 'P', "
          "0, 600, 1, 60, 2 FROM n");
  MakeComponent({"1, 1, 'PRESS', 3, 'A1.V32767', 1, 0, 32767, 't', 'p', -7, 7, -7, 7, 7"});
  inst.Write(inst.Cfg(), "[Project]\r\nForMachine1=True\r\n");
  run.WorkOnMDB();
  EXPECT_THAT(QueryRows(Target(), "SELECT count(*), max(ID) FROM PRESET_DEFS"),
              ElementsAre("32767|32767"));
  EXPECT_THAT(QueryRows(Target(), "SELECT abs_min FROM PRESET_DEFS WHERE ID = 32767"),
              ElementsAre("-7.0"));
  // Counting on from the last ID is the one failure.
  EXPECT_EQ(ErrorLog(),
            "Fehler in Horavex / Horavex_Config / CreateRecordSets (Nr. 6) :Overflow\r\n");
}

}  // namespace
}  // namespace horavex::testing
