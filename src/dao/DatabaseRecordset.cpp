#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

#include "dao/Database.h"
#include "dao/DatabaseDetail.h"
#include "platform/Text.h"

namespace horavex::dao {
namespace detail {
namespace {

// --- What a selection reads ---------------------------------------------------------------------

// The stored name of the one table of the main database that every column of the statement
// comes straight from, as SQLite reports it; "" when a column is computed or another table's.
std::string SingleTable(Connection& connection, sqlite3_stmt* statement) {
  int count = sqlite3_column_count(statement);
  std::string table;
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_table_name(statement, i);
    const char* database = sqlite3_column_database_name(statement, i);
    if (name == nullptr || database == nullptr || std::strcmp(database, "main") != 0) return {};
    if (table.empty()) table = name;
    if (!text::EqualsNoCase(table, name)) return {};
  }
  return table.empty() ? std::string() : connection.FindTable(table);
}

// SQLite does not report which row of its table a result row comes from. The one rule left:
// the table's rowid goes in as the first column right after a leading SELECT keyword, and
// SQLite itself refuses that where no single row stands behind a result (DISTINCT, joins,
// compounds).
std::string WithRowidAfterSelect(const std::string& sql, const std::string& rowid) {
  size_t at = sql.find_first_not_of(" \t\r\n");
  if (at == std::string::npos || sql.size() - at < 6 ||
      !text::EqualsNoCase(std::string_view(sql).substr(at, 6), "SELECT")) {
    return {};
  }
  size_t after = at + 6;
  if (after < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[after])) ||
                             sql[after] == '_' || static_cast<unsigned char>(sql[after]) >= 0x80)) {
    return {};
  }
  return sql.substr(0, after) + " " + rowid + "," + sql.substr(after);
}

// --- Helpers for record sets -------------------------------------------------------------------

void CheckParameters(sqlite3_stmt* statement, const std::vector<std::optional<Variant>>& values,
                     const std::string& source) {
  size_t expected = size_t(sqlite3_bind_parameter_count(statement));
  if (values.size() > expected) throw DaoFailure(kInvalidArgument, source);
  size_t missing = expected - values.size();
  for (const auto& value : values) {
    if (!value) ++missing;
  }
  if (missing > 0) throw DaoFailure(kTooFewParameters, source, {std::to_string(missing)});
}

void BindAll(Statement& statement, const std::vector<std::optional<Variant>>& values,
             const std::string& source) {
  CheckParameters(statement.get(), values, source);
  for (size_t i = 0; i < values.size(); ++i) statement.Bind(int(i + 1), *values[i], source);
}

std::string ColumnList(const std::vector<RecordColumn>& columns) {
  std::string list;
  for (const RecordColumn& column : columns) {
    list += (list.empty() ? "" : ", ") + QuoteName(column.origin);
  }
  return list;
}

}  // namespace

std::string RowidName(const std::vector<Connection::ColumnInfo>& columns) {
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    bool taken = std::any_of(columns.begin(), columns.end(), [&](const Connection::ColumnInfo& c) {
      return text::EqualsNoCase(c.name, candidate);
    });
    if (!taken) return candidate;
  }
  return {};
}

std::vector<RecordColumn> ColumnsOf(sqlite3_stmt* statement, int first) {
  std::vector<RecordColumn> columns;
  for (int i = first; i < sqlite3_column_count(statement); ++i) {
    RecordColumn column;
    const char* name = sqlite3_column_name(statement, i);
    const char* origin = sqlite3_column_origin_name(statement, i);
    const char* declared = sqlite3_column_decltype(statement, i);
    column.name = name != nullptr ? name : "";
    column.upperName = text::Upper(column.name);
    column.origin = origin != nullptr ? origin : "";
    column.typed = declared != nullptr;
    if (declared != nullptr) std::tie(column.type, column.size) = ParseDeclaredType(declared);
    columns.push_back(std::move(column));
  }
  return columns;
}

