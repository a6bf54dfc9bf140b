#include <algorithm>
#include <cstring>
#include <tuple>

#include "dao/Database.h"
#include "dao/DatabaseDetail.h"
#include "platform/Text.h"

namespace horavex::dao {
namespace detail {
namespace {

// --- What a selection reads ---------------------------------------------------------------------

// The one table of the main database that every column of the statement comes straight from,
// as SQLite names it; "" when a column is computed or another table's.
std::string SingleTableName(sqlite3_stmt* statement) {
  int count = sqlite3_column_count(statement);
  std::string table;
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_table_name(statement, i);
    const char* database = sqlite3_column_database_name(statement, i);
    if (name == nullptr || database == nullptr || std::strcmp(database, "main") != 0) return {};
    if (table.empty()) table = name;
    if (!text::EqualsNoCase(table, name)) return {};
  }
  return table;
}

// The same table's stored name.
std::string SingleTable(Connection& connection, sqlite3_stmt* statement) {
  std::string table = SingleTableName(statement);
  return table.empty() ? std::string() : connection.FindTable(table);
}

// SQLite does not report which row of its table a result row comes from. The one rule left:
// the table's rowid goes in as the first column right after a leading SELECT keyword, and
// SQLite itself refuses that where no single row stands behind a result (DISTINCT, joins,
// compounds).
std::string WithRowidAfterSelect(const std::string& sql, const std::string& rowid) {
  size_t after = AfterKeyword(sql, "SELECT");
  if (after == std::string::npos) return {};
  return sql.substr(0, after) + " " + rowid + "," + sql.substr(after);
}

// --- Helpers for record sets -------------------------------------------------------------------

// Binds the values in order: 3001 for more values than parameters, 3061 for parameters
// without a value.
void BindAll(Statement& statement, const std::vector<std::optional<Variant>>& values,
             const char* source) {
  size_t expected = size_t(sqlite3_bind_parameter_count(statement.get()));
  if (values.size() > expected) throw DaoFailure(kInvalidArgument, source);
  size_t missing =
      expected - values.size() + size_t(std::count(values.begin(), values.end(), std::nullopt));
  if (missing > 0) throw DaoFailure(kTooFewParameters, source, {std::to_string(missing)});
  for (size_t i = 0; i < values.size(); ++i) statement.Bind(int(i + 1), *values[i], source);
}

std::string ColumnList(const std::vector<RecordColumn>& columns) {
  std::string list;
  for (const RecordColumn& column : columns) {
    list += (list.empty() ? "" : ", ") + QuoteName(column.origin);
  }
  return list;
}

// A name that reaches the table's rowid (not taken by one of its columns), or "" when none.
std::string RowidName(const std::vector<Connection::ColumnInfo>& columns) {
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    bool taken = std::any_of(columns.begin(), columns.end(), [&](const Connection::ColumnInfo& c) {
      return text::EqualsNoCase(c.name, candidate);
    });
    if (!taken) return candidate;
  }
  return {};
}

// A column of a record set; without a declared type its values are taken as they are stored.
RecordColumn ColumnOf(const char* name, const char* origin, const char* declared) {
  RecordColumn column{name != nullptr ? name : "", {}, origin != nullptr ? origin : ""};
  column.upperName = text::Upper(column.name);
  column.typed = declared != nullptr;
  if (declared != nullptr) std::tie(column.type, column.size) = ParseDeclaredType(declared);
  return column;
}

// The columns of a record set from a prepared statement, from its first column on.
std::vector<RecordColumn> ColumnsOf(sqlite3_stmt* statement, int first) {
  std::vector<RecordColumn> columns;
  for (int i = first; i < sqlite3_column_count(statement); ++i) {
    columns.push_back(ColumnOf(sqlite3_column_name(statement, i),
                               sqlite3_column_origin_name(statement, i),
                               sqlite3_column_decltype(statement, i)));
  }
  return columns;
}

}  // namespace

PreparedQuery::PreparedQuery(Connection& connection, const std::string& text) : preparedSql(text) {
  // The SQL as written reports its own failures.
  auto statement = std::make_unique<Statement>(connection, text, kDatabase);
  parameterCount = sqlite3_bind_parameter_count(statement->get());
  std::string stored = SingleTable(connection, statement->get());
  if (stored.empty()) return;
  std::vector<Connection::ColumnInfo> columns = connection.Columns(stored);
  std::string rowid = RowidName(columns);
  std::string withRowid = rowid.empty() ? std::string() : WithRowidAfterSelect(text, rowid);
  if (withRowid.empty()) return;
  try {
    auto identified = std::make_unique<Statement>(connection, withRowid, kDatabase);
    // Every column, the rowid included, must still come from that one table.
    if (SingleTable(connection, identified->get()) != stored) return;
    preparedSql = withRowid;
    table = stored;
    rowidName = rowid;
  } catch (const Failure&) {
    // No single row behind each result: the selection stays read-only.
  }
}

