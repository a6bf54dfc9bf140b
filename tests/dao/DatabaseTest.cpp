#include "dao/Database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>
#include <tuple>

#include "dao/DatabaseDetail.h"
#include "dao/RecordSetWalk.h"
#include "platform/Failure.h"
#include "support/TestFileSystem.h"

namespace horavex::dao {
namespace {

namespace fs = std::filesystem;

// The failure a call raises; a call that does not fail is a test failure.
Failure FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure;
  }
  ADD_FAILURE() << "expected a failure";
  return Failure(0, "", "");
}

// Direct SQLite access, to look at files without the layer's help.
class RawDb {
 public:
  explicit RawDb(const fs::path& path) { sqlite3_open(path.string().c_str(), &handle_); }
  ~RawDb() { sqlite3_close(handle_); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    ASSERT_EQ(sqlite3_exec(handle_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  }
  // The first column of every row, as text ("NULL" for null).
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(handle_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(handle_);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* value = sqlite3_column_text(statement, 0);
      out.push_back(value ? reinterpret_cast<const char*>(value) : "NULL");
    }
    sqlite3_finalize(statement);
    return out;
  }

 private:
  sqlite3* handle_ = nullptr;
};

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override { root = horavex::testing::MakeTemporaryFolder("horavex-db-"); }
  void TearDown() override { fs::remove_all(root); }

  std::string Path(const std::string& name = "test.mdb") const { return (root / name).string(); }

  // A table with the given fields, appended through the layer.
  static void MakeTable(Database& db, const std::string& name,
                        const std::vector<std::tuple<std::string, DataType, int32_t>>& fields) {
    TableDef table = db.CreateTableDef(name);
    for (const auto& [field, type, size] : fields) {
      table.Fields().Append(table.CreateField(field, type, size));
    }
    db.TableDefs().Append(table);
  }

  // PRESET_DEFS-like rows: machine_type, var_name, offset_or_bitno, abs_min.
  static void MakePresets(Database& db) {
    MakeTable(db, "PRESET_DEFS",
              {{"ID", kLong, 0},
               {"machine_type", kText, 50},
               {"var_name", kText, 100},
               {"offset_or_bitno", kLong, 0},
               {"abs_min", kDouble, 0}});
    Recordset records = db.OpenRecordset("PRESET_DEFS");
    int id = 1;
    for (auto [type, name, offset] : std::vector<std::tuple<const char*, const char*, int>>{
             {"M1", "Temp", 4}, {"M1", "Temp", 4}, {"M2", "Temp", 4}, {"M1", "Speed", 8}}) {
      records.AddNew();
      records.Fields()["ID"].SetValue(id++);
      records.Fields()["machine_type"].SetValue(type);
      records.Fields()["var_name"].SetValue(name);
      records.Fields()["offset_or_bitno"].SetValue(offset);
      records.Fields()["abs_min"].SetValue(0.0);
      records.Update();
    }
  }

  static std::vector<std::string> Names(const TableDefCollection& tables) {
    std::vector<std::string> names;
    for (const TableDef& table : tables) names.push_back(table.Name());
    return names;
  }

  fs::path root;
};

const std::string kCheckSql = "SELECT abs_min FROM PRESET_DEFS ORDER BY rowid";

// --- field types -------------------------------------------------------------------------------

TEST_F(DatabaseTest, EveryTypeReadsBackWithItsSizeAfterReopening) {
  const std::vector<std::tuple<std::string, DataType, int32_t, int32_t>> fields = {
      {"yes", kBoolean, 0, 1},    {"byte", kByte, 0, 1},      {"int", kInteger, 0, 2},
      {"long", kLong, 7, 4},      {"money", kCurrency, 0, 8}, {"single", kSingle, 0, 4},
      {"double", kDouble, 0, 8},  {"date", kDate, 0, 8},      {"text", kText, 50, 50},
      {"text255", kText, 0, 255}, {"memo", kMemo, 0, 0},      {"big", kBigInt, 0, 8}};
  {
    Database db = Database::Create(Path());
    TableDef table = db.CreateTableDef("All");
    for (const auto& [name, type, size, expected] : fields) {
      table.Fields().Append(table.CreateField(name, type, size));
    }
    db.TableDefs().Append(table);
  }
  Database db = Database::Open(Path());
  FieldCollection& read = db.TableDefs()["All"].Fields();
  ASSERT_EQ(read.Count(), fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(read[i].Name(), std::get<0>(fields[i]));
    EXPECT_EQ(read[i].Type(), std::get<1>(fields[i])) << std::get<0>(fields[i]);
    EXPECT_EQ(read[i].Size(), std::get<3>(fields[i])) << std::get<0>(fields[i]);
  }
}

TEST_F(DatabaseTest, DeclaredTypesGiveSqliteTheRightAffinity) {
  {
    Database db = Database::Create(Path());
    MakeTable(
        db, "T",
        {{"long", kLong, 0}, {"text", kText, 10}, {"memo", kMemo, 0}, {"double", kDouble, 0}});
  }
  RawDb raw(root / "test.mdb");
  // Text that looks like a number must stay text in text fields, and become a number elsewhere.
  raw.Exec("INSERT INTO T VALUES ('12', '007', '007', '2')");
  EXPECT_EQ(raw.Column("SELECT typeof(long) || typeof(text) || typeof(memo) || typeof(double) "
                       "FROM T"),
            std::vector<std::string>{"integertexttextreal"});
  EXPECT_EQ(raw.Column("SELECT memo FROM T"), std::vector<std::string>{"007"});
}

