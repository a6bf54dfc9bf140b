#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PresetFixture.h"
#include "dao/DatabaseKind.h"
#include "jet/JetImport.h"
#ifdef HORAVEX_HAVE_LIBMDB
#include "jet/MdbImport.h"
#endif

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
namespace fs = std::filesystem;

// Stands for the import of an Access file: hands the run the tables a Jet PRESET_DEFS of the
// Windows program reads as, through the importer's own writer.
class JetRowsImport : public jet::JetImport {
 public:
  std::vector<std::string> Import(const std::string& source, const std::string& target) override {
    sources.push_back(source);
    if (failure) throw *failure;
    jet::WriteTables(tables, target);
    return {};
  }
  std::vector<jet::JetTable> tables;
  std::optional<Failure> failure;
  std::vector<std::string> sources;
};

// The earlier PRESET_DEFS as Access kept it: Jet's types, the legacy column name categorie.
jet::JetTable JetPresetDefs(const std::vector<std::vector<dao::Variant>>& rows) {
  using namespace dao;
  return {"PRESET_DEFS",
          {{"ID", kLong, 0},
           {"part", kInteger, 0},
           {"machine_type", kText, 50},
           {"type", kInteger, 0},
           {"var_name", kText, 100},
           {"categorie", kLong, 0},
           {"isBitArray", kBoolean, 0},
           {"offset_or_bitno", kLong, 0},
           {"text", kText, 255},
           {"page_name", kText, 50},
           {"abs_min", kDouble, 0},
           {"abs_max", kDouble, 0},
           {"min", kDouble, 0},
           {"max", kDouble, 0},
           {"pass", kInteger, 0}},
          rows,
          {}};
}
std::vector<dao::Variant> JetRow(int id, const std::string& varName, double absMin, int pass) {
  return {id, 1, "PRESS", 3, varName, 1, 0, 4, dao::Variant(), "", absMin, 600.0, 1.0, 60.0, pass};
}

// An Access 2000 file as far as its first bytes tell; only the double reads it.
std::string JetBytes(char filler) {
  std::string bytes("\x00\x01\x00\x00Standard Jet DB\x00\x01", 21);
  bytes.resize(4096, filler);
  return bytes;
}

class JetTakeoverTest : public PresetFixture {
 protected:
  JetTakeoverTest() {
    inst.module.SilentMode = true;
    run.jetImport = &import;
  }
  std::vector<std::string> Limits() const { return Presets(Target(), "var_name, abs_min, pass"); }
  fs::path Backup() const { return inst.component / "Horavex.mdb.bak"; }

  JetRowsImport import;
};

TEST_F(JetTakeoverTest, EarlierAccessDatabaseIsImportedTakenOverAndKeptAsTheBackup) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  import.tables = {JetPresetDefs({JetRow(1, "A1.Speed", -5, 9), JetRow(2, "B2.Speed", -7, 8)})};
  inst.Write(Target(), JetBytes('a'));
  run.WorkOnMDB();
  EXPECT_THAT(import.sources, ElementsAre(Target().string()));
  EXPECT_EQ(ErrorLog(), "");
  EXPECT_THAT(Limits(), ElementsAre("A1.Speed|-5.0|9", "B2.Speed|-7.0|8"));
  EXPECT_EQ(inst.Read(Backup()), JetBytes('a'));

  // An integrated start takes the machine copy, also an Access file, over a Jet component.
  fs::path machineCopy = inst.root / "SaveAndRestore" / "Horavex" / "Horavex.mdb";
  inst.Write(inst.ConfigIni(), "[Common]\r\nNameM1=A1\r\nNameM2=B2\r\nSaveAndRestore=" +
                                   machineCopy.parent_path().parent_path().string() + "\r\n");
  inst.Write(machineCopy, JetBytes('m'));
  inst.Write(Target(), JetBytes('b'));
  import.tables = {JetPresetDefs({JetRow(1, "A1.Speed", -1, 4)})};
  inst.module.StartModeIntegrated = true;
  run.WorkOnMDB();
  EXPECT_EQ(import.sources.back(), machineCopy.string());
  EXPECT_EQ(ErrorLog(), "");
  EXPECT_THAT(Limits(), ElementsAre("A1.Speed|-1.0|4", "B2.Speed|0.0|2"));
  EXPECT_EQ(inst.Read(Backup()), JetBytes('b'));
}

