#include "dao/Database.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

#include "dao/DatabaseDetail.h"
#include "dao/DatabaseKind.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace horavex::dao {
namespace detail {
namespace {

// The text after "prefix" in an SQLite message, without a schema qualifier "main.".
std::optional<std::string> After(const std::string& message, std::string_view prefix) {
  size_t at = message.find(prefix);
  if (at == std::string::npos) return std::nullopt;
  std::string rest = message.substr(at + prefix.size());
  if (rest.rfind("main.", 0) == 0) rest.erase(0, 5);
  return rest;
}

int Collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
  return CompareNoCase(std::string_view(static_cast<const char*>(a), size_t(lengthA)),
                       std::string_view(static_cast<const char*>(b), size_t(lengthB)));
}

}  // namespace

sqlite3_file* MainFile(sqlite3* handle) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr) {
    return nullptr;
  }
  return file;
}

namespace {

// The value SQLite holds, into value; text into the memory of the text value held.
void ValueInto(Variant& value, sqlite3_value* from) {
  switch (sqlite3_value_type(from)) {
    case SQLITE_INTEGER:
      value = Variant(static_cast<int64_t>(sqlite3_value_int64(from)));
      return;
    case SQLITE_FLOAT:
      value = Variant(sqlite3_value_double(from));
      return;
    case SQLITE_TEXT: {
      const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(from));
      std::string_view text(data, size_t(sqlite3_value_bytes(from)));
      // Text that another tool wrote in the ANSI code page is read as Windows-1252.
      if (text::IsValidUtf8(text)) {
        value.AssignText(text);
      } else {
        value = Variant(text::Cp1252ToUtf8(text));
      }
      return;
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const char*>(sqlite3_value_blob(from));
      int size = sqlite3_value_bytes(from);
      value = Variant::Binary(size > 0 ? std::string(data, size_t(size)) : std::string());
      return;
    }
    default:
      value = Variant();
  }
}