TEST_F(DatabaseTest, ForeignDeclaredTypesMapLikeJet) {
  EXPECT_EQ(ParseDeclaredType("varchar(20)"), std::make_pair(kText, 20));
  EXPECT_EQ(ParseDeclaredType("TEXT"), std::make_pair(kText, 255));
  EXPECT_EQ(ParseDeclaredType("TEXT(300)"), std::make_pair(kMemo, 0));
  EXPECT_EQ(ParseDeclaredType("YESNO"), std::make_pair(kBoolean, 1));
  EXPECT_EQ(ParseDeclaredType(" short "), std::make_pair(kInteger, 2));
  EXPECT_EQ(ParseDeclaredType("MEDIUMINT"), std::make_pair(kLong, 4));
  EXPECT_EQ(ParseDeclaredType("NUMERIC(10,2)"), std::make_pair(kDouble, 8));
  EXPECT_EQ(ParseDeclaredType(""), std::make_pair(kMemo, 0));
  EXPECT_EQ(FailureOf([] { DeclaredType(DataType(9), 0); }).number(), kInvalidFieldType);
  EXPECT_EQ(FailureOf([] { DeclaredType(kText, 256); }).number(), kInvalidArgument);
}

TEST_F(DatabaseTest, CopiedFieldDefinitionsGiveTheSameFieldsAndNothingElse) {
  Database db = Database::Create(Path());
  RawDb(root / "test.mdb")
      .Exec(
          "CREATE TABLE Source_PRESET_DEFS (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
          "machine_type TEXT(50) NOT NULL DEFAULT 'x', var_name VARCHAR(100) UNIQUE, "
          "pass SMALLINT, abs_min DOUBLE, flag BIT, note LONGTEXT)");
  db.TableDefs().Refresh();
  TableDef source = db.TableDefs()["Source_PRESET_DEFS"];
  TableDef copy = db.CreateTableDef("PRESET_DEFS");
  for (const Field& field : source.Fields()) {
    copy.Fields().Append(copy.CreateField(field.Name(), field.Type(), field.Size()));
  }
  db.TableDefs().Append(copy);

  FieldCollection& made = db.TableDefs()["PRESET_DEFS"].Fields();
  ASSERT_EQ(made.Count(), source.Fields().Count());
  for (size_t i = 0; i < made.Count(); ++i) {
    EXPECT_EQ(made[i].Name(), source.Fields()[i].Name());
    EXPECT_EQ(made[i].Type(), source.Fields()[i].Type());
    EXPECT_EQ(made[i].Size(), source.Fields()[i].Size());
  }
  RawDb raw(root / "test.mdb");
  EXPECT_EQ(raw.Column("SELECT count(*) FROM pragma_table_info('PRESET_DEFS') "
                       "WHERE pk OR \"notnull\" OR dflt_value IS NOT NULL"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(raw.Column("SELECT count(*) FROM pragma_index_list('PRESET_DEFS')"),
            std::vector<std::string>{"0"});
  // Without a key, two equal records and a record of nulls are accepted.
  raw.Exec("INSERT INTO PRESET_DEFS (ID, var_name) VALUES (1, 'a'), (1, 'a'), (NULL, NULL)");
}

// --- table definitions -------------------------------------------------------------------------

TEST_F(DatabaseTest, TablesListInCreationOrderAndAreFoundInAnyCase) {
  {
    Database db = Database::Create(Path());
    for (const char* name : {"Zeta", "Alpha", "Übersicht", "Mid"}) {
      MakeTable(db, name, {{"a", kLong, 0}});
    }
    db.TableDefs().Delete("alpha");
    MakeTable(db, "Beta", {{"a", kLong, 0}});
    EXPECT_EQ(Names(db.TableDefs()),
              (std::vector<std::string>{"Zeta", "Übersicht", "Mid", "Beta"}));
  }
  Database db = Database::Open(Path());
  EXPECT_EQ(Names(db.TableDefs()), (std::vector<std::string>{"Zeta", "Übersicht", "Mid", "Beta"}));
  EXPECT_EQ(db.TableDefs()["ZETA"].Name(), "Zeta");
  EXPECT_EQ(db.TableDefs()["übersicht"].Name(), "Übersicht");
  Failure missing = FailureOf([&] { db.TableDefs()["Alpha"]; });
  EXPECT_EQ(missing.number(), kItemNotFound);
  EXPECT_EQ(missing.source(), "DAO.TableDefs");
  EXPECT_EQ(missing.description(), "Item not found in this collection.");
  EXPECT_EQ(FailureOf([&] { db.TableDefs().Delete("Alpha"); }).number(), kItemNotFound);
  // A name SQLite itself would not match (it folds ASCII only) is still dropped.
  db.TableDefs().Delete("ÜBERSICHT");
  EXPECT_EQ(RawDb(root / "test.mdb").Column("SELECT count(*) FROM sqlite_schema"),
            std::vector<std::string>{"3"});
}

TEST_F(DatabaseTest, TablesMadeThroughSqlShowAfterRefresh) {
  Database db = Database::Create(Path());
  EXPECT_EQ(db.TableDefs().Count(), 0u);
  db.Execute("CREATE TABLE Later (a TEXT(5))");
  EXPECT_FALSE(db.TableDefs().Find("Later"));
  db.TableDefs().Refresh();
  ASSERT_TRUE(db.TableDefs().Find("later"));
  EXPECT_EQ(db.TableDefs()["Later"].Fields()["A"].Size(), 5);
}

TEST_F(DatabaseTest, AppendRefusesFaultyDefinitions) {
  Database db = Database::Create(Path());
  MakeTable(db, "Taken", {{"a", kLong, 0}});
  auto numberOf = [&](const std::string& name, const std::vector<std::string>& fields) {
    return FailureOf([&] {
             TableDef table = db.CreateTableDef(name);
             for (const std::string& field : fields) {
               table.Fields().Append(table.CreateField(field, kLong));
             }
             db.TableDefs().Append(table);
           })
        .number();
  };
  EXPECT_EQ(numberOf("TAKEN", {"a"}), kTableExists);
  EXPECT_EQ(numberOf("Empty", {}), kNoFieldsDefined);
  EXPECT_EQ(numberOf("Twice", {"name", "NAME"}), kFieldDefinedTwice);
  EXPECT_EQ(numberOf("Twice", {"größe", "GRÖSSE", "GRÖßE"}), kFieldDefinedTwice);
  EXPECT_EQ(numberOf("a.b", {"a"}), kInvalidName);
  EXPECT_EQ(numberOf("Bad", {"x]"}), kInvalidName);

  TableDef first = db.CreateTableDef("First");
  Field field = first.CreateField("a", kLong);
  first.Fields().Append(field);
  TableDef second = db.CreateTableDef("Second");
  EXPECT_EQ(FailureOf([&] { second.Fields().Append(field); }).number(), kFieldAlreadyAppended);
  EXPECT_EQ(Names(db.TableDefs()), std::vector<std::string>{"Taken"});
}

TEST_F(DatabaseTest, RenamingAFieldKeepsItsValuesAndRefusesATakenName) {
  {
    Database db = Database::Create(Path());
    MakeTable(db, "PRESET_DEFS",
              {{"Categorie", kText, 20}, {"category_id", kLong, 0}, {"Other", kText, 20}});
    db.Execute("INSERT INTO PRESET_DEFS VALUES ('Druck', 1, 'x'), ('Temp', 2, 'y')");
    FieldCollection& fields = db.TableDefs()["PRESET_DEFS"].Fields();
    Failure taken = FailureOf([&] { fields["Categorie"].SetName("CATEGORY_ID"); });
    EXPECT_EQ(taken.number(), kFieldDefinedTwice);
    EXPECT_EQ(taken.source(), "DAO.Field");
    EXPECT_EQ(fields[0].Name(), "Categorie");
    fields["Other"].SetName("we\"ird name");
    fields["Categorie"].SetName("category");
  }
  Database db = Database::Open(Path());
  FieldCollection& fields = db.TableDefs()["PRESET_DEFS"].Fields();
  EXPECT_EQ(fields[0].Name(), "category");
  EXPECT_EQ(fields[0].Size(), 20);
  EXPECT_EQ(fields[2].Name(), "we\"ird name");
  Recordset records = db.OpenRecordset("PRESET_DEFS");
  EXPECT_EQ(records.Fields()["category"].Value(), Variant("Druck"));
  EXPECT_EQ(records.Fields()["WE\"IRD NAME"].Value(), Variant("x"));
  records.MoveNext();
  EXPECT_EQ(records.Fields()[0].Value(), Variant("Temp"));
}

TEST_F(DatabaseTest, FieldsRefreshReadsRenamesMadeThroughSql) {
  Database db = Database::Create(Path());
  MakeTable(db, "T", {{"old", kLong, 0}});
  Field held = db.TableDefs()["T"].Fields()[0];
  db.Execute("ALTER TABLE T RENAME COLUMN old TO newer");
  db.TableDefs()["T"].Fields().Refresh();
  EXPECT_EQ(db.TableDefs()["T"].Fields()[0].Name(), "newer");
  // The field taken before the change is no longer attached: renaming it leaves the file alone.
  held.SetName("other");
  EXPECT_EQ(RawDb(root / "test.mdb").Column("SELECT name FROM pragma_table_info('T')"),
            std::vector<std::string>{"newer"});

  TableDef table = db.TableDefs()["T"];
  table.Fields().Append(table.CreateField("added", kText, 8));
  EXPECT_EQ(RawDb(root / "test.mdb").Column("SELECT type FROM pragma_table_info('T')"),
            (std::vector<std::string>{"INTEGER", "TEXT(8)"}));
}

// --- record sets -------------------------------------------------------------------------------

TEST_F(DatabaseTest, TableRecordSetWalksInInsertionOrderWithExactCount) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset records = db.OpenRecordset("preset_defs");
  EXPECT_EQ(records.RecordCount(), 4);
  std::vector<int64_t> ids;
  for (; !records.Eof(); records.MoveNext()) {
    ids.push_back(records.Fields()["id"].Value().ToInteger());
  }
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(FailureOf([&] { records.MoveNext(); }).number(), kNoCurrentRecord);
  Failure noRecord = FailureOf([&] { records.Fields()[0].Value(); });
  EXPECT_EQ(noRecord.number(), kNoCurrentRecord);
  EXPECT_EQ(noRecord.description(), "No current record.");
  EXPECT_EQ(FailureOf([&] { records.Edit(); }).number(), kNoCurrentRecord);

  // A record added later counts at once and the position stays where it was.
  records.MoveFirst();
  records.AddNew();
  records.Fields()["ID"].SetValue(99);
  records.Update();
  EXPECT_EQ(records.RecordCount(), 5);
  EXPECT_EQ(records.Fields()["ID"].Value(), Variant(1));
  records.MoveLast();
  EXPECT_EQ(records.Fields()["ID"].Value(), Variant(99));
  EXPECT_TRUE(records.Fields()["abs_min"].Value().IsNull());
  EXPECT_EQ(records.Fields().Count(), 5u);
  EXPECT_EQ(FailureOf([&] { records.Fields()["missing"]; }).source(), "DAO.Fields");
}

TEST_F(DatabaseTest, AbsolutePositionMovesToARecordAndEditsIt) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset records = db.OpenRecordset("PRESET_DEFS");
  records.SetAbsolutePosition(2);
  EXPECT_EQ(records.AbsolutePosition(), 2);
  EXPECT_EQ(records.Fields()["ID"].Value(), Variant(3));
  records.Edit();
  records.Fields()["abs_min"].SetValue(-7);
  records.Update();
  EXPECT_EQ(FailureOf([&] { records.SetAbsolutePosition(4); }).number(), kInvalidArgument);
  EXPECT_EQ(FailureOf([&] { records.SetAbsolutePosition(-1); }).number(), kInvalidArgument);
  records.MoveLast();
  records.MoveNext();
  EXPECT_EQ(records.AbsolutePosition(), -1);
  Recordset again = db.OpenRecordset("SELECT abs_min FROM PRESET_DEFS WHERE ID = 3");
  EXPECT_EQ(again.Fields()[0].Value(), Variant(-7.0));
}