std::unique_ptr<RecordsetState> RunSelection(const std::shared_ptr<Connection>& connection,
                                             const PreparedQuery& query,
                                             const std::vector<std::optional<Variant>>& values,
                                             bool forwardOnly) {
  auto state = std::make_unique<RecordsetState>();
  state->connection = connection;
  state->forwardOnly = forwardOnly;
  state->cursor = std::make_unique<Statement>(*connection, query.preparedSql, kDatabase);
  Statement& cursor = *state->cursor;
  BindAll(cursor, values, kDatabase);
  // The first row is read now, so that a query that cannot run fails when it is opened.
  bool row = cursor.Step(kDatabase);
  sqlite3_stmt* statement = cursor.get();
  // Column metadata is read after the first step, which re-prepares after a schema change.
  state->valuesFrom = query.table.empty() ? 0 : 1;
  state->columns = ColumnsOf(statement, state->valuesFrom);
  // Checked again as it runs: a schema change since it was prepared may have changed that.
  if (!query.table.empty() && !forwardOnly &&
      text::EqualsNoCase(SingleTableName(statement), query.table)) {
    state->table = query.table;
    state->rowidName = query.rowidName;
    state->keyed = true;
  }
  state->started = true;
  state->Step(row);
  return state;
}

int64_t RunAction(Connection& connection, const PreparedQuery& query,
                  const std::vector<std::optional<Variant>>& values) {
  std::shared_ptr<Statement> statement = connection.Cached(query.preparedSql, kDatabase);
  StatementUse use(statement);
  if (sqlite3_column_count(statement->get()) > 0) {
    throw DaoFailure(kSelectQueryExecuted, kDatabase);
  }
  BindAll(*statement, values, kDatabase);
  while (use->Step(kDatabase)) {
  }
  return sqlite3_changes64(connection.Handle(kDatabase));
}

std::unique_ptr<RecordsetState> OpenTable(const std::shared_ptr<Connection>& connection,
                                          const std::string& table) {
  auto state = std::make_unique<RecordsetState>();
  state->connection = connection;
  std::vector<Connection::ColumnInfo> columns = connection->Columns(table);
  for (const Connection::ColumnInfo& info : columns) {
    state->columns.push_back(
        ColumnOf(info.name.c_str(), info.name.c_str(), info.declaredType.c_str()));
  }
  state->rowidName = RowidName(columns);
  std::string from = " FROM " + QuoteName(table);
  if (!state->rowidName.empty()) {
    state->table = table;
    state->keyed = true;
    state->cursorSql = "SELECT " + state->rowidName + from + " ORDER BY " + state->rowidName;
    // Records added before the first read leave the position where DAO has it: on the first
    // record the table had when it was opened, or at the end when it had none.
    StatementUse use(connection->Cached(state->cursorSql + " LIMIT 1", kRecordset));
    state->emptyWhenOpened = !use->Step(kRecordset);
  } else {
    state->cursorSql = "SELECT *" + from;
  }
  return state;
}

// --- RecordsetState ----------------------------------------------------------------------------

void RecordsetState::Invalid() {
  throw DaoFailure(kObjectInvalid, kRecordset);
}

bool RecordsetState::Fetch(size_t at) {
  if (!started) {
    started = true;
    cursor = std::make_unique<Statement>(*connection, cursorSql, kRecordset);
    if (emptyWhenOpened) {
      Complete();
      position = Count();
    }
  }
  while (at >= Count() && cursor) Step(cursor->Step(kRecordset));
  return at < Count();
}

bool RecordsetState::Step(bool row) {
  if (!row) {
    cursor.reset();  // no read lock is held at the end
    complete = true;
    return false;
  }
  if (keyed) {
    rowids.push_back(sqlite3_column_int64(cursor->get(), 0));
    return true;
  }
  if (forwardOnly && !rows.empty()) {
    ++dropped;
  } else {
    rows.emplace_back(columns.size());
  }
  std::vector<Variant>& values = rows.back();
  for (size_t i = 0; i < columns.size(); ++i) {
    cursor->ColumnInto(values[i], int(i) + valuesFrom);
    NormalizeRead(values[i], columns[i]);
  }
  return true;
}