// AS_FIELD(value, declared type): the value as such a field holds it once written.
void AsField(sqlite3_context* context, int, sqlite3_value** arguments) {
  Variant value;
  ValueInto(value, arguments[0]);
  // The declared type is a constant of the statement: parsed once, kept by SQLite.
  auto* column = static_cast<RecordColumn*>(sqlite3_get_auxdata(context, 1));
  if (column == nullptr) {
    const auto* declared = reinterpret_cast<const char*>(sqlite3_value_text(arguments[1]));
    column = new RecordColumn;
    std::tie(column->type, column->size) = ParseDeclaredType(declared == nullptr ? "" : declared);
    column->typed = true;
    sqlite3_set_auxdata(context, 1, column, [](void* p) { delete static_cast<RecordColumn*>(p); });
    column = static_cast<RecordColumn*>(sqlite3_get_auxdata(context, 1));
    if (column == nullptr) return sqlite3_result_error_nomem(context);
  }
  try {
    value = ConvertForField(std::move(value), *column);
  } catch (const Failure&) {
    sqlite3_result_value(context, arguments[0]);
    return;
  }
  switch (value.kind()) {
    case Variant::Kind::kNull:
      sqlite3_result_null(context);
      break;
    case Variant::Kind::kInteger:
      sqlite3_result_int64(context, value.ToInteger());
      break;
    case Variant::Kind::kDouble:
      sqlite3_result_double(context, value.ToDouble());
      break;
    case Variant::Kind::kText:
      sqlite3_result_text64(context, value.Bytes().data(), value.Bytes().size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
      break;
    case Variant::Kind::kBinary:
      sqlite3_result_blob64(context, value.Bytes().data(), value.Bytes().size(), SQLITE_TRANSIENT);
      break;
  }
}

// Steps a statement that yields one row and returns its first column.
Variant SingleValue(Connection& connection, const std::string& sql, const char* source) {
  StatementUse use(connection.Cached(sql, source));
  return use->Step(source) ? use->Column(0) : Variant();
}

// Settings and checks shared by Open and Create. A file that SQLite cannot read as a database
// fails here rather than on its first use. A new database (fresh) is written at once: SQLite
// writes nothing until the first change, and an empty file would not open again.
void Prepare(Connection& connection, const OpenOptions& options, bool fresh = false) {
  if (fresh) connection.Run("PRAGMA user_version = 0", kWorkspace);
  sqlite3* handle = connection.Handle(kWorkspace);
  sqlite3_extended_result_codes(handle, 1);
  if (options.whileBusy) {
    connection.WaitWhileBusy(options);
  } else {
    sqlite3_busy_timeout(handle, options.busyTimeoutMs);
  }
  sqlite3_create_collation_v2(handle, kNoCaseCollation, SQLITE_UTF8, nullptr, Collate, nullptr);
  sqlite3_create_function_v2(handle, kAsFieldFunction, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                             nullptr, AsField, nullptr, nullptr, nullptr);
  SingleValue(connection, "SELECT count(*) FROM sqlite_schema", kWorkspace);
  connection.Run("PRAGMA cache_size = -16384", kWorkspace);
  // Whole files are copied while closed; a write-ahead log beside them would be left behind.
  std::string mode = SingleValue(connection, "PRAGMA journal_mode = DELETE", kWorkspace).ToText();
  if (!text::EqualsNoCase(mode, "delete")) {
    throw DaoFailure(kFileInUse, kWorkspace, {connection.path()});
  }
  int64_t pages = SingleValue(connection, "PRAGMA page_count", kWorkspace).ToInteger();
  int64_t pageSize = SingleValue(connection, "PRAGMA page_size", kWorkspace).ToInteger();
  HostFileStatus file = HostFileStatusOf(connection.path());
  if (file.kind == HostFileStatus::Kind::kFile && uint64_t(pages * pageSize) > file.size) {
    throw DaoFailure(kUnrecognizedFormat, kWorkspace, {connection.path()});
  }
}

std::shared_ptr<Connection> Connect(const std::string& path, int flags) {
  // SQLite's memory statistics take a global lock on every allocation; nothing reads them.
  // Only possible before SQLite's first use in the process, and harmless when too late.
  static const int statistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  (void)statistics;
  sqlite3* handle = nullptr;
  // Each connection is used by one thread only: SQLite need not lock it on every call.
  int rc = sqlite3_open_v2(path.c_str(), &handle, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(handle);
    throw DaoFailure(kCannotOpenFile, kWorkspace, {path});
  }
  return std::make_shared<Connection>(handle, path);
}

void CheckFolder(const std::string& path) {
  if (!HostFolderExists(path)) throw DaoFailure(kInvalidPath, kWorkspace, {path});
}

// Jet's rules for object names: 1 to 64 characters, no leading blank, no control character and
// none of . ! ` [ ]. Fails with 3125.
void CheckName(const std::string& name, const std::string& source) {
  std::u32string characters = text::ToU32(name);
  bool valid = !characters.empty() && characters.size() <= 64 && characters[0] != U' ';
  for (char32_t c : characters) {
    if (c < 0x20 || c == U'.' || c == U'!' || c == U'`' || c == U'[' || c == U']') valid = false;
  }
  if (!valid) throw DaoFailure(kInvalidName, source, {name});
}

// The item whose name (nameOf) is that name: an exact match first, then one in any case.
template <typename T, typename NameOf>
const T* FindByName(const std::vector<T>& items, std::string_view name, NameOf nameOf) {
  auto found =
      std::find_if(items.begin(), items.end(), [&](const T& i) { return nameOf(i) == name; });
  if (found == items.end()) {
    found = std::find_if(items.begin(), items.end(),
                         [&](const T& i) { return text::EqualsNoCase(nameOf(i), name); });
  }
  return found == items.end() ? nullptr : &*found;
}

}  // namespace

size_t AfterKeyword(std::string_view sql, std::string_view word) {
  size_t at = sql.find_first_not_of(" \t\r\n");
  if (at == std::string_view::npos || !text::EqualsNoCase(sql.substr(at, word.size()), word)) {
    return std::string_view::npos;
  }
  size_t after = at + word.size();
  // SQLite reads letters, digits, "_" and every non-ASCII byte as part of one word.
  bool longer =
      after < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[after])) ||
                             sql[after] == '_' || static_cast<unsigned char>(sql[after]) >= 0x80);
  return longer ? std::string_view::npos : after;
}