TEST_F(DatabaseTest, BookmarksReachRecordsWhoseValuesAreReadWhenTheRecordSetComesBack) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset records = db.OpenRecordset("PRESET_DEFS");
  EXPECT_EQ(records.RecordCount(), 4);
  records.MoveLast();
  int64_t last = records.Bookmark();
  records.AddNew();
  records.Fields()["ID"].SetValue(5);
  records.Update();
  int64_t added = records.LastModified();
  EXPECT_NE(added, last);
  // Another statement changes the fourth record: coming back to it reads it again.
  db.Execute("UPDATE PRESET_DEFS SET abs_min = 9 WHERE ID = 4");
  records.MoveFirst();
  records.SetBookmark(last);
  EXPECT_EQ(records.Fields()["abs_min"].Value(), Variant(9.0));
  records.SetBookmark(added);
  EXPECT_EQ(records.AbsolutePosition(), 4);
  EXPECT_EQ(records.Fields()["ID"].Value(), Variant(5));
  records.Edit();
  records.Fields()["abs_min"].SetValue(-1);
  records.Update();
  EXPECT_EQ(records.LastModified(), added);
  EXPECT_EQ(records.Fields()["abs_min"].Value(), Variant(-1.0));
  Failure invalid = FailureOf([&] { records.SetBookmark(added + 100); });
  EXPECT_EQ(invalid.number(), kNotAValidBookmark);
  EXPECT_EQ(invalid.description(), "Not a valid bookmark.");

  // A record deleted since is reported when the record set comes back to it.
  db.Execute("DELETE FROM PRESET_DEFS WHERE ID = 1");
  records.MoveFirst();
  EXPECT_EQ(FailureOf([&] { records.Fields()["ID"].Value(); }).number(), kRecordDeleted);
  Recordset readOnly = db.OpenRecordset("SELECT DISTINCT var_name FROM PRESET_DEFS");
  EXPECT_EQ(FailureOf([&] { readOnly.Bookmark(); }).number(), kReadOnly);
}