TEST_F(JetTakeoverTest, UnreadableAccessDatabaseOrTemplateIsReportedAsSuchAndNothingChanges) {
  MakeTemplate({Row(1, 1, "Speed", 4)});
  inst.Write(Target(), JetBytes('a'));
  import.failure = Failure(3343, jet::kImportSource,
                           "Horavex.mdb could not be imported: reading it did not end within 60 "
                           "s (the file is probably damaged).");
  run.WorkOnMDB();
  run.jetImport = nullptr;
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Target()), JetBytes('a'));
  EXPECT_FALSE(inst.Exists(Backup()));
  const std::string kept =
      "(Nr. 3343) :Horavex.mdb was kept unchanged: the earlier records in Horavex.mdb, an "
      "Access database (Jet 4, Access 2000 to 2003), could not be read. ";
  EXPECT_THAT(ErrorLog(), HasSubstr(kept + "Horavex.mdb could not be imported: reading it did "
                                           "not end within 60 s (the file is probably "
                                           "damaged). Remove or repair Horavex.mdb"));
  EXPECT_THAT(ErrorLog(), HasSubstr(kept + "This build of the program has no importer"));

  // The program never writes Access files: a template that is one is only reported.
  MakeComponent({"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 't', 'p', -5, 500, 2, 50, 9"});
  const std::string component = inst.Read(Target());
  inst.Write(Source(), JetBytes('t'));
  fs::remove(inst.ErrorLog());
  run.WorkOnMDB();
  EXPECT_EQ(inst.Read(Source()), JetBytes('t'));
  EXPECT_EQ(inst.Read(Target()), component);
  EXPECT_FALSE(inst.Exists(Backup()));
  EXPECT_THAT(ErrorLog(),
              HasSubstr("Horavex.mdb was kept unchanged: the template is an Access database. "
                        "Horavex_Source.mdb is an Access database (Jet 4, Access 2000 to 2003): "
                        "convert it once with Horavex_ImportJet: mv '" +
                        Source().string() + "' '" + Source().string() + ".jet' && '" +
                        (inst.bin / "Horavex_ImportJet").string() + "' '" + Source().string() +
                        ".jet' '" + Source().string() + "'\r\n"));
  EXPECT_GT(inst.module.FailuresReported(), 0);
}

#ifdef HORAVEX_HAVE_LIBMDB
TEST_F(JetTakeoverTest, RealAccessFileAsTheEarlierDatabaseIsImportedKeptAndReplaced) {
  const fs::path sample = fs::path(HORAVEX_JET_SAMPLES) / "node-adodb.mdb";
  if (!fs::exists(sample)) GTEST_SKIP() << "no Jet samples beside the repository";
  jet::MdbJetImport libmdb(30);
  run.jetImport = &libmdb;
  MakeTemplate({Row(1, 1, "Speed", 4)});
  const std::string earlier = inst.Read(sample);
  inst.Write(Target(), earlier);
  run.WorkOnMDB();
  // It has no PRESET_DEFS: the category step says so, as for any such earlier database.
  EXPECT_THAT(ErrorLog(), HasSubstr("CategorieNachCategoryID (Nr. 3265)"));
  EXPECT_THAT(ErrorLog(), Not(HasSubstr("kept unchanged")));
  EXPECT_EQ(inst.Read(Backup()), earlier);
  EXPECT_EQ(dao::KindOfDatabaseFile(Target().string()), dao::DatabaseKind::kSQLite);
  EXPECT_THAT(Limits(), ElementsAre("A1.Speed|0.0|2", "B2.Speed|0.0|2"));
}
#endif

}  // namespace
}  // namespace horavex::testing
