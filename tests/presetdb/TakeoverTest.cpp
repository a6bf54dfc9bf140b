#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PresetFixture.h"
#include "dao/Database.h"
#include "platform/Text.h"
#include "presetdb/MatchKey.h"
#include "presetdb/UpdateRun.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TakeoverTest : public PresetFixture {
 protected:
  std::filesystem::path Work() const { return inst.root / "work.mdb"; }
  std::filesystem::path Earlier() const { return inst.root / "earlier.mdb"; }

  // Runs the takeover from the earlier database's PRESET_DEFS into the work database's.
  void TakeOver() {
    dao::Database work = dao::Database::Open(Work().string());
    dao::Database earlier = dao::Database::Open(Earlier().string());
    std::optional<dao::Recordset> records = earlier.OpenRecordset("PRESET_DEFS");
    run.TakeoverMachineCopyMDBData(work, records);
    EXPECT_FALSE(records.has_value());
  }
  std::vector<std::string> WorkValues() const {
    return QueryRows(Work(),
                     "SELECT ID, machine_type, var_name, offset_or_bitno, abs_min, "
                     "abs_max, min, max, pass, text FROM PRESET_DEFS ORDER BY rowid");
  }
  // Earlier records in the standard layout, without part: fifteen fields with category_id.
  static std::string EarlierSql(std::vector<std::string> rows, const std::string& extraColumn = "",
                                const std::string& category = "category_id") {
    if (!extraColumn.empty()) {
      for (std::string& row : rows) row += ", 0";
    }
    return PresetDefsSql("ID INTEGER, machine_type TEXT(50), type SMALLINT, var_name TEXT(100), " +
                             category +
                             " INTEGER, isBitArray BIT, offset_or_bitno INTEGER, text TEXT(255), "
                             "page_name TEXT(50), abs_min DOUBLE, abs_max DOUBLE, min DOUBLE, "
                             "max DOUBLE, pass SMALLINT, spare INTEGER" +
                             extraColumn,
                         rows);
  }
  void MakeWork() const {
    MakeDatabase(Work(), PresetDefsSql(kPresetColumns,
                                       {"1, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 'first', 'p', 0, "
                                        "600, 1, 60, 2",
                                        "2, 1, 'PRESS', 3, 'A1.Speed', 1, 0, 4, 'second', 'p', 0, "
                                        "600, 1, 60, 2",
                                        "3, 1, 'PRESS', 3, 'A1.Time', 1, 0, 6, 'third', 'p', 0, "
                                        "600, 1, 60, 2"}));
  }
  static std::string EarlierRow(const std::string& machineType, const std::string& varName,
                                const std::string& offset, int pass) {
    return "9, " + machineType + ", 3, " + varName + ", 5, 0, " + offset +
           ", 'old text', 'old page', -1, 1, -0.5, 0.5, " + std::to_string(pass) + ", 0";
  }
  void LoadAdditionalFields(const std::string& entry = "") {
    inst.Write(inst.Cfg(), "[Project]\r\nDataBaseAdditionalFields=" + entry + "\r\n");
    inst.module.GetAddFields();
  }

  static constexpr const char* kUnchangedSecond = "2|PRESS|A1.Speed|4|0.0|600.0|1.0|60.0|2|second";
  static constexpr const char* kUnchangedThird = "3|PRESS|A1.Time|6|0.0|600.0|1.0|60.0|2|third";
};