Failure DaoFailure(int32_t number, const std::string& source,
                   const std::vector<std::string>& arguments) {
  // The texts of DAO 3.x; "|" marks where an argument goes.
  static const std::map<int32_t, const char*> texts = {
      {kReservedError, "Reserved error (|); there is no message for this error."},
      {kInvalidArgument, "Invalid argument."},
      {kTableExists, "Table '|' already exists."},
      {kUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit."},
      {kNoCurrentRecord, "No current record."},
      {kDuplicateKey, "Can't have duplicate key; index changes were unsuccessful."},
      {kEditAlreadyUsed, "AddNew or Edit already used."},
      {kFileNotFound, "Couldn't find file '|'."},
      {kDiskFull, "Not enough space on disk."},
      {kReadOnly, "Can't update. Database or object is read-only."},
      {kNoTransaction, "Commit or Rollback without BeginTrans."},
      {kResourceExceeded, "System resource exceeded."},
      {kDiskError, "Disk or network error."},
      {kInvalidPath, "'|' isn't a valid path."},
      {kFileInUse, "Couldn't use '|'; file already in use."},
      {kCannotOpenFile, "Couldn't open file '|'."},
      {kTooFewParameters, "Too few parameters. Expected |."},
      {kSelectQueryExecuted, "Can't execute a select query."},
      {kQueryExpression, "| in query expression '|'."},
      {kInputTableNotFound, "Couldn't find input table or query '|'."},
      {kInvalidName, "'|' isn't a valid name."},
      {kInvalidSql,
       "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
      {kCharactersAfterEnd, "Characters found after end of SQL statement."},
      {kFieldTooSmall,
       "The field is too small to accept the amount of data you attempted to add. Try inserting "
       "or pasting less data."},
      {kNotAValidBookmark, "Not a valid bookmark."},
      {kRecordDeleted, "Record is deleted."},
      {kFieldDefinedTwice, "Can't define field more than once."},
      {kDatabaseExists, "Database already exists."},
      {kLocked, "Couldn't update; currently locked."},
      {kInvalidFieldType, "Invalid field data type."},
      {kNoFieldsDefined, "No fields defined - cannot append Tabledef or Index."},
      {kItemNotFound, "Item not found in this collection."},
      {kFieldAlreadyAppended,
       "Can't append a field that is already a part of a Fields collection."},
      {kNullNotAllowed, "Field '|' can't contain a null value."},
      {kUnrecognizedFormat, "Unrecognized database format '|'."},
      {kNumericOverflow, "Numeric field overflow."},
      {kTableNotFound, "Table '|' doesn't exist."},
      {kObjectInvalid, "Object is invalid or not set."},
      {kConversionError, "Data type conversion error."},
  };
  auto found = texts.find(number);
  std::string pattern = found != texts.end() ? found->second : "|";
  std::string description;
  size_t next = 0;
  for (char c : pattern) {
    if (c == '|') {
      description += next < arguments.size() ? arguments[next] : std::string();
      ++next;
    } else {
      description += c;
    }
  }
  return Failure(number, source, description);
}

std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

[[noreturn]] void FailWith(sqlite3* handle, int rc, const std::string& path,
                           const std::string& source, const std::string& sql) {
  std::string message = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw DaoFailure(kLocked, source);
    case SQLITE_READONLY:
      throw DaoFailure(kReadOnly, source);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      throw DaoFailure(kUnrecognizedFormat, source, {path});
    case SQLITE_FULL:
      throw DaoFailure(kDiskFull, source);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
      throw DaoFailure(kDiskError, source);
    case SQLITE_NOMEM:
      throw DaoFailure(kResourceExceeded, source);
    case SQLITE_RANGE:
      throw DaoFailure(kInvalidArgument, source);
    case SQLITE_CONSTRAINT:
      if (rc == SQLITE_CONSTRAINT_NOTNULL) {
        std::string column = After(message, "failed: ").value_or("");
        size_t dot = column.rfind('.');
        throw DaoFailure(kNullNotAllowed, source,
                         {dot == std::string::npos ? column : column.substr(dot + 1)});
      }
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        throw DaoFailure(kDuplicateKey, source);
      }
      throw DaoFailure(kReservedError, source, {message});
    case SQLITE_ERROR:
      if (auto table = After(message, "no such table: ")) {
        bool drop = AfterKeyword(sql, "DROP") != std::string_view::npos;
        throw DaoFailure(drop ? kTableNotFound : kInputTableNotFound, source, {*table});
      }
      // Jet takes an unknown name in a query for a parameter without a value.
      if (After(message, "no such column: ")) throw DaoFailure(kTooFewParameters, source, {"1"});
      if (After(message, "duplicate column name: ")) throw DaoFailure(kFieldDefinedTwice, source);
      if (auto name = After(message, "table ")) {
        size_t end = name->find(" already exists");
        if (end != std::string::npos) {
          throw DaoFailure(kTableExists, source, {name->substr(0, end)});
        }
      }
      if (auto name = After(message, "there is already ")) {
        size_t named = name->find(" named ");
        throw DaoFailure(kTableExists, source,
                         {named == std::string::npos ? *name : name->substr(named + 7)});
      }
      if (!sql.empty()) throw DaoFailure(kQueryExpression, source, {message, sql});
      throw DaoFailure(kReservedError, source, {message});
    default:
      throw DaoFailure(kReservedError, source, {message});
  }
}