PreparedQuery::PreparedQuery(Connection& connection, const std::string& text) : sql(text) {
  // The SQL as written reports its own failures.
  statement = std::make_unique<Statement>(connection, text, kDatabase);
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
    statement = std::move(identified);
    table = stored;
    hasRowid = true;
    rowidName = rowid;
    rereadAfterInsert =
        std::any_of(columns.begin(), columns.end(),
                    [](const Connection::ColumnInfo& c) { return c.hasDefault || c.primaryKey; });
  } catch (const Failure&) {
    // No single row behind each result: the selection stays read-only.
  }
}

PreparedQuery& CachedQuery(Connection& connection, const std::string& sql) {
  connection.Handle(kDatabase);
  auto found = connection.queries.find(sql);
  if (found != connection.queries.end()) return *found->second;
  // Many different texts mean values pasted into SQL; keeping them all would only grow.
  if (connection.queries.size() >= 64) connection.queries.clear();
  auto query = std::make_unique<PreparedQuery>(connection, sql);
  return *connection.queries.emplace(sql, std::move(query)).first->second;
}

std::unique_ptr<RecordsetState> RunSelection(const std::shared_ptr<Connection>& connection,
                                             PreparedQuery& query,
                                             const std::vector<std::optional<Variant>>& values) {
  StatementUse use(*query.statement);
  BindAll(*query.statement, values, kDatabase);
  bool row = use->Step(kDatabase);
  auto state = std::make_unique<RecordsetState>();
  state->connection = connection;
  sqlite3_stmt* statement = query.statement->get();
  // Column metadata is read after the first step, which re-prepares after a schema change.
  int first = query.hasRowid ? 1 : 0;
  state->columns = ColumnsOf(statement, first);
  bool fromTable = query.hasRowid;
  for (int i = first; i < sqlite3_column_count(statement) && fromTable; ++i) {
    const char* table = sqlite3_column_table_name(statement, i);
    const char* database = sqlite3_column_database_name(statement, i);
    fromTable = table != nullptr && database != nullptr && std::strcmp(database, "main") == 0 &&
                text::EqualsNoCase(table, query.table);
  }
  if (fromTable) {
    state->table = query.table;
    state->rowidName = query.rowidName;
    state->rereadAfterInsert = query.rereadAfterInsert;
  }
  while (row) {
    state->AppendRow(*query.statement, query.hasRowid);
    row = use->Step(kDatabase);
  }
  state->loaded = true;
  return state;
}

int64_t RunAction(Connection& connection, PreparedQuery& query,
                  const std::vector<std::optional<Variant>>& values) {
  StatementUse use(*query.statement);
  if (sqlite3_column_count(query.statement->get()) > 0) {
    throw DaoFailure(kSelectQueryExecuted, kDatabase);
  }
  BindAll(*query.statement, values, kDatabase);
  while (use->Step(kDatabase)) {
  }
  return sqlite3_changes64(connection.Handle(kDatabase));
}

std::unique_ptr<RecordsetState> OpenTable(const std::shared_ptr<Connection>& connection,
                                          const std::string& table) {
  auto state = std::make_unique<RecordsetState>();
  state->connection = connection;
  state->sourceTable = table;
  std::vector<Connection::ColumnInfo> columns = connection->Columns(table);
  for (const Connection::ColumnInfo& info : columns) {
    RecordColumn column;
    column.name = info.name;
    column.upperName = text::Upper(info.name);
    column.origin = info.name;
    column.typed = true;
    std::tie(column.type, column.size) = ParseDeclaredType(info.declaredType);
    state->columns.push_back(std::move(column));
    if (info.hasDefault || info.primaryKey) state->rereadAfterInsert = true;
  }
  state->rowidName = RowidName(columns);
  state->table = table;
  if (!state->rowidName.empty()) {
    // Remembered so that records added before the first read leave the position where DAO has
    // it: on the first record the table had when it was opened.
    StatementUse use(connection->Cached("SELECT " + state->rowidName + " FROM " + QuoteName(table) +
                                            " ORDER BY " + state->rowidName + " LIMIT 1",
                                        kRecordset));
    if (use->Step(kRecordset)) state->firstRowid = use->Column(0).ToInteger();
  } else {
    state->table.clear();
  }
  state->buffer.resize(state->columns.size());
  return state;
}

