#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "app/HoravexConfigForm.h"
#include "app/TopLevel.h"
#include "presetdb/UpdateRun.h"
#include "support/Databases.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr uid_t kPlantUser = 65534;  // the ordinary account that owns and writes the plant
constexpr uid_t kOtherUser = 12345;

// An installation for a whole silent start, in a plant whose folders an ordinary account owns
// and writes, beside a folder of root's own files.
struct Plant {
  Plant() {
    fs::path data = fs::path(HORAVEX_TEST_DATA) / "endtoend";
    inst.Write(inst.ProgramIni(), inst.Read(data / "Program.ini"));
    inst.Write(inst.Cfg(), inst.Read(data / "Horavex.cfg"));
    MakeDatabase(inst.component / "Horavex_Source.mdb", inst.Read(data / "template.sql"));
    MakeDatabase(inst.component / "Horavex.mdb", inst.Read(data / "component.sql"));
    inst.process.commandLine = "/EXTERNAL SILENT";
    inst.Write(outside / "notes.txt", "root's notes\r\n");
    // Settings files of root's that a run would gladly write into.
    inst.Write(outside / "settings.ini", inst.Read(inst.ProgramIni()));
    inst.Write(outside / "settings.cfg", inst.Read(inst.Cfg()));
    MakeDatabase(outside / "root.db", inst.Read(data / "component.sql"));
    fs::permissions(outside, fs::perms(0700));
    fs::permissions(inst.root, fs::perms(0711));
    GiveToPlantUser(inst.project);
    GiveToPlantUser(inst.driveC);
  }

  // A template whose variable names do not all fit: the run reports (3163) and keeps the
  // component database, so the logs are written.
  void NarrowTemplate() {
    std::string sql = inst.Read(fs::path(HORAVEX_TEST_DATA) / "endtoend/template.sql");
    sql.replace(sql.find("var_name TEXT(50)"), 17, "var_name TEXT(36)");
    fs::remove(inst.component / "Horavex_Source.mdb");
    MakeDatabase(inst.component / "Horavex_Source.mdb", sql);
    ASSERT_EQ(::chown((inst.component / "Horavex_Source.mdb").c_str(), kPlantUser, kPlantUser), 0);
  }

  static void GiveToPlantUser(const fs::path& folder) {
    ASSERT_EQ(::lchown(folder.c_str(), kPlantUser, kPlantUser), 0);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      ASSERT_EQ(::lchown(entry.path().c_str(), kPlantUser, kPlantUser), 0);
    }
  }
  // What the plant user puts at a name: a symbolic link or a FIFO of its own.
  static void PlantLink(const fs::path& at, const fs::path& target) {
    fs::remove(at);
    fs::create_symlink(target, at);
    ASSERT_EQ(::lchown(at.c_str(), kPlantUser, kPlantUser), 0);
  }
  static void PlantFifo(const fs::path& at) {
    fs::remove(at);
    ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0);
    ASSERT_EQ(::lchown(at.c_str(), kPlantUser, kPlantUser), 0);
  }

  // Every file below the folder with its owner, link count and content.
  std::map<std::string, std::string> Snapshot(const fs::path& folder) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      struct stat st {};
      ::lstat(entry.path().c_str(), &st);
      std::string content = std::to_string(st.st_uid) + " " + std::to_string(st.st_nlink) + ":";
      if (entry.is_regular_file()) content += inst.Read(entry.path());
      files[entry.path().string()] = content;
    }
    return files;
  }
  std::string ErrorLog() const { return inst.Read(inst.ErrorLog()); }

  // A silent start to its end, as the run-time ends it.
  int RunSilently() {
    UpdateRun update(inst.module);
    HoravexConfigForm dialog(inst.module, update);
    try {
      RunTopLevel(dialog, [&] { dialog.Form_Load(); });
    } catch (const ProgramEnded& end) {
      return end.exitCode;
    }
    return -1;
  }

  Installation inst;
  fs::path outside = inst.root / "root-only";  // root's own files, in a folder of root's
};

// Whole silent starts as root: whatever the plant's writer planted at a name the run uses, the
// files outside the installation stay as they were and the run ends.
class PlantedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can act as two users";
  }
};