// --- Statement ---------------------------------------------------------------------------------

Statement::Statement(Connection& connection, const std::string& sql, const char* source)
    : connection_(connection), sql_(sql) {
  sqlite3* handle = connection.Handle(source);
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(handle, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                              &statement_, &tail);
  connection.AfterPossibleWait();
  if (rc != SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    FailWith(handle, rc, connection.path(), source, sql);
  }
  if (statement_ == nullptr) throw DaoFailure(kInvalidSql, source);
  // A second statement after the first would silently not run.
  if (tail != nullptr && *tail != '\0') {
    sqlite3_stmt* rest = nullptr;
    rc = sqlite3_prepare_v2(handle, tail, -1, &rest, nullptr);
    bool more = rc != SQLITE_OK || rest != nullptr;
    sqlite3_finalize(rest);
    if (more) {
      sqlite3_finalize(statement_);
      statement_ = nullptr;
      throw DaoFailure(kCharactersAfterEnd, source);
    }
  }
}

Statement::~Statement() {
  if (statement_ != nullptr && connection_.IsOpen()) sqlite3_finalize(statement_);
}

void Statement::Reset() noexcept {
  if (!connection_.IsOpen()) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

void Statement::Bind(int position, const Variant& value, const char* source, bool copy) {
  auto keep = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
  sqlite3* handle = connection_.Handle(source);
  int rc = SQLITE_OK;
  switch (value.kind()) {
    case Variant::Kind::kNull:
      rc = sqlite3_bind_null(statement_, position);
      break;
    case Variant::Kind::kInteger:
      rc = sqlite3_bind_int64(statement_, position, value.ToInteger());
      break;
    case Variant::Kind::kDouble:
      rc = sqlite3_bind_double(statement_, position, value.ToDouble());
      break;
    case Variant::Kind::kText: {
      std::string_view t = value.Bytes();
      rc = sqlite3_bind_text64(statement_, position, t.data(), t.size(), keep, SQLITE_UTF8);
      break;
    }
    case Variant::Kind::kBinary: {
      std::string_view bytes = value.Bytes();
      rc = sqlite3_bind_blob64(statement_, position, bytes.data(), bytes.size(), keep);
      break;
    }
  }
  if (rc != SQLITE_OK) FailWith(handle, rc, connection_.path(), source, sql_);
}

bool Statement::Step(const char* source) {
  sqlite3* handle = connection_.Handle(source);
  int rc = sqlite3_step(statement_);
  connection_.AfterPossibleWait();
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  FailWith(handle, rc, connection_.path(), source, sql_);
}

Variant Statement::Column(int index) const {
  Variant value;
  ColumnInto(value, index);
  return value;
}

void Statement::ColumnInto(Variant& value, int index) const {
  ValueInto(value, sqlite3_column_value(statement_, index));
}

// --- Connection --------------------------------------------------------------------------------

Connection::Connection(sqlite3* handle, std::string path)
    : handle_(handle), path_(std::move(path)) {}

Connection::~Connection() {
  Close();
}

sqlite3* Connection::Handle(const char* source) const {
  if (handle_ == nullptr) throw DaoFailure(kObjectInvalid, source);
  return handle_;
}

Connection::CacheEntry& Connection::CacheEntryFor(const std::string& sql) {
  auto found = cache_.find(sql);
  if (found != cache_.end()) return found->second;
  if (cache_.size() >= kCached) {
    std::erase_if(cache_, [](const auto& item) {
      const CacheEntry& entry = item.second;
      return (!entry.statement || entry.statement.use_count() == 1) &&
             (!entry.query || entry.query.use_count() == 1);
    });
  }
  return cache_[sql];
}

std::shared_ptr<Statement> Connection::Cached(const std::string& sql, const char* source) {
  Handle(source);
  auto found = cache_.find(sql);
  if (found != cache_.end() && found->second.statement) return found->second.statement;
  // Made before the entry is looked up: making it may use the cache, which may let go of
  // entries.
  auto statement = std::make_shared<Statement>(*this, sql, source);
  return CacheEntryFor(sql).statement = statement;
}

std::shared_ptr<const PreparedQuery> Connection::CachedQuery(const std::string& sql) {
  Handle(kDatabase);
  auto found = cache_.find(sql);
  if (found != cache_.end() && found->second.query) return found->second.query;
  auto query = std::make_shared<const PreparedQuery>(*this, sql);
  return CacheEntryFor(sql).query = query;
}

void Connection::Run(const std::string& sql, const char* source) {
  StatementUse use(Cached(sql, source));
  while (use->Step(source)) {
  }
}

void Connection::WaitWhileBusy(const OpenOptions& options) {
  busy_ = options;
  sqlite3_busy_handler(Handle(kWorkspace), &Connection::BusyHandler, this);
}

int Connection::BusyHandler(void* context, int tries) {
  constexpr int kStepMs = 10;
  auto& connection = *static_cast<Connection*>(context);
  auto now = std::chrono::steady_clock::now();
  if (tries == 0) connection.busySince_ = now;
  if (now - connection.busySince_ >= std::chrono::milliseconds(connection.busy_.busyTimeoutMs)) {
    return 0;
  }
  connection.busyWaiting_ = true;
  // Nothing may leave through SQLite's own frames.
  try {
    connection.busy_.whileBusy(connection.path_, true);
  } catch (...) {
  }
  sqlite3_sleep(kStepMs);
  return 1;
}

void Connection::EndBusyWait() noexcept {
  busyWaiting_ = false;
  try {
    busy_.whileBusy(path_, false);
  } catch (...) {
  }
}

std::vector<std::string> Connection::TableNames() {
  StatementUse use(
      Cached("SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
             "ESCAPE '\\' ORDER BY rowid",
             kTableDefs));
  std::vector<std::string> names;
  while (use->Step(kTableDefs)) names.push_back(use->Column(0).ToText());
  return names;
}

std::string Connection::FindTable(std::string_view name) {
  std::vector<std::string> names = TableNames();
  const std::string* found = FindByName(names, name, std::identity());
  return found != nullptr ? *found : std::string();
}

std::vector<Connection::ColumnInfo> Connection::Columns(const std::string& table) {
  StatementUse use(Cached("SELECT name, type FROM pragma_table_info(?1) ORDER BY cid", kFields));
  use->Bind(1, Variant(table), kFields);
  std::vector<ColumnInfo> columns;
  while (use->Step(kFields)) columns.push_back({use->Column(0).ToText(), use->Column(1).ToText()});
  return columns;
}

void Connection::Close() noexcept {
  if (handle_ == nullptr) return;
  cache_.clear();
  // Statements of Query objects that outlive the database.
  while (sqlite3_stmt* statement = sqlite3_next_stmt(handle_, nullptr)) sqlite3_finalize(statement);
  sqlite3_close_v2(handle_);
  handle_ = nullptr;
  transactionDepth = 0;
}

// --- Table definitions -------------------------------------------------------------------------

void TableDefData::LoadFields() {
  std::vector<Field> previous = std::move(fields.items_);
  fields.items_.clear();
  for (const Connection::ColumnInfo& column : connection->Columns(name)) {
    auto [type, size] = ParseDeclaredType(column.declaredType);
    std::shared_ptr<FieldData> data;
    // Field objects the caller already holds stay attached to their column.
    for (Field& field : previous) {
      if (field.data_ && field.data_->name == column.name) data = std::move(field.data_);
    }
    if (!data) data = std::make_shared<FieldData>();
    *data = FieldData{column.name, type, size, weak_from_this()};
    fields.items_.push_back(Field(data));
  }
  for (Field& field : previous) {
    if (field.data_) field.data_->table.reset();
  }
}

}  // namespace detail