TEST_F(DatabaseTest, RecordSetsShowWhatSqliteHoldsThroughARandomWalk) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    std::string found = walk::Walk(Path("walk" + std::to_string(seed) + ".mdb"), 300,
                                   [&](uint32_t bound) { return random() % bound; });
    EXPECT_EQ(found, "") << "seed " << seed;
  }
}

TEST_F(DatabaseTest, EmptyTableAndWritesOutsideEditFail) {
  Database db = Database::Create(Path());
  MakeTable(db, "T", {{"a", kLong, 0}, {"b", kText, 10}});
  Recordset records = db.OpenRecordset("T");
  EXPECT_TRUE(records.Eof());
  EXPECT_EQ(records.RecordCount(), 0);
  EXPECT_EQ(FailureOf([&] { records.MoveFirst(); }).number(), kNoCurrentRecord);
  EXPECT_EQ(FailureOf([&] { records.Update(); }).number(), kUpdateWithoutEdit);
  EXPECT_EQ(FailureOf([&] { records.Fields()["a"].SetValue(1); }).number(), kUpdateWithoutEdit);

  records.AddNew();
  EXPECT_EQ(FailureOf([&] { records.Edit(); }).number(), kEditAlreadyUsed);
  records.Fields()["a"].SetValue(1);
  EXPECT_EQ(records.Fields()["a"].Value(), Variant(1));  // the record being written
  records.Update();
  // As DAO: the record set stays where it was, at the end.
  EXPECT_TRUE(records.Eof());
  EXPECT_EQ(records.RecordCount(), 1);

  // Moving on drops a pending edit without writing it.
  records.MoveFirst();
  records.Edit();
  records.Fields()["b"].SetValue("lost");
  records.MoveFirst();
  EXPECT_TRUE(records.Fields()["b"].Value().IsNull());
  EXPECT_EQ(RawDb(root / "test.mdb").Column("SELECT b FROM T"), std::vector<std::string>{"NULL"});
}

TEST_F(DatabaseTest, AddingBeforeTheFirstReadKeepsThePositionOfTheOpening) {
  Database db = Database::Create(Path());
  MakeTable(db, "T", {{"a", kLong, 0}});
  db.Execute("INSERT INTO T VALUES (1)");
  Recordset records = db.OpenRecordset("T");
  records.AddNew();
  records.Fields()["a"].SetValue(2);
  records.Update();
  EXPECT_EQ(records.RecordCount(), 2);
  EXPECT_EQ(records.Fields()["a"].Value(), Variant(1));
}