std::optional<size_t> RecordsetState::PositionOf(int64_t rowid) {
  Complete();
  // A table's records, and most queries', come in rowid order: a binary search finds them then.
  if (sortedUpTo != SIZE_MAX) {
    if (std::is_sorted(rowids.begin() + ptrdiff_t(sortedUpTo > 0 ? sortedUpTo - 1 : 0),
                       rowids.end())) {
      sortedUpTo = rowids.size();
      auto found = std::lower_bound(rowids.begin(), rowids.end(), rowid);
      if (found == rowids.end() || *found != rowid) return std::nullopt;
      return size_t(found - rowids.begin());
    }
    sortedUpTo = SIZE_MAX;
  }
  for (; indexed < rowids.size(); ++indexed) positions.emplace(rowids[indexed], indexed);
  auto found = positions.find(rowid);
  if (found == positions.end()) return std::nullopt;
  return found->second;
}

const Variant& RecordsetState::Current(size_t column) {
  if (mode == Mode::kAdd || (mode == Mode::kEdit && changed[column])) return buffer[column];
  if (!Fetch(position)) throw DaoFailure(kNoCurrentRecord, kRecordset);
  if (position < dropped) throw DaoFailure(kInvalidOperation, kRecordset);
  if (!keyed) return rows[position - dropped][column];
  int64_t version = connection->Version();
  if (currentAt != position || currentVersion != version) {
    currentAt = SIZE_MAX;
    if (!reader) {
      reader = std::make_unique<Statement>(*connection,
                                           "SELECT " + rowidName + ", " + ColumnList(columns) +
                                               " FROM " + QuoteName(table) + " WHERE " + rowidName +
                                               " >= ?1 ORDER BY " + rowidName,
                                           kRecordset);
    }
    // The next record in rowid order, unless anything changed since the reader's last record.
    int64_t rowid = rowids[position];
    bool found = readerAt + 1 == position && currentVersion == version &&
                 reader->Step(kRecordset) && sqlite3_column_int64(reader->get(), 0) == rowid;
    if (!found) {
      reader->Reset();
      reader->Bind(1, Variant(rowid), kRecordset);
      found = reader->Step(kRecordset) && sqlite3_column_int64(reader->get(), 0) == rowid;
    }
    if (!found) {
      EndReads();
      throw DaoFailure(kRecordDeleted, kRecordset);
    }
    readerAt = position;
    current.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      reader->ColumnInto(current[i], int(i) + 1);
      NormalizeRead(current[i], columns[i]);
    }
    currentAt = position;
    currentVersion = version;
  }
  return current[column];
}

size_t RecordsetState::FindColumn(std::string_view name) const {
  std::string upper = text::Upper(name);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].upperName == upper) return i;
  }
  return columns.size();
}

}  // namespace detail

using detail::DaoFailure;
using detail::RecordsetState;
using Mode = RecordsetState::Mode;

namespace {

[[noreturn]] void Fail(int32_t number) {
  throw DaoFailure(number, detail::kRecordset);
}

RecordsetState& Checked(const std::unique_ptr<RecordsetState>& state) {
  if (!state) Fail(kObjectInvalid);
  state->Check();
  return *state;
}

// Moving on drops a pending AddNew or Edit without a word, as DAO does.
RecordsetState& Moving(const std::unique_ptr<RecordsetState>& state) {
  RecordsetState& s = Checked(state);
  s.mode = Mode::kNone;
  return s;
}

}  // namespace

// --- RecordsetField ----------------------------------------------------------------------------

const std::string& RecordsetField::Name() const {
  return state_->columns[index_].name;
}

const Variant& RecordsetField::Value() const {
  state_->Check();
  return state_->Current(index_);
}

void RecordsetField::SetValue(Variant value) const {
  state_->Check();
  if (state_->mode == Mode::kNone) Fail(kUpdateWithoutEdit);
  const detail::RecordColumn& column = state_->columns[index_];
  if (column.origin.empty()) Fail(kReadOnly);
  state_->buffer[index_] = detail::ConvertForField(std::move(value), column);
  state_->changed[index_] = true;
}

// --- RecordsetFieldCollection ------------------------------------------------------------------

size_t RecordsetFieldCollection::Count() const {
  state_->Check();
  return state_->columns.size();
}