// The takeover matches records in memory; it must pair exactly the texts that its selection's
// ANSI_NOCASE comparison pairs, Windows-1252 letters included.
TEST_F(TakeoverTest, MatchKeysPairTheTextsThatTheNoCaseCollationPairs) {
  const std::vector<std::string> texts = {"Motor", "MOTOR",  "motor ",  "Ärger", "äRGER", "Mötor",
                                          "MÖTOR", "Šaš",    "šAŠ",     "œuvre", "ŒUVRE", "ÿ",
                                          "Ÿ",     "straße", "STRASSE", "µ",     "Μ",     ""};
  dao::Database db = dao::Database::Create((inst.root / "collation.mdb").string());
  db.Execute("CREATE TABLE T (name TEXT(20))");
  for (const std::string& t : texts) db.Execute("INSERT INTO T VALUES (?)", {t});
  std::string keyA, keyB;
  for (const std::string& a : texts) {
    MatchKey(keyA, a, "", 0);
    std::vector<std::string> inMemory;
    for (const std::string& b : texts) {
      MatchKey(keyB, b, "", 0);
      if (keyA == keyB) inMemory.push_back(b);
    }
    std::vector<std::string> selected;
    dao::Recordset records =
        db.OpenRecordset("SELECT name FROM T WHERE name = ? COLLATE ANSI_NOCASE", {a});
    for (; !records.Eof(); records.MoveNext()) {
      selected.push_back(records.Fields()[0].Value().ToText());
    }
    EXPECT_EQ(inMemory, selected) << a;
  }
}