TEST_F(DatabaseTest, QueryRecordSetEditsTheFirstMatchingRowOnly) {
  Database db = Database::Create(Path());
  MakePresets(db);
  const std::string sql =
      "SELECT PRESET_DEFS.ID, PRESET_DEFS.machine_type, PRESET_DEFS.var_name, "
      "PRESET_DEFS.offset_or_bitno, PRESET_DEFS.abs_min From PRESET_DEFS "
      " WHERE (((PRESET_DEFS.machine_type)=?) AND ((PRESET_DEFS.var_name)=?) "
      " AND ((PRESET_DEFS.offset_or_bitno)=?));";
  Recordset match = db.OpenRecordset(sql, {"M1", "Temp", 4});
  ASSERT_TRUE(match.Updatable());
  EXPECT_EQ(match.RecordCount(), 2);
  match.Edit();
  match.Fields()["abs_min"].SetValue(-5.5);
  match.Update();
  EXPECT_EQ(match.Fields()["abs_min"].Value(), Variant(-5.5));
  EXPECT_EQ(RawDb(root / "test.mdb").Column(kCheckSql),
            (std::vector<std::string>{"-5.5", "0.0", "0.0", "0.0"}));

  // An alias, and a query that selects every column.
  Recordset aliased = db.OpenRecordset(
      "SELECT p.abs_min AS low FROM PRESET_DEFS AS p WHERE "
      "p.var_name = ? ORDER BY p.ID DESC",
      {"Speed"});
  aliased.Edit();
  aliased.Fields()["LOW"].SetValue(7);
  aliased.Update();
  Recordset all = db.OpenRecordset("SELECT * FROM PRESET_DEFS WHERE machine_type = ?", {"M2"});
  all.Edit();
  all.Fields()["abs_min"].SetValue("3");
  all.Update();
  EXPECT_EQ(RawDb(root / "test.mdb").Column(kCheckSql),
            (std::vector<std::string>{"-5.5", "0.0", "3.0", "7.0"}));
}

TEST_F(DatabaseTest, QueriesThatAreNotOneTableToOneRecordAreReadOnly) {
  Database db = Database::Create(Path());
  MakePresets(db);
  MakeTable(db, "Other", {{"ID", kLong, 0}});
  db.Execute("INSERT INTO Other VALUES (1)");
  for (const char* sql : {
           "SELECT DISTINCT var_name FROM PRESET_DEFS",
           "SELECT var_name, count(*) FROM PRESET_DEFS GROUP BY var_name",
           "SELECT abs_min * 2 FROM PRESET_DEFS",
           "SELECT p.var_name FROM PRESET_DEFS p JOIN Other o ON o.ID = p.ID",
           "SELECT p.var_name FROM PRESET_DEFS p, Other o WHERE o.ID = p.ID",
           "SELECT var_name FROM PRESET_DEFS UNION SELECT 'x'",
           "SELECT (SELECT ID FROM Other) FROM PRESET_DEFS",
       }) {
    Recordset records = db.OpenRecordset(sql);
    EXPECT_FALSE(records.Updatable()) << sql;
    EXPECT_EQ(FailureOf([&] { records.Edit(); }).number(), kReadOnly) << sql;
    EXPECT_EQ(FailureOf([&] { records.AddNew(); }).number(), kReadOnly) << sql;
  }
  // A forward-only record set over one table is read-only too, reads every record in order,
  // and cannot go back to one it left.
  Recordset all = db.OpenRecordset("SELECT var_name FROM PRESET_DEFS ORDER BY rowid");
  Recordset forward =
      db.OpenRecordset("SELECT var_name FROM PRESET_DEFS ORDER BY rowid", {}, kOpenForwardOnly);
  EXPECT_FALSE(forward.Updatable());
  ASSERT_GT(all.RecordCount(), 1);
  for (; !all.Eof(); all.MoveNext(), forward.MoveNext()) {
    ASSERT_FALSE(forward.Eof());
    EXPECT_EQ(forward.Fields()[0].Value(), all.Fields()[0].Value());
  }
  EXPECT_TRUE(forward.Eof());
  EXPECT_EQ(FailureOf([&] { forward.MoveFirst(); }).number(), kInvalidOperation);
}

// Values pasted into SQL make a new text each time: the statements of earlier ones are let go,
// while those in use (a walk, a write through a record set) stay good.
TEST_F(DatabaseTest, ManyDifferentSqlTextsRunRightBesideStatementsInUse) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset walk = db.OpenRecordset("SELECT ID, abs_min FROM PRESET_DEFS ORDER BY ID");
  for (int i = 1; i <= 3 * 64; ++i) {
    const std::string n = std::to_string(i);
    db.Execute("UPDATE PRESET_DEFS SET abs_min = " + n + " WHERE ID = 4");
    Recordset one =
        db.OpenRecordset("SELECT abs_min FROM PRESET_DEFS WHERE ID = 4 AND " + n + " > 0");
    EXPECT_EQ(one.Fields()[0].Value().ToDouble(), i);
    if (i % 64 == 0 && !walk.Eof()) {
      walk.Edit();
      walk.Fields()["abs_min"].SetValue(-i);
      walk.Update();
      EXPECT_EQ(walk.Fields()["abs_min"].Value().ToDouble(), -i);
      walk.MoveNext();
    }
  }
  walk.MoveFirst();
  EXPECT_EQ(walk.Fields()["abs_min"].Value().ToDouble(), -64);
}