using detail::DaoFailure;

// --- Field -------------------------------------------------------------------------------------

const std::string& Field::Name() const {
  return data_->name;
}

DataType Field::Type() const {
  return data_->type;
}

int32_t Field::Size() const {
  return data_->size;
}

void Field::SetName(const std::string& name) {
  detail::FieldData& field = *data_;
  if (name == field.name) return;
  detail::CheckName(name, detail::kField);
  std::shared_ptr<detail::TableDefData> table = field.table.lock();
  if (table) {
    for (const Field& other : table->fields) {
      if (other.data_ != data_ && text::EqualsNoCase(other.Name(), name)) {
        throw DaoFailure(kFieldDefinedTwice, detail::kField);
      }
    }
    if (table->connection) {
      table->connection->Run("ALTER TABLE " + detail::QuoteName(table->name) + " RENAME COLUMN " +
                                 detail::QuoteName(field.name) + " TO " + detail::QuoteName(name),
                             detail::kField);
    }
  }
  field.name = name;
}

// --- NamedCollection ---------------------------------------------------------------------------

template <typename Item>
Item NamedCollection<Item>::operator[](size_t index) const {
  if (index >= items_.size()) throw DaoFailure(kItemNotFound, source_);
  return items_[index];
}

template <typename Item>
Item NamedCollection<Item>::operator[](std::string_view name) const {
  std::optional<Item> item = Find(name);
  if (!item) throw DaoFailure(kItemNotFound, source_);
  return *item;
}

