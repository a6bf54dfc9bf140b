#pragma once

// A walk over a table record set and a keyed query of the same table, with moves, edits,
// additions, bookmarks and other statements (updates, deletions, insertions) on the same
// connection, checking after every step that the current record shows what SQLite itself holds
// for it, read through the same connection without the layer: what that connection wrote while
// one of its reads runs is committed only when the read ends. Shared by DatabaseTest and the
// layer's fuzzer; the caller chooses each step (Next returns a number below its bound).
#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dao/Database.h"
#include "dao/DatabaseDetail.h"
#include "platform/Failure.h"

namespace horavex::dao::walk {

struct Stored {
  int64_t a = 0;
  std::string b;
};

// The row of that rowid as SQLite holds it, read without the layer.
inline std::optional<Stored> ReadStored(sqlite3* raw, int64_t rowid) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(raw, "SELECT a, b FROM T WHERE rowid = ?", -1, &statement, nullptr);
  sqlite3_bind_int64(statement, 1, rowid);
  std::optional<Stored> row;
  if (sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* b = sqlite3_column_text(statement, 1);
    row = Stored{sqlite3_column_int64(statement, 0), b ? reinterpret_cast<const char*>(b) : ""};
  }
  sqlite3_finalize(statement);
  return row;
}

// What differs between the current record of records and SQLite's row of it; "" when nothing.
inline std::string Compare(Recordset& records, sqlite3* raw) {
  if (records.Eof()) return {};
  int64_t rowid = records.Bookmark();
  std::optional<Stored> stored = ReadStored(raw, rowid);
  try {
    Stored shown{records.Fields()["a"].Value().ToInteger(), records.Fields()["b"].Value().ToText()};
    if (!stored) return "record " + std::to_string(rowid) + " shows although it was deleted";
    if (shown.a != stored->a || shown.b != stored->b) {
      return "record " + std::to_string(rowid) + " shows a=" + std::to_string(shown.a) +
             " b=" + shown.b + ", SQLite holds a=" + std::to_string(stored->a) + " b=" + stored->b;
    }
  } catch (const Failure& failure) {
    if (stored || failure.number() != kRecordDeleted) {
      return "record " + std::to_string(rowid) + " fails with " + failure.description();
    }
  }
  return {};
}

// Runs steps steps; the first difference found, with the step that led to it, or "".
inline std::string Walk(const std::string& path, size_t steps,
                        const std::function<uint32_t(uint32_t)>& next) {
  Database db = Database::Create(path);
  db.Execute("PRAGMA synchronous = OFF");
  TableDef table = db.CreateTableDef("T");
  table.Fields().Append(table.CreateField("a", kLong));
  table.Fields().Append(table.CreateField("b", kText, 20));
  db.TableDefs().Append(table);
  for (int i = 0; i < 6; ++i) {
    db.Execute("INSERT INTO T (a, b) VALUES (?, ?)", {i, "v" + std::to_string(i)});
  }
  sqlite3* raw = detail::DatabaseAccess::Of(db).Handle(detail::kWorkspace);
  std::vector<Recordset> sets;
  sets.push_back(db.OpenRecordset("T"));
  sets.push_back(db.OpenRecordset("SELECT b, a FROM T WHERE a % 3 <> ? ORDER BY b DESC", {1}));
  std::vector<std::optional<int64_t>> bookmarks(sets.size());
  int64_t value = 100;
  std::string log;
  std::string found;
  for (size_t step = 0; step < steps && found.empty(); ++step) {
    size_t which = next(uint32_t(sets.size()));
    Recordset& records = sets[which];
    uint32_t action = next(10);
    log += std::to_string(which) + ":" + std::to_string(action) + " ";
    try {
      switch (action) {
        case 0:
          records.MoveNext();
          break;
        case 1:
          records.MoveFirst();
          break;
        case 2:
          records.MoveLast();
          break;
        case 3:
          records.SetAbsolutePosition(next(8));
          break;
        case 4:
        case 5:
          records.Edit();
          if (next(2) == 0) records.Fields()["a"].SetValue(value++);
          records.Fields()["b"].SetValue("e" + std::to_string(value++));
          records.Update();
          break;
        case 6:
          records.AddNew();
          records.Fields()["a"].SetValue(value++);
          records.Fields()["b"].SetValue("n" + std::to_string(value++));
          records.Update();
          break;
        case 7:
          if (next(2) == 0 || !bookmarks[which]) {
            bookmarks[which] = records.Bookmark();
          } else {
            records.SetBookmark(*bookmarks[which]);
          }
          break;
        case 8:
          records.RecordCount();
          break;
        default:
          switch (next(3)) {
            case 0:
              db.Execute("UPDATE T SET b = ? WHERE rowid = ?",
                         {"o" + std::to_string(value++), int64_t(next(12) + 1)});
              break;
            case 1:
              db.Execute("DELETE FROM T WHERE rowid = ?", {int64_t(next(12) + 1)});
              break;
            default:
              db.Execute("INSERT INTO T (a, b) VALUES (?, 'x')", {value++});
          }
      }
    } catch (const Failure&) {
      // A move beyond the end, an edit without a current record or of a deleted one: DAO
      // refuses those too. What counts is what the record sets show afterwards, once a
      // refused write is dropped.
      try {
        records.CancelUpdate();
      } catch (const Failure&) {
      }
    }
    for (Recordset& each : sets) {
      std::string difference = Compare(each, raw);
      if (!difference.empty()) found = "after steps " + log + ": " + difference;
    }
  }
  return found;
}

}  // namespace horavex::dao::walk