RecordsetField RecordsetFieldCollection::operator[](size_t index) const {
  state_->Check();
  if (index >= state_->columns.size()) throw DaoFailure(kItemNotFound, detail::kFields);
  return RecordsetField(state_, index);
}

RecordsetField RecordsetFieldCollection::operator[](std::string_view name) const {
  std::optional<RecordsetField> field = Find(name);
  if (!field) throw DaoFailure(kItemNotFound, detail::kFields);
  return *field;
}

std::optional<RecordsetField> RecordsetFieldCollection::Find(std::string_view name) const {
  state_->Check();
  size_t index = state_->FindColumn(name);
  if (index == state_->columns.size()) return std::nullopt;
  return RecordsetField(state_, index);
}

// --- Recordset ---------------------------------------------------------------------------------

Recordset::Recordset(std::unique_ptr<RecordsetState> state)
    : state_(std::move(state)), fields_(state_.get()) {
  state_->changed.assign(state_->columns.size(), false);
  state_->buffer.resize(state_->columns.size());
}

Recordset::Recordset(Recordset&& other) noexcept
    : state_(std::move(other.state_)), fields_(state_.get()) {}

Recordset& Recordset::operator=(Recordset&& other) noexcept {
  state_ = std::move(other.state_);
  fields_ = RecordsetFieldCollection(state_.get());
  return *this;
}

Recordset::~Recordset() = default;

bool Recordset::Eof() const {
  RecordsetState& s = Checked(state_);
  return !s.Fetch(s.position);
}

void Recordset::MoveFirst() {
  RecordsetState& s = Moving(state_);
  if (s.dropped > 0) Fail(kInvalidOperation);
  if (!s.Fetch(0)) Fail(kNoCurrentRecord);
  s.position = 0;
}

void Recordset::MoveLast() {
  RecordsetState& s = Moving(state_);
  s.Complete();
  if (s.Count() == 0) Fail(kNoCurrentRecord);
  s.position = s.Count() - 1;
}

void Recordset::MoveNext() {
  RecordsetState& s = Moving(state_);
  if (!s.Fetch(s.position)) Fail(kNoCurrentRecord);
  ++s.position;
  if (!s.Fetch(s.position)) s.EndReads();
}

int64_t Recordset::AbsolutePosition() const {
  RecordsetState& s = Checked(state_);
  return s.Fetch(s.position) ? int64_t(s.position) : -1;
}

void Recordset::SetAbsolutePosition(int64_t position) {
  RecordsetState& s = Moving(state_);
  if (position < 0 || !s.Fetch(size_t(position))) Fail(kInvalidArgument);
  s.position = size_t(position);
}

int64_t Recordset::RecordCount() const {
  RecordsetState& s = Checked(state_);
  s.Complete();
  return int64_t(s.Count());
}

int64_t Recordset::Bookmark() const {
  RecordsetState& s = Checked(state_);
  if (!s.keyed) Fail(kReadOnly);
  if (!s.Fetch(s.position)) Fail(kNoCurrentRecord);
  return s.rowids[s.position];
}

void Recordset::SetBookmark(int64_t bookmark) {
  RecordsetState& s = Moving(state_);
  if (!s.keyed) Fail(kReadOnly);
  std::optional<size_t> position = s.PositionOf(bookmark);
  if (!position) Fail(kNotAValidBookmark);
  s.position = *position;
}

int64_t Recordset::LastModified() const {
  RecordsetState& s = Checked(state_);
  if (!s.lastModified) Fail(kNoCurrentRecord);
  return *s.lastModified;
}

RecordsetFieldCollection& Recordset::Fields() {
  Checked(state_);
  return fields_;
}

bool Recordset::Updatable() const {
  return !Checked(state_).table.empty();
}

void Recordset::AddNew() {
  RecordsetState& s = Checked(state_);
  if (s.table.empty()) Fail(kReadOnly);
  // No write into a table under a running read of it; a table not read yet reads it later.
  if (s.started) s.Complete();
  if (s.mode != Mode::kNone) Fail(kEditAlreadyUsed);
  s.buffer.assign(s.columns.size(), Variant());
  s.changed.assign(s.columns.size(), false);
  s.mode = Mode::kAdd;
}

void Recordset::Edit() {
  RecordsetState& s = Checked(state_);
  if (s.table.empty()) Fail(kReadOnly);
  if (s.mode != Mode::kNone) Fail(kEditAlreadyUsed);
  if (!s.Fetch(s.position)) Fail(kNoCurrentRecord);
  s.Complete();
  s.changed.assign(s.columns.size(), false);
  s.mode = Mode::kEdit;
}