// --- RecordsetState ----------------------------------------------------------------------------

void RecordsetState::Check() const {
  if (closed || !connection->IsOpen()) throw DaoFailure(kObjectInvalid, kRecordset);
}

void RecordsetState::AppendRow(const Statement& statement, bool withRowid) {
  int first = withRowid ? 1 : 0;
  rowids.push_back(withRowid ? statement.Column(0).ToInteger() : int64_t(rowids.size()));
  for (size_t i = 0; i < columns.size(); ++i) {
    values.push_back(NormalizeRead(statement.Column(int(i) + first), columns[i]));
  }
}

namespace {

std::string TableSelection(const RecordsetState& state) {
  std::string from = " FROM " + QuoteName(state.sourceTable);
  return state.rowidName.empty()
             ? "SELECT *" + from
             : "SELECT " + state.rowidName + ", *" + from + " ORDER BY " + state.rowidName;
}

}  // namespace

void RecordsetState::StartCursor() {
  if (cursor) return;
  cursor = std::make_unique<Statement>(*connection, TableSelection(*this), kRecordset);
  position = 0;
  cursorDecoded.assign(columns.size(), false);
  cursorValues.assign(columns.size(), Variant());
  cursorOnRow = cursor->Step(kRecordset);
  if (!cursorOnRow) cursor->Reset();  // no read lock is held at the end
}

void RecordsetState::RestartCursor() {
  cursor.reset();
  StartCursor();
}

void RecordsetState::StepCursor() {
  cursorDecoded.assign(columns.size(), false);
  ++position;
  cursorOnRow = cursor->Step(kRecordset);
  if (!cursorOnRow) cursor->Reset();
}

int64_t RecordsetState::CountRecords() {
  StatementUse use(
      connection->Cached("SELECT count(*) FROM " + QuoteName(sourceTable), kRecordset));
  return use->Step(kRecordset) ? use->Column(0).ToInteger() : 0;
}

void RecordsetState::Load() {
  if (loaded) return;
  std::optional<size_t> streamed;
  if (cursor) {
    streamed = position;
    cursor.reset();
  }
  bool withRowid = !rowidName.empty();
  // Reserved at once: growing the store record by record copies it and touches new memory.
  size_t expected = size_t(CountRecords());
  rowids.reserve(expected);
  values.reserve(expected * columns.size());
  Statement& statement = connection->Cached(TableSelection(*this), kRecordset);
  StatementUse use(statement);
  bool row = statement.Step(kRecordset);
  columns = ColumnsOf(statement.get(), withRowid ? 1 : 0);
  if (buffer.size() != columns.size()) {
    buffer.assign(columns.size(), Variant());
    changed.assign(columns.size(), false);
  }
  while (row) {
    AppendRow(statement, withRowid);
    row = statement.Step(kRecordset);
  }
  loaded = true;
  position = Count();
  if (streamed) {
    position = std::min(*streamed, Count());
  } else if (firstRowid) {
    for (size_t i = 0; i < rowids.size(); ++i) {
      if (rowids[i] >= *firstRowid) {
        position = i;
        break;
      }
    }
  }
}

