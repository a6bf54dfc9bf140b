#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>

#include "dao/DatabaseKind.h"
#include "jet/MdbImport.h"
#include "platform/Failure.h"
#include "platform/Isolated.h"
#include "platform/Text.h"
#include "support/Databases.h"
#include "support/Installation.h"

namespace horavex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
namespace fs = std::filesystem;

// Real Access files, kept beside the repository with their licences and known contents.
const fs::path kSamples = HORAVEX_JET_SAMPLES;

class JetImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Jet samples in " << kSamples;
  }
  // Imports a file into a new database in the test's folder; the sentences on columns left out.
  std::vector<std::string> Import(const fs::path& source, const std::string& name) {
    return jet::ImportJetFile(inst.files, importer, source.string(), Imported(name).string());
  }
  fs::path Imported(const std::string& name) const { return inst.root / (name + ".sqlite"); }
  std::vector<std::string> Rows(const std::string& name, const std::string& sql) const {
    return QueryRows(Imported(name), sql);
  }

  Installation inst;
  jet::MdbJetImport importer{10};
};

TEST_F(JetImportTest, EverySampleImportsWithItsKnownValues) {
  std::map<std::string, std::vector<std::string>> leftOut;
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    if (entry.path().extension() != ".mdb") continue;
    std::string name = entry.path().stem().string();
    try {
      leftOut[name] = Import(entry.path(), name);
    } catch (const Failure& f) {
      ADD_FAILURE() << name << ": " << f.description();
    }
  }
  ASSERT_EQ(leftOut.size(), 12u);

  // Every common type with its declared type, numbers and dates as stored, NULL and yes/no.
  for (const char* name : {"mdb-reader-V1997-test", "jackcess-testV1997"}) {
    EXPECT_THAT(Rows(name, "SELECT sql FROM sqlite_schema WHERE name = 'Table1'"),
                ElementsAre("CREATE TABLE \"Table1\" (\"A\" TEXT(50), \"B\" TEXT(100), \"C\" "
                            "TINYINT, \"D\" SMALLINT, \"E\" INTEGER, \"F\" DOUBLE, \"G\" DATETIME, "
                            "\"H\" CURRENCY, \"I\" BIT)"))
        << name;
    // 1974-09-21 and 1981-12-12 as OLE day numbers.
    EXPECT_THAT(Rows(name, "SELECT * FROM Table1"),
                UnorderedElementsAre("abcdefg|hijklmnop|2|222|333333333|444.555|27293|3.5|-1",
                                     "a|b|0|0|0|0.0|29932|0|0"))
        << name;
    EXPECT_THAT(Rows(name,
                     "SELECT count(*) FROM Table2 UNION ALL SELECT count(*) FROM "
                     "pragma_table_info('Table2')"),
                ElementsAre("0", "89"));
    // A replication ID cannot be held here; the empty table keeps its other column.
    EXPECT_THAT(Rows(name, "SELECT name FROM pragma_table_info('Table4')"), ElementsAre("name"));
    EXPECT_THAT(leftOut[name], ElementsAre(HasSubstr("table Table4, column data (replication "
                                                     "ID)")));
  }
  EXPECT_THAT(Rows("mdb-reader-V2000-empty", "SELECT name FROM sqlite_schema"), IsEmpty());

  // A memo on a page of its own comes whole, not cut at the library's buffer.
  EXPECT_THAT(Rows("jackcess-test2V1997",
                   "SELECT length(PROJ_PROP_AUTHOR), substr(PROJ_PROP_AUTHOR, 1, 18) FROM "
                   "MSP_PROJECTS"),
              ElementsAre("348|Jon Iles this is a"));
  EXPECT_THAT(leftOut["jackcess-test2V1997"],
              ElementsAre(HasSubstr("column RESERVED_BINARY_DATA (OLE object)")));

  EXPECT_THAT(Rows("jackcess-delTestV1997", "SELECT count(*) FROM [Table]"), ElementsAre("2"));
  for (const char* name : {"jackcess-delColTestV1997", "jackcess-delColTestV2000"}) {
    EXPECT_THAT(Rows(name, "SELECT * FROM Table1"), ElementsAre("0|2|foo|foo2", "3|5|bar|bar2"))
        << name;
  }
  for (const char* name : {"jackcess-overflowTestV1997", "jackcess-overflowTestV2000"}) {
    std::vector<std::string> rows = Rows(name, "SELECT * FROM Table1");
    EXPECT_EQ(rows.size(), 7u) << name;
    EXPECT_THAT(rows, ::testing::Contains("NULL|row3col3|NULL|NULL|NULL|NULL|NULL|row3col9|NULL"))
        << name;
  }
  // Jet 4 counts a text's size in bytes of UTF-16: two bytes are one character.
  EXPECT_THAT(Rows("jackcess-fixedTextTestV2000",
                   "SELECT DISTINCT c_flag_ || '|' || (SELECT type FROM "
                   "pragma_table_info('users') WHERE name = 'c_flag_') FROM users"),
              ElementsAre("N|TEXT(1)"));

  std::u32string latin;
  for (char32_t c = 1; c <= 0xFF; ++c) latin += c;
  EXPECT_THAT(Rows("jackcess-testUnicodeCompV2003", "SELECT Unicode FROM [Table] ORDER BY ID"),
              ::testing::IsSupersetOf(std::vector<std::string>{
                  "ääkkösiä", "Мир", "漢字仮名交じり文", text::FromU32(latin)}));
  EXPECT_THAT(Rows("node-adodb", "SELECT UserId, UserName, UserSex, UserMarried FROM Users"),
              ElementsAre("1|Nuintun|Male|-1", "2|Angela|Female|0", "3|张三|男|-1"));
}