template <typename Item>
std::optional<Item> NamedCollection<Item>::Find(std::string_view name) const {
  const Item* item = detail::FindByName(items_, name, std::mem_fn(&Item::Name));
  return item != nullptr ? std::optional<Item>(*item) : std::nullopt;
}

template class NamedCollection<Field>;
template class NamedCollection<TableDef>;

// --- FieldCollection ---------------------------------------------------------------------------

FieldCollection::FieldCollection(detail::TableDefData& table)
    : NamedCollection(detail::kFields), table_(table) {}

void FieldCollection::Append(const Field& field) {
  detail::FieldData& data = *field.data_;
  if (!data.table.expired()) throw DaoFailure(kFieldAlreadyAppended, detail::kFields);
  detail::CheckName(data.name, detail::kFields);
  if (Find(data.name)) throw DaoFailure(kFieldDefinedTwice, detail::kFields);
  if (table_.connection) {
    table_.connection->Run("ALTER TABLE " + detail::QuoteName(table_.name) + " ADD COLUMN " +
                               detail::QuoteName(data.name) + " " +
                               DeclaredType(data.type, data.size),
                           detail::kFields);
  }
  data.table = table_.weak_from_this();
  items_.push_back(field);
}

void FieldCollection::Refresh() {
  if (table_.connection) table_.LoadFields();
}

// --- TableDef ----------------------------------------------------------------------------------

const std::string& TableDef::Name() const {
  return data_->name;
}

FieldCollection& TableDef::Fields() const {
  return data_->fields;
}

Field TableDef::CreateField(const std::string& name, DataType type, int32_t size) const {
  if (type == kText && size == 0) size = 255;
  int32_t stored = ParseDeclaredType(DeclaredType(type, size)).second;
  return Field(std::make_shared<detail::FieldData>(detail::FieldData{name, type, stored, {}}));
}

// --- TableDefCollection ------------------------------------------------------------------------

TableDefCollection::TableDefCollection(std::shared_ptr<detail::Connection> connection)
    : NamedCollection(detail::kTableDefs), connection_(std::move(connection)) {
  Refresh();
}