TEST_F(DatabaseTest, QuotesInParameterValuesAreData) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset records = db.OpenRecordset("PRESET_DEFS");
  for (const char* name : {"Te\"mp", "O'Brien\"); DROP TABLE PRESET_DEFS; --"}) {
    records.AddNew();
    records.Fields()["var_name"].SetValue(name);
    records.Update();
  }
  for (const char* name : {"Te\"mp", "O'Brien\"); DROP TABLE PRESET_DEFS; --"}) {
    Recordset match = db.OpenRecordset("SELECT * FROM PRESET_DEFS WHERE var_name = ?", {name});
    ASSERT_EQ(match.RecordCount(), 1) << name;
    EXPECT_EQ(match.Fields()["var_name"].Value(), Variant(name));
  }
  EXPECT_EQ(db.OpenRecordset("PRESET_DEFS").RecordCount(), 6);
}

TEST_F(DatabaseTest, TheNoCaseCollationMatchesWindows1252Letters) {
  Database db = Database::Create(Path());
  MakeTable(db, "T", {{"name", kText, 20}});
  db.Execute("INSERT INTO T VALUES ('Motor'), ('MOTOR'), ('Ärger'), ('ärger'), ('Mötor')");
  auto count = [&](const std::string& where, const char* value) {
    return db.OpenRecordset("SELECT name FROM T WHERE " + where, {value}).RecordCount();
  };
  EXPECT_EQ(count("name = ?", "motor"), 0);  // SQLite's own comparison keeps case
  EXPECT_EQ(count("name = ? COLLATE ANSI_NOCASE", "motor"), 2);
  EXPECT_EQ(count("name = ? COLLATE ANSI_NOCASE", "ÄRGER"), 2);
  EXPECT_EQ(count("name = ? COLLATE ANSI_NOCASE", "MÖTOR"), 1);
  EXPECT_EQ(count("name COLLATE ANSI_NOCASE < ?", "n"), 3);  // Ärger sorts after N
  EXPECT_LT(detail::CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(detail::CompareNoCase("abcd", "ABC"), 0);
  EXPECT_EQ(detail::CompareNoCase("straße ä", "STRAßE Ä"), 0);
}

// --- prepared queries --------------------------------------------------------------------------

TEST_F(DatabaseTest, PreparedQueryRunsAgainWithNewValues) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Query query = db.CreateQuery(
      "SELECT ID FROM PRESET_DEFS WHERE machine_type = ?1 AND "
      "offset_or_bitno = ?2 ORDER BY ID");
  EXPECT_EQ(query.ParameterCount(), 2u);
  query.Bind(1, "M1");
  EXPECT_EQ(FailureOf([&] { query.OpenRecordset(); }).description(),
            "Too few parameters. Expected 1.");
  query.Bind(2, 4);
  EXPECT_EQ(query.OpenRecordset().RecordCount(), 2);
  query.Bind(2, 8);
  Recordset speed = query.OpenRecordset();
  ASSERT_EQ(speed.RecordCount(), 1);
  EXPECT_EQ(speed.Fields()["ID"].Value(), Variant(4));
  EXPECT_EQ(FailureOf([&] { query.Bind(3, 1); }).number(), kInvalidArgument);

  Query change = db.CreateQuery("UPDATE PRESET_DEFS SET abs_min = ? WHERE machine_type = 'M1'");
  change.Bind(1, 2.5);
  EXPECT_EQ(change.Execute(), 3);
  EXPECT_EQ(FailureOf([&] { query.Execute(); }).number(), kSelectQueryExecuted);
}

TEST_F(DatabaseTest, FaultyQueriesGiveDaoFailures) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Failure table = FailureOf([&] { db.OpenRecordset("SELECT * FROM Nowhere"); });
  EXPECT_EQ(table.number(), kInputTableNotFound);
  EXPECT_EQ(table.description(), "Couldn't find input table or query 'Nowhere'.");
  EXPECT_EQ(table.source(), "DAO.Database");
  EXPECT_EQ(FailureOf([&] { db.OpenRecordset("Nowhere"); }).number(), kInputTableNotFound);
  MakeTable(db, "Select Items", {{"a", kLong, 0}});
  EXPECT_TRUE(db.OpenRecordset("select items").Updatable());
  EXPECT_EQ(FailureOf([&] { db.OpenRecordset("SELECT nosuchfield FROM PRESET_DEFS"); }).number(),
            kTooFewParameters);
  Failure syntax = FailureOf([&] { db.OpenRecordset("SELECT * FORM PRESET_DEFS"); });
  EXPECT_EQ(syntax.number(), kQueryExpression);
  EXPECT_NE(syntax.description().find("'SELECT * FORM PRESET_DEFS'"), std::string::npos);
  EXPECT_EQ(
      FailureOf([&] { db.Execute("DELETE FROM PRESET_DEFS; DROP TABLE PRESET_DEFS"); }).number(),
      kCharactersAfterEnd);
  EXPECT_EQ(FailureOf([&] { db.OpenRecordset("SELECT * FROM PRESET_DEFS WHERE ID = ?"); }).number(),
            kTooFewParameters);
  EXPECT_EQ(FailureOf([&] { db.OpenRecordset("SELECT * FROM PRESET_DEFS", {1}); }).number(),
            kInvalidArgument);
  EXPECT_EQ(FailureOf([&] { db.Execute("DROP TABLE Nowhere"); }).number(), kTableNotFound);
  EXPECT_EQ(db.OpenRecordset("PRESET_DEFS").RecordCount(), 4);
}

// --- values ------------------------------------------------------------------------------------