TEST_F(JetImportTest, KindIsToldByTheFirstBytesAndNamedWhereADatabaseCannotBeOpened) {
  using dao::DatabaseKind;
  const fs::path jet3 = kSamples / "mdb-reader-V1997-test.mdb";
  const fs::path jet4 = kSamples / "node-adodb.mdb";
  EXPECT_EQ(dao::KindOfDatabaseFile(jet3.string()), DatabaseKind::kJet3);
  EXPECT_EQ(dao::KindOfDatabaseFile(jet4.string()), DatabaseKind::kJet4);
  inst.Write(inst.root / "empty.mdb", "");
  inst.Write(inst.root / "text.mdb", "Standard Jet DB, or so it says");
  EXPECT_EQ(dao::KindOfDatabaseFile((inst.root / "empty.mdb").string()), DatabaseKind::kNone);
  EXPECT_EQ(dao::KindOfDatabaseFile((inst.root / "text.mdb").string()), DatabaseKind::kOther);
  EXPECT_EQ(dao::KindOfDatabaseFile((inst.root / "missing.mdb").string()), DatabaseKind::kNone);
  Import(jet4, "users");
  EXPECT_EQ(dao::KindOfDatabaseFile(Imported("users").string()), DatabaseKind::kSQLite);

  try {
    dao::Database::Open(jet4.string());
    ADD_FAILURE() << "an Access database opened as SQLite";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), dao::kUnrecognizedFormat);
    EXPECT_THAT(f.description(), HasSubstr("The file is an Access database (Jet 4"));
  }
  // The importer takes Access files only and never writes over a file.
  inst.Write(inst.root / "zero.mdb", "");
  for (const fs::path& source : {inst.root / "zero.mdb", Imported("users")}) {
    try {
      Import(source, "again");
      ADD_FAILURE() << source;
    } catch (const Failure& f) {
      EXPECT_THAT(f.description(), HasSubstr("not an Access (Jet) database")) << source;
    }
  }
  std::string before = inst.Read(Imported("users"));
  EXPECT_THROW(Import(jet3, "users"), Failure);
  EXPECT_EQ(inst.Read(Imported("users")), before);
}

TEST_F(JetImportTest, DamagedFilesEndWithinTheTimeLimitWithAMessageAndNoTarget) {
  const std::string sample = inst.Read(kSamples / "mdb-reader-V1997-test.mdb");
  const std::string jet4 = inst.Read(kSamples / "jackcess-testUnicodeCompV2003.mdb");
  std::string flipped = jet4;
  for (size_t at = 4096; at < flipped.size(); at += 4096) flipped[at + 9] ^= 0x5a;
  std::string pages = sample;
  for (size_t at = 2048 * 3; at < pages.size(); at += 2048 * 5) pages[at] = '\x01';
  // Cut at a page boundary, this file makes the library read the same rows for ever.
  const std::map<std::string, std::string> damaged = {
      {"cut", sample.substr(0, 46 * 2048)},
      {"half", jet4.substr(0, jet4.size() / 2)},
      {"header", sample.substr(0, 100)},
      {"flipped", flipped},
      {"pages", pages},
  };
  jet::MdbJetImport quick(2);
  for (const auto& [name, bytes] : damaged) {
    fs::path source = inst.root / (name + ".mdb");
    inst.Write(source, bytes);
    try {
      jet::ImportJetFile(inst.files, quick, source.string(), Imported(name).string());
      EXPECT_EQ(dao::KindOfDatabaseFile(Imported(name).string()), dao::DatabaseKind::kSQLite);
    } catch (const Failure& f) {
      EXPECT_THAT(f.description(), HasSubstr(name + ".mdb could not be imported: ")) << name;
      EXPECT_FALSE(inst.Exists(Imported(name))) << name;
    }
  }
  // No temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(inst.root)) {
    EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr(".tmp-")));
  }

  // The watchdog itself: work that never ends, that crashes, that fails, that returns.
  EXPECT_EQ(RunIsolated(
                [] {
                  for (volatile bool forever = true; forever;) {
                  }
                  return std::string();
                },
                1)
                .kind,
            IsolatedOutcome::Kind::kTimedOut);
  EXPECT_EQ(RunIsolated(
                [] {
                  ::raise(SIGKILL);
                  return std::string();
                },
                5)
                .kind,
            IsolatedOutcome::Kind::kCrashed);
  IsolatedOutcome failed =
      RunIsolated([]() -> std::string { throw Failure(3343, "x", "page 7 is damaged"); }, 5);
  EXPECT_EQ(failed.kind, IsolatedOutcome::Kind::kFailed);
  EXPECT_EQ(failed.message, "page 7 is damaged");
  IsolatedOutcome done = RunIsolated([] { return std::string("two\nlines\n"); }, 5);
  EXPECT_EQ(done.kind, IsolatedOutcome::Kind::kDone);
  EXPECT_EQ(done.message, "two\nlines\n");
}

}  // namespace
}  // namespace horavex::testing