void TableDefCollection::Append(const TableDef& table) {
  detail::TableDefData& data = *table.data_;
  connection_->Handle(detail::kTableDefs);
  if (data.connection) throw DaoFailure(kTableExists, detail::kTableDefs, {data.name});
  detail::CheckName(data.name, detail::kTableDefs);
  if (data.fields.Count() == 0) throw DaoFailure(kNoFieldsDefined, detail::kTableDefs);
  if (Find(data.name) || !connection_->FindTable(data.name).empty()) {
    throw DaoFailure(kTableExists, detail::kTableDefs, {data.name});
  }
  std::string sql = "CREATE TABLE " + detail::QuoteName(data.name) + " (";
  for (size_t i = 0; i < data.fields.Count(); ++i) {
    Field field = data.fields[i];
    sql += (i > 0 ? ", " : "") + detail::QuoteName(field.Name()) + " " +
           DeclaredType(field.Type(), field.Size());
  }
  connection_->Run(sql + ")", detail::kTableDefs);
  data.connection = connection_;
  items_.push_back(table);
}

void TableDefCollection::Delete(std::string_view name) {
  connection_->Handle(detail::kTableDefs);
  std::optional<TableDef> table = Find(name);
  if (!table) throw DaoFailure(kItemNotFound, detail::kTableDefs);
  connection_->Run("DROP TABLE " + detail::QuoteName(table->Name()), detail::kTableDefs);
  table->data_->connection.reset();
  std::erase_if(items_, [&](const TableDef& t) { return t.data_ == table->data_; });
}

void TableDefCollection::Refresh() {
  std::vector<TableDef> tables;
  for (const std::string& name : connection_->TableNames()) {
    std::shared_ptr<detail::TableDefData> data;
    for (TableDef& previous : items_) {
      if (previous.data_->name == name) data = previous.data_;
    }
    if (!data) data = std::make_shared<detail::TableDefData>(name);
    data->connection = connection_;
    data->LoadFields();
    tables.push_back(TableDef(data));
  }
  for (TableDef& previous : items_) {
    bool kept = std::any_of(tables.begin(), tables.end(),
                            [&](const TableDef& t) { return t.data_ == previous.data_; });
    if (!kept) previous.data_->connection.reset();
  }
  items_ = std::move(tables);
}

// --- Database ----------------------------------------------------------------------------------

Database::Database(std::shared_ptr<detail::Connection> connection)
    : connection_(std::move(connection)) {}

Database::Database(Database&&) noexcept = default;

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    connection_ = std::move(other.connection_);
    tableDefs_ = std::move(other.tableDefs_);
  }
  return *this;
}

Database::~Database() {
  Close();
}

Database Database::Open(const std::string& path, const OpenOptions& options) {
  CheckLinksTrusted(path);  // SQLite follows every link
  HostFileStatus::Kind found = HostFileStatusOf(path).kind;
  if (found == HostFileStatus::Kind::kMissing) {
    detail::CheckFolder(path);
    throw DaoFailure(kFileNotFound, detail::kWorkspace, {path});
  }
  if (found != HostFileStatus::Kind::kFile) {
    throw DaoFailure(kUnrecognizedFormat, detail::kWorkspace, {path});
  }
  auto connection = detail::Connect(path, SQLITE_OPEN_READWRITE);
  // SQLite takes an empty file for an empty database and a foreign one for a late failure;
  // the header tells both apart before anything is written. It is read through SQLite's own
  // handle: closing another handle of the file would drop every lock this process holds on it.
  char header[32] = {};
  sqlite3_int64 size = 0;
  sqlite3_file* file = detail::MainFile(connection->Handle(detail::kWorkspace));
  if (file == nullptr || file->pMethods->xFileSize(file, &size) != SQLITE_OK) size = 0;
  size = std::min<sqlite3_int64>(size, sizeof header);
  if (size > 0 && file->pMethods->xRead(file, header, int(size), 0) != SQLITE_OK) size = 0;
  DatabaseKind kind = KindOfHeader(std::string_view(header, size_t(size)));
  if (kind != DatabaseKind::kSQLite) {
    Failure unrecognized = DaoFailure(kUnrecognizedFormat, detail::kWorkspace, {path});
    // An Access database is no damage: it wants converting, and the message says so.
    if (!IsJet(kind)) throw unrecognized;
    throw Failure(unrecognized.number(), unrecognized.source(),
                  unrecognized.description() + " The file is " + DescribeKind(kind) + ".");
  }
  detail::Prepare(*connection, options);
  return Database(connection);
}

Database Database::Create(const std::string& path, const OpenOptions& options) {
  CheckLinksTrusted(path);
  // A link counts as a file there, also one that leads nowhere.
  if (HostFileStatusOf(path, false).kind != HostFileStatus::Kind::kMissing) {
    throw DaoFailure(kDatabaseExists, detail::kWorkspace);
  }
  detail::CheckFolder(path);
  auto connection = detail::Connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  detail::Prepare(*connection, options, true);
  return Database(connection);
}

