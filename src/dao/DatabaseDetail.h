#pragma once

// Internals of the database layer, shared by its source files only.

#include <sqlite3.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dao/Database.h"
#include "platform/Failure.h"

namespace horavex::dao::detail {

inline constexpr const char* kWorkspace = "DAO.Workspace";
inline constexpr const char* kDatabase = "DAO.Database";
inline constexpr const char* kTableDefs = "DAO.TableDefs";
inline constexpr const char* kFields = "DAO.Fields";
inline constexpr const char* kField = "DAO.Field";
inline constexpr const char* kRecordset = "DAO.Recordset";

// A DAO failure with its standard text, "|" placeholders filled in order.
Failure DaoFailure(int32_t number, const std::string& source,
                   const std::vector<std::string>& arguments = {});

// "name" with inner quotes doubled, for names written into SQL text.
std::string QuoteName(std::string_view name);
// Where the SQL goes on after its first word when that is `word` (in any case), or npos.
size_t AfterKeyword(std::string_view sql, std::string_view word);

class Connection;

// One prepared statement. Its connection outlives it; Connection::Close finalises every
// statement, and a statement of a closed connection is never touched again.
class Statement {
 public:
  Statement(Connection& connection, const std::string& sql, const char* source);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return statement_; }
  // Resets the statement and clears its bindings; never fails.
  void Reset() noexcept;
  // Without copy, the value must stay unchanged until the statement is reset.
  void Bind(int position, const Variant& value, const char* source, bool copy = true);
  // One step: true for a row, false when done; a failure is mapped to its DAO failure.
  bool Step(const char* source);
  Variant Column(int index) const;
  // The same into value, text into the memory of the text value held.
  void ColumnInto(Variant& value, int index) const;

 private:
  Connection& connection_;
  sqlite3_stmt* statement_ = nullptr;
  std::string sql_;
};

// A cached statement in use: kept from the cache's eviction until the scope ends, and reset
// then, so a reused statement never holds a read lock.
class StatementUse {
 public:
  explicit StatementUse(std::shared_ptr<Statement> statement) : statement_(std::move(statement)) {}
  ~StatementUse() { statement_->Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  Statement* operator->() const { return statement_.get(); }

 private:
  std::shared_ptr<Statement> statement_;
};

// The open SQLite connection behind a Database and everything taken from it.
class Connection {
 public:
  Connection(sqlite3* handle, std::string path);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  // The handle; fails with 3420 after Close.
  sqlite3* Handle(const char* source) const;
  const std::string& path() const { return path_; }

  // A statement prepared once per SQL text and reused, and a selection analysed once. Both come
  // from one cache of at most kCached texts: when it is full, what no one uses is let go (many
  // different texts mean values pasted into SQL).
  static constexpr size_t kCached = 64;
  std::shared_ptr<Statement> Cached(const std::string& sql, const char* source);
  std::shared_ptr<const PreparedQuery> CachedQuery(const std::string& sql);
  // Runs SQL without results (transaction control, DDL).
  void Run(const std::string& sql, const char* source);

  // Names of the stored tables in creation order.
  std::vector<std::string> TableNames();
  // The stored spelling of a table name (exact match first, then any case), or "" when none.
  std::string FindTable(std::string_view name);
  struct ColumnInfo {
    std::string name;
    std::string declaredType;
  };
  std::vector<ColumnInfo> Columns(const std::string& table);

  int transactionDepth = 0;
  int64_t rollbacks = 0;
  // Changes whenever the connection changed a record (a rollback included).
  int64_t Version() const { return sqlite3_total_changes64(handle_) + rollbacks; }

  // Waits for another connection's lock in short steps, telling options.whileBusy between
  // them, up to options.busyTimeoutMs.
  void WaitWhileBusy(const OpenOptions& options);
  // After every call that may have waited: tells whileBusy that a wait is over.
  void AfterPossibleWait() {
    if (busyWaiting_) EndBusyWait();
  }

  void Close() noexcept;

 private:
  static int BusyHandler(void* connection, int tries);
  void EndBusyWait() noexcept;

  sqlite3* handle_;
  std::string path_;
  struct CacheEntry {
    std::shared_ptr<Statement> statement;
    std::shared_ptr<const PreparedQuery> query;
  };
  CacheEntry& CacheEntryFor(const std::string& sql);
  std::unordered_map<std::string, CacheEntry> cache_;
  OpenOptions busy_;
  bool busyWaiting_ = false;
  std::chrono::steady_clock::time_point busySince_;
};

// The connection behind a database, for the layer's own use.
struct DatabaseAccess {
  static Connection& Of(Database& database) { return *database.connection_; }
};

// Maps an SQLite result to its DAO failure; the connection's message gives the details.
[[noreturn]] void FailWith(sqlite3* handle, int rc, const std::string& path,
                           const std::string& source, const std::string& sql);

struct FieldData {
  std::string name;
  DataType type = kText;
  int32_t size = 0;
  // The definition this field was appended to; empty while it belongs to none.
  std::weak_ptr<TableDefData> table;
};

struct TableDefData : std::enable_shared_from_this<TableDefData> {
  explicit TableDefData(std::string tableName) : name(std::move(tableName)), fields(*this) {}
  TableDefData(const TableDefData&) = delete;
  TableDefData& operator=(const TableDefData&) = delete;