TEST_F(DatabaseTest, ValuesAreConvertedToTheFieldTypeAsJetDoes) {
  Database db = Database::Create(Path());
  MakeTable(db, "T",
            {{"long", kLong, 0},
             {"short", kInteger, 0},
             {"text", kText, 5},
             {"money", kCurrency, 0},
             {"yes", kBoolean, 0},
             {"double", kDouble, 0},
             {"memo", kMemo, 0}});
  Recordset records = db.OpenRecordset("T");
  records.AddNew();
  RecordsetFieldCollection& f = records.Fields();
  f["long"].SetValue(" 12 ");
  f["short"].SetValue(2.5);
  f["text"].SetValue("äöüßx");  // five characters in ten bytes
  f["money"].SetValue(1.23456);
  f["yes"].SetValue("True");
  f["double"].SetValue(2);
  f["memo"].SetValue(0.1);
  EXPECT_EQ(FailureOf([&] { f["long"].SetValue("abc"); }).number(), kConversionError);
  EXPECT_EQ(FailureOf([&] { f["short"].SetValue(40000); }).number(), kNumericOverflow);
  EXPECT_EQ(FailureOf([&] { f["text"].SetValue("abcdef"); }).number(), kFieldTooSmall);
  records.Update();
  records.MoveFirst();
  EXPECT_EQ(f["long"].Value(), Variant(12));
  EXPECT_EQ(f["short"].Value(), Variant(2));  // half to even
  EXPECT_EQ(f["text"].Value(), Variant("äöüßx"));
  EXPECT_EQ(f["money"].Value(), Variant(1.2346));
  EXPECT_EQ(f["yes"].Value(), Variant(-1));
  EXPECT_EQ(f["double"].Value(), Variant(2.0));  // stored as a double, read as one
  EXPECT_EQ(f["memo"].Value(), Variant("0.1"));
  records.Edit();
  f["long"].SetValue(Variant());
  records.Update();
  Recordset again = db.OpenRecordset("T");
  EXPECT_TRUE(again.Fields()["long"].Value().IsNull());
}

TEST_F(DatabaseTest, VariantConversionsFollowVb) {
  EXPECT_EQ(Variant(0.1).ToText(), "0.1");
  EXPECT_EQ(Variant(1e20).ToText(), "1E+20");
  EXPECT_EQ(Variant(-3.0).ToText(), "-3");
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant(3.5).ToInteger(), 4);
  EXPECT_EQ(Variant(" 7 ").ToInteger(), 7);
  EXPECT_EQ(FailureOf([] { Variant().ToInteger(); }).number(), kInvalidUseOfNull);
  EXPECT_EQ(FailureOf([] { Variant("7x").ToDouble(); }).number(), kTypeMismatch);
  EXPECT_EQ(FailureOf([] { Variant(1e300).ToInteger(); }).number(), kOverflow);
}

// --- files -------------------------------------------------------------------------------------

TEST_F(DatabaseTest, FilesThatAreNoDatabaseFailWithoutBeingChanged) {
  std::string sqlite;
  {
    Database db = Database::Create(Path("good.mdb"));
    MakeTable(db, "T", {{"a", kText, 200}});
    for (int i = 0; i < 200; ++i) db.Execute("INSERT INTO T VALUES (printf('%0150d', ?))", {i});
  }
  {
    std::ifstream in(root / "good.mdb", std::ios::binary);
    sqlite.assign(std::istreambuf_iterator<char>(in), {});
  }
  // Without a valid page count in the header (bytes 92 to 95 no longer match the change
  // counter), SQLite goes by the file's size and would take a page cut short for a whole one.
  std::string stale = sqlite.substr(0, 3 * 4096 + 100);
  stale[95] = char(stale[95] ^ 0x55);
  std::string jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  jet.resize(2048, '\x5a');
  const std::vector<std::pair<std::string, std::string>> files = {
      {"garbage.mdb", "this is not a database at all, not even close to one"},
      {"jet.mdb", jet},
      {"empty.mdb", ""},
      {"header.mdb", sqlite.substr(0, 60)},
      {"half.mdb", sqlite.substr(0, sqlite.size() / 2)},
      {"page.mdb", sqlite.substr(0, 4096 + 100)},
      {"stale.mdb", stale},
  };
  for (const auto& [name, bytes] : files) {
    std::ofstream(root / name, std::ios::binary) << bytes;
    Failure failure = FailureOf([&] { Database::Open(Path(name)); });
    EXPECT_EQ(failure.number(), kUnrecognizedFormat) << name;
    EXPECT_EQ(failure.description(), "Unrecognized database format '" + Path(name) + "'.") << name;
    EXPECT_EQ(failure.source(), "DAO.Workspace") << name;
    EXPECT_EQ(fs::file_size(root / name), bytes.size()) << name;
    EXPECT_FALSE(fs::exists(root / (name + "-journal"))) << name;
  }
  fs::create_directory(root / "folder.mdb");
  EXPECT_EQ(FailureOf([&] { Database::Open(Path("folder.mdb")); }).number(), kUnrecognizedFormat);
  Failure missing = FailureOf([&] { Database::Open(Path("missing.mdb")); });
  EXPECT_EQ(missing.number(), kFileNotFound);
  EXPECT_EQ(missing.description(), "Couldn't find file '" + Path("missing.mdb") + "'.");
  EXPECT_EQ(FailureOf([&] { Database::Open(Path("no/such.mdb")); }).number(), kInvalidPath);
  EXPECT_EQ(FailureOf([&] { Database::Create(Path("good.mdb")); }).number(), kDatabaseExists);
  EXPECT_EQ(Database::Open(Path("good.mdb")).OpenRecordset("T").RecordCount(), 200);
}