Database Database::CreateInto(const std::string& path, const OpenOptions& options) {
  HostFileStatus file = HostFileStatusOf(path);
  if (file.kind != HostFileStatus::Kind::kFile || file.size != 0) {
    throw DaoFailure(kDatabaseExists, detail::kWorkspace);
  }
  auto connection = detail::Connect(path, SQLITE_OPEN_READWRITE);
  detail::Prepare(*connection, options, true);
  return Database(connection);
}

const std::string& Database::Name() const {
  static const std::string none;
  return connection_ ? connection_->path() : none;
}

bool Database::IsOpen() const {
  return connection_ && connection_->IsOpen();
}

void Database::Close() noexcept {
  if (connection_) connection_->Close();
}

TableDefCollection& Database::TableDefs() {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  if (!tableDefs_) tableDefs_.reset(new TableDefCollection(connection_));
  return *tableDefs_;
}

TableDef Database::CreateTableDef(const std::string& name) const {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  return TableDef(std::make_shared<detail::TableDefData>(name));
}

namespace {

std::vector<std::optional<Variant>> Optional(const std::vector<Variant>& values) {
  return std::vector<std::optional<Variant>>(values.begin(), values.end());
}

}  // namespace

Recordset Database::OpenRecordset(const std::string& source, const std::vector<Variant>& parameters,
                                  RecordsetType type) {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  bool oneWord = !source.empty() && source.find_first_of(" \t\r\n") == std::string::npos;
  // A name has at most 64 characters; a longer source can only be SQL.
  std::string table = text::Length(source) <= 64 ? connection_->FindTable(source) : "";
  if (!table.empty()) {
    if (!parameters.empty()) throw DaoFailure(kInvalidArgument, detail::kDatabase);
    return Recordset(detail::OpenTable(connection_, table));
  }
  if (oneWord) throw DaoFailure(kInputTableNotFound, detail::kDatabase, {source});
  std::shared_ptr<const detail::PreparedQuery> query = connection_->CachedQuery(source);
  return Recordset(
      detail::RunSelection(connection_, *query, Optional(parameters), type == kOpenForwardOnly));
}

Query Database::CreateQuery(const std::string& sql) {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  return Query(connection_, std::make_unique<detail::PreparedQuery>(*connection_, sql));
}

int64_t Database::Execute(const std::string& sql, const std::vector<Variant>& parameters) {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kDatabase);
  std::shared_ptr<const detail::PreparedQuery> query = connection_->CachedQuery(sql);
  return detail::RunAction(*connection_, *query, Optional(parameters));
}

void Database::BeginTrans() {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kWorkspace);
  int& depth = connection_->transactionDepth;
  // IMMEDIATE takes the write lock at once, waiting for it under the busy timeout; a deferred
  // transaction could fail later without waiting when two connections upgrade at once.
  connection_->Run(depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT level" + std::to_string(depth),
                   detail::kWorkspace);
  ++depth;
}

bool Database::InTransaction() const {
  return IsOpen() && connection_->transactionDepth > 0;
}

void Database::CommitTrans() {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kWorkspace);
  int& depth = connection_->transactionDepth;
  if (depth == 0) throw DaoFailure(kNoTransaction, detail::kWorkspace);
  connection_->Run(depth == 1 ? "COMMIT" : "RELEASE level" + std::to_string(depth - 1),
                   detail::kWorkspace);
  --depth;
}

void Database::Rollback() {
  if (!IsOpen()) throw DaoFailure(kObjectInvalid, detail::kWorkspace);
  int& depth = connection_->transactionDepth;
  if (depth == 0) throw DaoFailure(kNoTransaction, detail::kWorkspace);
  if (depth == 1) {
    connection_->Run("ROLLBACK", detail::kWorkspace);
  } else {
    std::string level = "level" + std::to_string(depth - 1);
    connection_->Run("ROLLBACK TO " + level, detail::kWorkspace);
    connection_->Run("RELEASE " + level, detail::kWorkspace);
  }
  ++connection_->rollbacks;
  --depth;
}

}  // namespace horavex::dao