  std::string name;
  // Set once the table is stored in the file.
  std::shared_ptr<Connection> connection;
  FieldCollection fields;

  // Fills the fields from the stored table.
  void LoadFields();
};

// A column of a record set.
struct RecordColumn {
  std::string name;
  std::string upperName;
  // The table column it comes from, for writes; empty for a computed column.
  std::string origin;
  DataType type = kMemo;
  int32_t size = 0;
  // Whether the value is converted to the type on reading and writing.
  bool typed = false;
};

// A selection analysed for writing through: which table it reads and how to reach its rowid.
struct PreparedQuery {
  PreparedQuery(Connection& connection, const std::string& sql);

  std::string preparedSql;  // the SQL, with the rowid added when table is set
  int parameterCount = 0;
  // Set when every column comes straight from one table: its stored name, and the name of its
  // rowid, which the layer added as the first result column.
  std::string table;
  std::string rowidName;
};

// What a Recordset holds (its contract tells how it reads). A keyed record set is one that
// writes through: its cursor only finds rowids, and a record's values are read by rowid.
struct RecordsetState {
  std::shared_ptr<Connection> connection;
  std::vector<RecordColumn> columns;
  std::string table;      // the table written to; empty when not updatable
  std::string rowidName;  // how the table's rowid is named in SQL
  bool emptyWhenOpened = false;

  bool keyed = false;
  std::vector<int64_t> rowids;                    // keyed: of the records found and added
  std::vector<std::vector<Variant>> rows;         // not keyed: the values read
  bool forwardOnly = false;                       // rows holds only the last record read
  size_t dropped = 0;                             // records read before those in rows
  std::unique_ptr<Statement> cursor;              // finds the next records; gone at the end
  std::string cursorSql;                          // a table's, run at the first read
  int valuesFrom = 0;                             // the cursor's first column of values
  std::unordered_map<int64_t, size_t> positions;  // the first `indexed` rowids by position
  size_t indexed = 0;
  size_t sortedUpTo = 0;  // rowids are ascending up to there; SIZE_MAX once they are not
  bool started = false;
  bool complete = false;
  std::optional<int64_t> lastModified;

  size_t position = 0;  // == number of records at the end
  enum class Mode { kNone, kEdit, kAdd } mode = Mode::kNone;
  std::vector<Variant> buffer;  // the fields set since AddNew or Edit
  std::vector<char> changed;
  // The INSERT (true) and UPDATE statements by the fields they set, held from the cache.
  std::map<std::pair<bool, std::vector<char>>, std::shared_ptr<Statement>> writes;
  bool closed = false;
  // The values of a keyed record set's record at currentAt, as read at the connection's
  // version currentVersion.
  std::vector<Variant> current;
  size_t currentAt = SIZE_MAX;
  int64_t currentVersion = 0;
  // Reads records by rowid in rowid order from the one it is given on. It is left on the
  // record it read, so a walk in rowid order steps on instead of seeking every record, under
  // one read lock; it is reset when the walk reaches the end.
  std::unique_ptr<Statement> reader;
  size_t readerAt = SIZE_MAX;  // the position of the record it stands on
  void EndReads() {
    if (reader) reader->Reset();
    readerAt = SIZE_MAX;
  }

  size_t Count() const { return keyed ? rowids.size() : dropped + rows.size(); }
  void Check() const {
    if (closed || !connection->IsOpen()) Invalid();
  }
  [[noreturn]] static void Invalid();
  // Reads on until the record at that position is found or there are no more; whether it is
  // there. A table's first read starts its cursor.
  bool Fetch(size_t at);
  // Finds every remaining record; the position stays.
  void Complete() { Fetch(SIZE_MAX - 1); }
  // The value of a column of the current record (3021 at the end, 3167 when it was deleted).
  const Variant& Current(size_t column);
  size_t FindColumn(std::string_view name) const;  // columns.size() when none
  // One step of the cursor, keeping what it found; false at the end.
  bool Step(bool row);
  // The position of the record with that rowid; every record is found first.
  std::optional<size_t> PositionOf(int64_t rowid);
};

// Runs a prepared selection with its parameter values into a record set.
std::unique_ptr<RecordsetState> RunSelection(const std::shared_ptr<Connection>& connection,
                                             const PreparedQuery& query,
                                             const std::vector<std::optional<Variant>>& values,
                                             bool forwardOnly = false);
// Runs a prepared action query; the number of records it changed.
int64_t RunAction(Connection& connection, const PreparedQuery& query,
                  const std::vector<std::optional<Variant>>& values);
// A record set over a whole table, read when first needed.
std::unique_ptr<RecordsetState> OpenTable(const std::shared_ptr<Connection>& connection,
                                          const std::string& table);
// Converts a value for a field of that type and size, as Jet does on assignment.
Variant ConvertForField(Variant value, const RecordColumn& column);

// SQLite's own handle of the connection's main file, or null. Reads of a file this process
// holds locks on go through it: closing any other handle of the file drops those locks.
sqlite3_file* MainFile(sqlite3* handle);
// Converts a stored value, in place, to what a field of that type reads as.
void NormalizeRead(Variant& value, const RecordColumn& column);

// The collation kNoCaseCollation compares with.
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace horavex::dao::detail