TEST_F(PlantedFilesTest, WhatTheFoldersWriterPlantsGivesItNothing) {
  struct Row {
    const char* planted;
    std::function<void(Plant&)> plant;
    std::function<void(Plant&)> check;
    bool refused = true;  // the run reports what it refused
  };
  const std::vector<Row> rows = {
      {"a backup generation linked to a database of root's",
       [](Plant& t) {
         Plant::PlantLink(t.inst.component / "Horavex.mdb.bak", t.outside / "root.db");
       },
       [](Plant& t) {
         // Replaced by the backup, the link never followed: the run published.
         EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(t.inst.component / "Horavex.mdb.bak")));
         EXPECT_THAT(t.ErrorLog(), ::testing::Not(HasSubstr("kept unchanged")));
       },
       false},
      {"the component database linked to a database of root's",
       [](Plant& t) { Plant::PlantLink(t.inst.component / "Horavex.mdb", t.outside / "root.db"); },
       [](Plant& t) {
         EXPECT_THAT(t.ErrorLog(),
                     HasSubstr("Horavex.mdb was kept unchanged: the rebuilt database could not "
                               "be put in its place. Permission denied"));
       }},
      {"Horavex.cfg linked to a file of root's",
       [](Plant& t) { Plant::PlantLink(t.inst.Cfg(), t.outside / "settings.cfg"); }, nullptr},
      {"Program.ini linked to a file of root's",
       [](Plant& t) { Plant::PlantLink(t.inst.ProgramIni(), t.outside / "settings.ini"); },
       nullptr},
      {"the error log linked to a file of root's",
       [](Plant& t) {
         t.NarrowTemplate();
         Plant::PlantLink(t.inst.ErrorLog(), t.outside / "notes.txt");
       },
       nullptr},
      {"the service pack log in the drive folder linked to a file of root's",
       [](Plant& t) {
         t.NarrowTemplate();
         Plant::PlantLink(t.inst.ServicePackLog(), t.outside / "notes.txt");
       },
       nullptr},
      {"the lock file linked to a new name in root's folder",
       [](Plant& t) {
         Plant::PlantLink(t.inst.component / "Horavex.mdb.lock", t.outside / "nologin");
       },
       [](Plant& t) {
         EXPECT_THAT(t.ErrorLog(),
                     HasSubstr("Horavex.mdb was kept unchanged: its lock file could not be "
                               "opened. Permission denied"));
       }},
      {"Horavex.cfg as a second name of another user's file",
       [](Plant& t) {
         t.inst.Write(t.outside / "other.cfg", t.inst.Read(t.inst.Cfg()));
         ASSERT_EQ(::chown((t.outside / "other.cfg").c_str(), kOtherUser, kOtherUser), 0);
         fs::remove(t.inst.Cfg());
         fs::create_hard_link(t.outside / "other.cfg", t.inst.Cfg());
       },
       nullptr},
      {"a FIFO under a leftover temporary name of Program.ini",
       [](Plant& t) { Plant::PlantFifo(t.inst.parameter / ".Program.ini.tmp-AAAAAA"); },
       [](Plant& t) {
         EXPECT_FALSE(fs::exists(fs::symlink_status(t.inst.parameter / ".Program.ini.tmp-AAAAAA")));
         // Written as ever: the FIFO was no temporary file of the run's.
         EXPECT_EQ(t.inst.Read(t.inst.ProgramIni()),
                   t.inst.Read(fs::path(HORAVEX_TEST_DATA) / "endtoend/expected/Program.ini"));
       },
       false},
      {"a FIFO as the error log",
       [](Plant& t) {
         t.NarrowTemplate();
         Plant::PlantFifo(t.inst.ErrorLog());
       },
       nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.planted);
    Plant t;
    row.plant(t);
    const auto before = t.Snapshot(t.outside);
    // The run ends (a run that waited on a FIFO would be ended by the test's time limit) and
    // has reported what it refused.
    int status = t.RunSilently();
    if (row.refused) {
      EXPECT_NE(status, kExitOk);
    }
    EXPECT_EQ(t.Snapshot(t.outside), before);
    if (row.check) row.check(t);
  }
}

// The plant user running the program itself: its own links are written through, as before.
TEST_F(PlantedFilesTest, LinksOfTheRunningUserAreFollowed) {
  Plant plant;
  plant.NarrowTemplate();
  Installation& inst = plant.inst;
  fs::path own = inst.root / "plant-user";
  inst.Write(own / "Horavex.cfg", inst.Read(inst.Cfg()));
  Plant::GiveToPlantUser(own);
  Plant::PlantLink(inst.Cfg(), own / "Horavex.cfg");
  Plant::PlantLink(inst.ErrorLog(), own / "log.txt");
  pid_t child = ::fork();
  if (child == 0) {
    int code = -1;
    if (::setgid(kPlantUser) == 0 && ::setuid(kPlantUser) == 0) code = plant.RunSilently();
    ::_exit(code == kExitDoneWithFailures ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::is_symlink(inst.Cfg()));
  EXPECT_THAT(inst.Read(own / "Horavex.cfg"), HasSubstr("S_Prog="));
  EXPECT_THAT(inst.Read(own / "log.txt"), HasSubstr("(Nr. 3163)"));
}

}  // namespace
}  // namespace horavex::testing