const Variant& RecordsetState::Current(size_t column) {
  if (mode != Mode::kNone) return buffer[column];
  if (Streams()) {
    StartCursor();
    if (!cursorOnRow) throw DaoFailure(kNoCurrentRecord, kRecordset);
    if (!cursorDecoded[column]) {
      int first = rowidName.empty() ? 0 : 1;
      cursorValues[column] = NormalizeRead(cursor->Column(int(column) + first), columns[column]);
      cursorDecoded[column] = true;
    }
    return cursorValues[column];
  }
  Load();
  if (position >= Count()) throw DaoFailure(kNoCurrentRecord, kRecordset);
  return values[position * columns.size() + column];
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

// --- RecordsetField ----------------------------------------------------------------------------

const std::string& RecordsetField::Name() const {
  return state_->columns[index_].name;
}

Variant RecordsetField::Value() const {
  state_->Check();
  return state_->Current(index_);
}

void RecordsetField::SetValue(const Variant& value) const {
  state_->Check();
  if (state_->mode == RecordsetState::Mode::kNone) {
    throw DaoFailure(kUpdateWithoutEdit, detail::kRecordset);
  }
  const detail::RecordColumn& column = state_->columns[index_];
  if (column.origin.empty()) throw DaoFailure(kReadOnly, detail::kRecordset);
  state_->buffer[index_] = detail::ConvertForField(value, column);
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

namespace {

RecordsetState& Checked(const std::unique_ptr<RecordsetState>& state) {
  if (!state) throw DaoFailure(kObjectInvalid, detail::kRecordset);
  state->Check();
  return *state;
}

// Moving on drops a pending AddNew or Edit without a word, as DAO does. Moves that a forward
// read cannot make load the records first.
RecordsetState& Moving(const std::unique_ptr<RecordsetState>& state, bool forward = false) {
  RecordsetState& s = Checked(state);
  if (!forward || !s.Streams()) s.Load();
  s.mode = RecordsetState::Mode::kNone;
  return s;
}

}  // namespace

bool Recordset::Eof() const {
  RecordsetState& s = Checked(state_);
  if (s.Streams()) {
    s.StartCursor();
    return !s.cursorOnRow;
  }
  s.Load();
  return s.position >= s.Count();
}

void Recordset::MoveFirst() {
  RecordsetState& s = Moving(state_, true);
  if (s.Streams()) {
    s.RestartCursor();
    if (!s.cursorOnRow) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
    return;
  }
  if (s.Count() == 0) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
  s.position = 0;
}

void Recordset::MoveLast() {
  RecordsetState& s = Moving(state_);
  if (s.Count() == 0) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
  s.position = s.Count() - 1;
}

void Recordset::MoveNext() {
  RecordsetState& s = Moving(state_, true);
  if (s.Streams()) {
    s.StartCursor();
    if (!s.cursorOnRow) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
    s.StepCursor();
    return;
  }
  if (s.position >= s.Count()) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
  ++s.position;
}

int64_t Recordset::AbsolutePosition() const {
  RecordsetState& s = Checked(state_);
  s.Load();
  return s.position < s.Count() ? int64_t(s.position) : -1;
}

void Recordset::SetAbsolutePosition(int64_t position) {
  RecordsetState& s = Moving(state_);
  if (position < 0 || uint64_t(position) >= s.Count()) {
    throw DaoFailure(kInvalidArgument, detail::kRecordset);
  }
  s.position = size_t(position);
}

int64_t Recordset::RecordCount() const {
  RecordsetState& s = Checked(state_);
  if (s.Streams()) return s.CountRecords();
  s.Load();
  return int64_t(s.Count());
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
  if (s.table.empty()) throw DaoFailure(kReadOnly, detail::kRecordset);
  if (s.cursor) s.Load();  // no write into a table under a running read of it
  if (s.mode != RecordsetState::Mode::kNone) {
    throw DaoFailure(kEditAlreadyUsed, detail::kRecordset);
  }
  s.buffer.assign(s.columns.size(), Variant());
  s.changed.assign(s.columns.size(), false);
  s.mode = RecordsetState::Mode::kAdd;
}

void Recordset::Edit() {
  RecordsetState& s = Checked(state_);
  if (s.table.empty()) throw DaoFailure(kReadOnly, detail::kRecordset);
  if (s.mode != RecordsetState::Mode::kNone) {
    throw DaoFailure(kEditAlreadyUsed, detail::kRecordset);
  }
  s.Load();
  if (s.position >= s.Count()) throw DaoFailure(kNoCurrentRecord, detail::kRecordset);
  size_t width = s.columns.size();
  s.buffer.assign(s.values.begin() + std::ptrdiff_t(s.position * width),
                  s.values.begin() + std::ptrdiff_t((s.position + 1) * width));
  s.changed.assign(width, false);
  s.mode = RecordsetState::Mode::kEdit;
}

void Recordset::Update() {
  RecordsetState& s = Checked(state_);
  if (s.mode == RecordsetState::Mode::kNone) {
    throw DaoFailure(kUpdateWithoutEdit, detail::kRecordset);
  }
  const std::string& source = detail::kRecordset;
  std::vector<size_t> set;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    if (s.changed[i]) set.push_back(i);
  }
  std::string table = detail::QuoteName(s.table);
  if (s.mode == RecordsetState::Mode::kAdd) {
    detail::Statement*& insert = s.inserts[s.changed];
    if (insert == nullptr) {
      std::string sql = "INSERT INTO " + table;
      if (set.empty()) {
        sql += " DEFAULT VALUES";
      } else {
        std::string names;
        std::string marks;
        for (size_t i : set) {
          names += (names.empty() ? "" : ", ") + detail::QuoteName(s.columns[i].origin);
          marks += marks.empty() ? "?" : ", ?";
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
      }
      insert = &s.connection->Cached(sql, source);
    }
    int64_t rowid = 0;
    {
      detail::StatementUse use(*insert);
      for (size_t k = 0; k < set.size(); ++k) use->Bind(int(k + 1), s.buffer[set[k]], source);
      use->Step(source);
      rowid = sqlite3_last_insert_rowid(s.connection->Handle(source));
    }
    if (s.loaded) {
      bool atEnd = s.position >= s.Count();
      if (s.rereadAfterInsert) {
        detail::StatementUse use(s.connection->Cached("SELECT " + detail::ColumnList(s.columns) +
                                                          " FROM " + table + " WHERE " +
                                                          s.rowidName + " = ?1",
                                                      source));
        use->Bind(1, Variant(rowid), source);
        if (!use->Step(source)) throw DaoFailure(kRecordDeleted, source);
        for (size_t i = 0; i < s.columns.size(); ++i) {
          s.buffer[i] = detail::NormalizeRead(use->Column(int(i)), s.columns[i]);
        }
      }
      s.rowids.push_back(rowid);
      s.values.insert(s.values.end(), s.buffer.begin(), s.buffer.end());
      if (atEnd) s.position = s.Count();
    }
  } else if (!set.empty()) {
    detail::Statement*& update = s.updates[s.changed];
    if (update == nullptr) {
      std::string assignments;
      for (size_t i : set) {
        assignments +=
            (assignments.empty() ? "" : ", ") + detail::QuoteName(s.columns[i].origin) + " = ?";
      }
      update = &s.connection->Cached(
          "UPDATE " + table + " SET " + assignments + " WHERE " + s.rowidName + " = ?", source);
    }
    detail::StatementUse use(*update);
    for (size_t k = 0; k < set.size(); ++k) use->Bind(int(k + 1), s.buffer[set[k]], source);
    use->Bind(int(set.size() + 1), Variant(s.rowids[s.position]), source);
    use->Step(source);
    if (sqlite3_changes64(s.connection->Handle(source)) == 0) {
      throw DaoFailure(kRecordDeleted, source);
    }
    size_t width = s.columns.size();
    for (size_t i : set) s.values[s.position * width + i] = s.buffer[i];
  }
  s.mode = RecordsetState::Mode::kNone;
}

void Recordset::CancelUpdate() {
  RecordsetState& s = Checked(state_);
  if (s.mode == RecordsetState::Mode::kNone) {
    throw DaoFailure(kUpdateWithoutEdit, detail::kRecordset);
  }
  s.mode = RecordsetState::Mode::kNone;
}

void Recordset::Close() {
  if (!state_) return;
  RecordsetState& s = *state_;
  s.closed = true;
  s.mode = RecordsetState::Mode::kNone;
  s.cursor.reset();
  std::vector<Variant>().swap(s.values);
  std::vector<int64_t>().swap(s.rowids);
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
  return size_t(sqlite3_bind_parameter_count(prepared_->statement->get()));
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