TEST_F(TakeoverTest, FirstMatchingRecordGetsTheLimitsAndThePassLevel) {
  MakeWork();
  MakeDatabase(Earlier(), EarlierSql({EarlierRow("'press'", "'a1.SPEED'", "4", 7),
                                      EarlierRow("'PRESS'", "'A1.Time'", "5", 8),
                                      EarlierRow("'PRESS'", "'A1.Time'", "NULL", 9),
                                      EarlierRow("'OVEN'", "'A1.Time'", "6", 9)}));
  LoadAdditionalFields();
  TakeOver();
  EXPECT_THAT(WorkValues(), ElementsAre("1|PRESS|A1.Speed|4|-1.0|1.0|-0.5|0.5|7|first",
                                        kUnchangedSecond, kUnchangedThird));
  EXPECT_THAT(inst.ui.shown, IsEmpty());
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(TakeoverTest, LegacyCategoryColumnAndAnEmptyTableAreNoFailure) {
  MakeWork();
  MakeDatabase(Earlier(),
               EarlierSql({EarlierRow("'PRESS'", "'A1.Time'", "6", 3)}, "", "Categorie"));
  LoadAdditionalFields();
  TakeOver();
  EXPECT_THAT(WorkValues(),
              ElementsAre("1|PRESS|A1.Speed|4|0.0|600.0|1.0|60.0|2|first", kUnchangedSecond,
                          "3|PRESS|A1.Time|6|-1.0|1.0|-0.5|0.5|3|third"));

  MakeDatabase(Earlier(), EarlierSql({}));
  TakeOver();
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

TEST_F(TakeoverTest, ExtraFieldWithAdditionalFieldsConfiguredGivesNoWarning) {
  MakeWork();
  MakeDatabase(Earlier(),
               EarlierSql({EarlierRow("'PRESS'", "'A1.Time'", "6", 3)}, ", anything INTEGER"));
  LoadAdditionalFields();
  TakeOver();
  EXPECT_THAT(inst.ui.shown, IsEmpty());
  EXPECT_EQ(WorkValues()[2], "3|PRESS|A1.Time|6|-1.0|1.0|-0.5|0.5|3|third");
}

class ExtraFieldWarningTest : public TakeoverTest {
 protected:
  ExtraFieldWarningTest() {
    MakeWork();
    MakeDatabase(Earlier(),
                 EarlierSql({EarlierRow("'PRESS'", "'A1.Time'", "6", 3)}, ", extra INTEGER"));
    // As after a failed load of the additional fields.
    inst.module.AdditionalFieldsCount = 0;
  }
  static constexpr const char* kWarning =
      "WARNING!\n\rMachinecopy contains data in fields that won't be taken over!\n\r"
      "Configurationfile \"HORAVEX.CFG\", missing entry \"DataBaseAdditionalFields \"\n\r"
      "If you continue now this data will be lost.\n\rContinue?";
};

TEST_F(ExtraFieldWarningTest, YesGoesOn) {
  inst.ui.answers = {kAnswerYes};
  TakeOver();
  ASSERT_EQ(inst.ui.shown.size(), 1u);
  EXPECT_EQ(inst.ui.shown[0].text, kWarning);
  EXPECT_EQ(inst.ui.shown[0].title, "Horavex_Config");
  EXPECT_EQ(inst.ui.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(inst.ui.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(inst.ui.shown[0].defaultButton, MsgDefault::Second);
  EXPECT_EQ(WorkValues()[2], "3|PRESS|A1.Time|6|-1.0|1.0|-0.5|0.5|3|third");
}

TEST_F(ExtraFieldWarningTest, NoEndsTheProgramBeforeAnythingIsWritten) {
  std::vector<std::string> before = WorkValues();
  inst.ui.answers = {kAnswerNo, kAnswerOk};
  try {
    TakeOver();
    FAIL() << "the program went on";
  } catch (const ProgramEnded& end) {
    EXPECT_EQ(end.exitCode, kExitEndedOnError);
  }
  ASSERT_EQ(inst.ui.shown.size(), 2u);
  EXPECT_EQ(inst.ui.shown[1].title, "Fatal error");
  EXPECT_EQ(ErrorLog(),
            "Horavex_Config :Database-Error - Contact Administrator! Configurationprogram "
            "\"HORAVEX\" terminated. Please check Configuration in \"HORAVEX.CFG\" Restart " +
                text::Upper(inst.bin.string()) + kSep +
                "Horavex_Config.EXE!\r\n"
                "Fehler in Horavex / Horavex_Config / TakeoverMachineCopyMDBData (Nr. 9999) "
                ":Database-Error - Contact Administrator!\r\n");
  EXPECT_EQ(WorkValues(), before);
}

TEST_F(ExtraFieldWarningTest, SilentStartRecordsTheWarningAndGoesOn) {
  inst.module.SilentMode = true;
  TakeOver();
  EXPECT_EQ(inst.Read(inst.ServicePackLog()),
            "! Fault Horavex_Config: WARNING!Machinecopy contains data in fields that won't be "
            "taken over!Configurationfile \"HORAVEX.CFG\", missing entry "
            "\"DataBaseAdditionalFields \"If you continue now this data will be lost.Continue?"
            "\r\n");
  EXPECT_EQ(WorkValues()[2], "3|PRESS|A1.Time|6|-1.0|1.0|-0.5|0.5|3|third");
}

TEST_F(TakeoverTest, AdditionalFieldInAnotherLetterCaseEndsTheProgramAlsoWhenSilent) {
  MakeDatabase(Work(), PresetDefsSql(std::string(kPresetColumns) + ", Extra INTEGER",
                                     {"1, 1, 'PRESS', 3, 'A1.Time', 1, 0, 6, 't', 'p', 0, 600, 1, "
                                      "60, 2, 0"}));
  MakeDatabase(Earlier(), EarlierSql({EarlierRow("'PRESS'", "'A1.Time'", "6", 3)}));
  LoadAdditionalFields("extra");
  inst.module.SilentMode = true;
  EXPECT_THROW(TakeOver(), ProgramEnded);
  EXPECT_EQ(ErrorLog(),
            "Conflict while attempting to extend database!Configurationsfile \"HORAVEX.CFG\", "
            "demanded field \"EXTRA\"missing in machinecopy-database\n\rConfiguration of "
            "\"HORAVEX\" aborted.\r\n"
            "Fehler in Horavex / Horavex_Config / TakeoverMachineCopyMDBData (Nr. 9999) "
            ":Database-Error - Contact Administrator!\r\n");
  EXPECT_THAT(QueryRows(Work(), "SELECT pass FROM PRESET_DEFS"), ElementsAre("2"));

  LoadAdditionalFields("Extra");
  std::filesystem::remove(inst.ErrorLog());
  TakeOver();
  EXPECT_THAT(QueryRows(Work(), "SELECT pass FROM PRESET_DEFS"), ElementsAre("3"));
  EXPECT_FALSE(inst.Exists(inst.ErrorLog()));
}

}  // namespace
}  // namespace horavex::testing