TEST_F(DatabaseTest, FilesStayInRollbackJournalMode) {
  {
    RawDb raw(root / "wal.mdb");
    raw.Exec("PRAGMA journal_mode = WAL; CREATE TABLE T (a INTEGER); INSERT INTO T VALUES (1)");
  }
  {
    Database db = Database::Open(Path("wal.mdb"));
    db.Execute("INSERT INTO T VALUES (2)");
  }
  EXPECT_FALSE(fs::exists(root / "wal.mdb-wal"));
  RawDb raw(root / "wal.mdb");
  EXPECT_EQ(raw.Column("PRAGMA journal_mode"), std::vector<std::string>{"delete"});
  EXPECT_EQ(raw.Column("SELECT count(*) FROM T"), std::vector<std::string>{"2"});
}

TEST_F(DatabaseTest, WritersWaitForALockHeldByAnotherConnection) {
  Database::Create(Path()).Execute("CREATE TABLE T (a INTEGER)");
  Database holder = Database::Open(Path());
  Database impatient = Database::Open(Path(), {.busyTimeoutMs = 50});
  holder.BeginTrans();
  holder.Execute("INSERT INTO T VALUES (1)");
  Failure locked = FailureOf([&] { impatient.Execute("INSERT INTO T VALUES (2)"); });
  EXPECT_EQ(locked.number(), kLocked);
  EXPECT_EQ(locked.description(), "Couldn't update; currently locked.");
  holder.CommitTrans();

  Database patient = Database::Open(Path());
  holder.BeginTrans();
  holder.Execute("INSERT INTO T VALUES (3)");
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    holder.CommitTrans();
  });
  patient.Execute("INSERT INTO T VALUES (4)");
  release.join();
  EXPECT_EQ(patient.OpenRecordset("SELECT a FROM T ORDER BY a").RecordCount(), 3);

  // A caller that is told about the wait hears of every try and of its end, also when the wait
  // gives up; the wait ends as soon as the holder lets go.
  std::vector<bool> told;
  bool letGo = true;
  OpenOptions telling{.busyTimeoutMs = 60000};
  telling.whileBusy = [&](const std::string& path, bool waiting) {
    EXPECT_EQ(path, Path());
    told.push_back(waiting);
    if (letGo && told.size() == 3) holder.CommitTrans();
  };
  Database notifying = Database::Open(Path(), telling);
  holder.BeginTrans();
  holder.Execute("INSERT INTO T VALUES (5)");
  notifying.Execute("INSERT INTO T VALUES (6)");
  EXPECT_EQ(told, (std::vector<bool>{true, true, true, false}));
  told.clear();
  letGo = false;
  holder.BeginTrans();
  holder.Execute("INSERT INTO T VALUES (7)");
  notifying.Close();
  telling.busyTimeoutMs = 50;
  Database givingUp = Database::Open(Path(), telling);
  EXPECT_EQ(FailureOf([&] { givingUp.Execute("INSERT INTO T VALUES (8)"); }).number(), kLocked);
  ASSERT_GE(told.size(), 2u);
  EXPECT_EQ(std::count(told.begin(), told.end(), false), 1);
  EXPECT_FALSE(told.back());
  holder.Rollback();
}

// --- transactions and closing ------------------------------------------------------------------

TEST_F(DatabaseTest, TransactionsNestAndRollBack) {
  Database db = Database::Create(Path());
  MakeTable(db, "T", {{"a", kLong, 0}});
  Recordset records = db.OpenRecordset("T");
  auto add = [&](int value) {
    records.AddNew();
    records.Fields()["a"].SetValue(value);
    records.Update();
  };
  db.BeginTrans();
  add(1);
  db.Rollback();
  db.BeginTrans();
  add(2);
  db.BeginTrans();
  add(3);
  db.Rollback();
  db.BeginTrans();
  add(4);
  db.CommitTrans();
  db.CommitTrans();
  EXPECT_EQ(RawDb(root / "test.mdb").Column("SELECT a FROM T"),
            (std::vector<std::string>{"2", "4"}));
  Failure none = FailureOf([&] { db.CommitTrans(); });
  EXPECT_EQ(none.number(), kNoTransaction);
  EXPECT_EQ(none.source(), "DAO.Workspace");
  EXPECT_EQ(FailureOf([&] { db.Rollback(); }).number(), kNoTransaction);
}

TEST_F(DatabaseTest, ObjectsOfAClosedDatabaseFailWithoutCrashing) {
  Database db = Database::Create(Path());
  MakePresets(db);
  Recordset records = db.OpenRecordset("PRESET_DEFS");
  Query query = db.CreateQuery("SELECT * FROM PRESET_DEFS WHERE ID = ?");
  query.Bind(1, 1);
  TableDef table = db.TableDefs()["PRESET_DEFS"];
  db.BeginTrans();
  db.Execute("DELETE FROM PRESET_DEFS");
  db.Close();
  db.Close();
  EXPECT_FALSE(db.IsOpen());
  EXPECT_EQ(FailureOf([&] { records.Eof(); }).number(), kObjectInvalid);
  EXPECT_EQ(FailureOf([&] { query.OpenRecordset(); }).number(), kObjectInvalid);
  EXPECT_EQ(FailureOf([&] { db.TableDefs(); }).number(), kObjectInvalid);
  EXPECT_EQ(FailureOf([&] { table.Fields()[0].SetName("x"); }).number(), kObjectInvalid);
  records.Close();
  // The pending transaction was rolled back by the close.
  EXPECT_EQ(Database::Open(Path()).OpenRecordset("PRESET_DEFS").RecordCount(), 4);
}

}  // namespace
}  // namespace horavex::dao