namespace {

// The statement that writes the fields set in s.changed.
std::shared_ptr<detail::Statement> WriteStatement(RecordsetState& s, bool insert) {
  std::shared_ptr<detail::Statement>& statement = s.writes[{insert, s.changed}];
  if (statement) return statement;
  std::string names, marks;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    if (!s.changed[i]) continue;
    names += (names.empty() ? "" : ", ") + detail::QuoteName(s.columns[i].origin);
    marks += marks.empty() ? "?" : ", ?";
    if (!insert) names += " = ?";
  }
  std::string table = detail::QuoteName(s.table);
  std::string sql = !insert ? "UPDATE " + table + " SET " + names + " WHERE " + s.rowidName + " = ?"
                    : names.empty()
                        ? "INSERT INTO " + table + " DEFAULT VALUES"
                        : "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
  statement = s.connection->Cached(sql, detail::kRecordset);
  return statement;
}

// Binds the fields that were set, in column order; the next free position.
int BindChanged(RecordsetState& s, detail::StatementUse& use) {
  int next = 1;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    // The buffer holds the values until the statement has run: SQLite need not copy them.
    if (s.changed[i]) use->Bind(next++, s.buffer[i], detail::kRecordset, false);
  }
  return next;
}

}  // namespace

void Recordset::Update() {
  RecordsetState& s = Checked(state_);
  if (s.mode == Mode::kNone) Fail(kUpdateWithoutEdit);
  const char* source = detail::kRecordset;
  if (s.mode == Mode::kAdd) {
    int64_t rowid = 0;
    {
      detail::StatementUse use(WriteStatement(s, true));
      BindChanged(s, use);
      use->Step(source);
      rowid = sqlite3_last_insert_rowid(s.connection->Handle(source));
    }
    s.lastModified = rowid;
    // A record set that has read its records knows the new one; one that has not yet read
    // will find it in the table.
    if (s.complete) {
      bool atEnd = s.position >= s.Count();
      s.rowids.push_back(rowid);
      if (atEnd) s.position = s.Count();
    }
  } else if (std::find(s.changed.begin(), s.changed.end(), true) != s.changed.end()) {
    {
      detail::StatementUse use(WriteStatement(s, false));
      int next = BindChanged(s, use);
      use->Bind(next, Variant(s.rowids[s.position]), source);
      use->Step(source);
    }
    if (sqlite3_changes64(s.connection->Handle(source)) == 0) Fail(kRecordDeleted);
    s.lastModified = s.rowids[s.position];
  }
  s.mode = Mode::kNone;
}

void Recordset::CancelUpdate() {
  RecordsetState& s = Checked(state_);
  if (s.mode == Mode::kNone) Fail(kUpdateWithoutEdit);
  s.mode = Mode::kNone;
}

void Recordset::Close() {
  if (!state_) return;
  // The columns stay for the fields handed out; the statements go while the connection is held.
  RecordsetState closed;
  closed.connection = std::move(state_->connection);
  closed.columns = std::move(state_->columns);
  closed.closed = true;
  *state_ = std::move(closed);
}

// --- Query -------------------------------------------------------------------------------------

Query::Query(std::shared_ptr<detail::Connection> connection,
             std::unique_ptr<detail::PreparedQuery> prepared)
    : connection_(std::move(connection)), prepared_(std::move(prepared)) {
  values_.resize(ParameterCount());
}

Query::Query(Query&&) noexcept = default;

Query& Query::operator=(Query&& other) noexcept {
  // The old statement goes first, while the connection it belongs to is still held.
  prepared_ = std::move(other.prepared_);
  connection_ = std::move(other.connection_);
  values_ = std::move(other.values_);
  return *this;
}

Query::~Query() = default;

size_t Query::ParameterCount() const {
  if (!prepared_) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  connection_->Handle(detail::kDatabase);
  return size_t(prepared_->parameterCount);
}

void Query::Bind(size_t position, const Variant& value) {
  if (position < 1 || position > ParameterCount()) {
    throw DaoFailure(kInvalidArgument, detail::kDatabase);
  }
  values_[position - 1] = value;
}

Recordset Query::OpenRecordset() {
  ParameterCount();
  return Recordset(detail::RunSelection(connection_, *prepared_, values_));
}

int64_t Query::Execute() {
  ParameterCount();
  return detail::RunAction(*connection_, *prepared_, values_);
}

}  // namespace horavex::dao
