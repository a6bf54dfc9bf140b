#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A database layer in the shape of DAO (databases, table definitions, fields, record sets,
// queries) over SQLite 3 files. Names of tables and fields are looked up without regard to case
// over the Windows-1252 letters (text::EqualsNoCase), as Jet does; where an exact comparison is
// wanted, the caller compares Name() itself.
//
// Failures are horavex::Failure exceptions with DAO's numbers and texts (see DaoError below);
// their source names the DAO object ("DAO.Workspace", "DAO.Database", "DAO.TableDefs",
// "DAO.Fields", "DAO.Field", "DAO.Recordset").
//
// Field types. A column's declared type carries its DAO type and size, so that a field copied
// by name, type and size reads back the same. The names are Jet SQL's own, chosen among its
// synonyms so that SQLite gives the column the right affinity:
//
//   | DAO type    | No. | Size | declared type | SQLite affinity |
//   |-------------|-----|------|---------------|-----------------|
//   | dbBoolean   |   1 |    1 | BIT           | NUMERIC         |
//   | dbByte      |   2 |    1 | TINYINT       | INTEGER         |
//   | dbInteger   |   3 |    2 | SMALLINT      | INTEGER         |
//   | dbLong      |   4 |    4 | INTEGER       | INTEGER         |
//   | dbCurrency  |   5 |    8 | CURRENCY      | NUMERIC         |
//   | dbSingle    |   6 |    4 | REAL          | REAL            |
//   | dbDouble    |   7 |    8 | DOUBLE        | REAL            |
//   | dbDate      |   8 |    8 | DATETIME      | NUMERIC         |
//   | dbText      |  10 |  1-n | TEXT(n)       | TEXT            |
//   | dbMemo      |  12 |    0 | LONGTEXT      | TEXT            |
//   | dbBigInt    |  16 |    8 | BIGINT        | INTEGER         |
//
// Reading a declared type back also accepts Jet's other spellings (YESNO, SHORT, MONEY, ...:
// kTypeNames in DatabaseVariant.cpp). A column made by another tool with any other type maps by
// its affinity: INTEGER to dbLong, TEXT to dbText(n) when a size is given and dbText(255)
// otherwise (as DAO's default size), REAL and NUMERIC to dbDouble, none or BLOB to dbMemo.
// dbText sizes are 1 to 255 characters.
//
// Values. NUMERIC affinity stores whole numbers as integers; values of dbSingle, dbDouble,
// dbCurrency and dbDate fields always read as doubles. Yes/no values are -1 (True) and 0, dates
// are OLE day numbers (days since 1899-12-30) as doubles. A value written to a field is
// converted to the field's type first, as Jet does (number text to a number, a number to
// text, rounding half to even into whole-number fields, currency to 4 decimals); what cannot be
// converted fails with 3421, what does not fit with 3349 (numbers) or 3163 (text longer than
// the field's size).
//
// Text comparison. SQLite's = compares text with case. Queries that should match text as Jet
// does write "COLLATE ANSI_NOCASE" (kNoCaseCollation) after the compared column; it is
// registered on every connection and folds the Windows-1252 letters (ä matches Ä). It is never
// put into a table's definition, so other SQLite tools can still read the files.
//
// Field values in SQL. AS_FIELD(value, 'DOUBLE') is the value as a field of that declared type
// would hold it once written (the conversion above); a value that such a field would refuse
// comes back as it is. Registered on every connection.
namespace horavex::dao {

// DAO's DataTypeEnum, for the types the layer stores.
enum DataType : int16_t {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDate = 8,
  kText = 10,
  kMemo = 12,
  kBigInt = 16,
};

// DAO's RecordsetTypeEnum, for the types the layer opens.
enum RecordsetType : int16_t { kOpenDefault = -1, kOpenForwardOnly = 8 };

inline constexpr const char* kNoCaseCollation = "ANSI_NOCASE";
inline constexpr const char* kAsFieldFunction = "AS_FIELD";

// The DAO failure numbers this layer raises; their texts are DAO's own (see DaoFailure).
enum DaoError : int32_t {
  kReservedError = 3000,
  kInvalidArgument = 3001,
  kTableExists = 3010,
  kUpdateWithoutEdit = 3020,
  kNoCurrentRecord = 3021,
  kNotAValidBookmark = 3159,
  kDuplicateKey = 3022,
  kEditAlreadyUsed = 3023,
  kFileNotFound = 3024,
  kDiskFull = 3026,
  kReadOnly = 3027,
  kNoTransaction = 3034,
  kResourceExceeded = 3035,
  kDiskError = 3043,
  kInvalidPath = 3044,
  kFileInUse = 3045,
  kCannotOpenFile = 3051,
  kTooFewParameters = 3061,
  kSelectQueryExecuted = 3065,
  kQueryExpression = 3075,
  kInputTableNotFound = 3078,
  kInvalidName = 3125,
  kInvalidSql = 3129,
  kCharactersAfterEnd = 3142,
  kInvalidOperation = 3219,
  kFieldTooSmall = 3163,
  kRecordDeleted = 3167,
  kFieldDefinedTwice = 3191,
  kDatabaseExists = 3204,
  kLocked = 3218,
  kInvalidFieldType = 3259,
  kNoFieldsDefined = 3264,
  kItemNotFound = 3265,
  kFieldAlreadyAppended = 3266,
  kNullNotAllowed = 3314,
  kUnrecognizedFormat = 3343,
  kNumericOverflow = 3349,
  kTableNotFound = 3376,
  kObjectInvalid = 3420,
  kConversionError = 3421,
};

// A value as a field holds it: Null, a whole number, a double, a text (UTF-8) or bytes.
class Variant {
 public:
  enum class Kind { kNull, kInteger, kDouble, kText, kBinary };

  Variant() = default;
  template <std::integral T>
  requires(!std::same_as<T, bool>) Variant(T value) : data_(static_cast<int64_t>(value)) {}
  Variant(double value) : data_(value) {}
  Variant(std::string value) : data_(std::move(value)) {}
  Variant(std::string_view value) : data_(std::string(value)) {}
  Variant(const char* value) : data_(std::string(value)) {}
  // Not implicit: a pointer or a condition must not turn into a field value unnoticed.
  Variant(bool) = delete;
  // True as -1 and False as 0, as yes/no fields hold them.
  static Variant Boolean(bool value) { return Variant(value ? -1 : 0); }
  static Variant Binary(std::string bytes);

  Kind kind() const {
    // The alternatives are in the order of Kind.
    size_t index = data_.index();
    return index <= size_t(Kind::kBinary) ? static_cast<Kind>(index) : Kind::kNull;
  }
  bool IsNull() const { return kind() == Kind::kNull; }
  bool IsText() const { return kind() == Kind::kText; }
  bool IsNumber() const { return kind() == Kind::kInteger || kind() == Kind::kDouble; }

  // As VB's CLng without its range: a double or number text rounds half to even. Null fails
  // with 94 "Invalid use of Null", other text and bytes with 13 "Type mismatch", values beyond
  // 64 bits with 6 "Overflow".
  int64_t ToInteger() const {
    if (const auto* whole = std::get_if<int64_t>(&data_)) return *whole;
    return ConvertedToInteger();
  }
  // As VB's CDbl: Null fails with 94, text that is no number and bytes with 13.
  double ToDouble() const {
    if (const auto* number = std::get_if<double>(&data_)) return *number;
    return ConvertedToDouble();
  }
  // As VB's default conversion to text: Null is "", whole numbers in decimal, doubles with up
  // to 15 significant digits ("0.1", "1E+20"), text and bytes as they are.
  std::string ToText() const;
  // The characters of text and the bytes of binary data, as stored; empty for other kinds.
  std::string_view Bytes() const;
  // Becomes that text, in the memory of the text it held if any.
  void AssignText(std::string_view text);

  // Same kind and same value; 1 and 1.0 differ.
  bool operator==(const Variant& other) const = default;

 private:
  // The value as a number: itself, or its text read as one (94 for Null, 13 otherwise).
  Variant Number() const;
  int64_t ConvertedToInteger() const;
  double ConvertedToDouble() const;

  struct BinaryBytes {
    std::string bytes;
    bool operator==(const BinaryBytes&) const = default;
  };
  std::variant<std::monostate, int64_t, double, std::string, BinaryBytes> data_;
};

// The declared type written for a field of this type and size (TEXT(50), INTEGER, ...);
// fails with 3259 for a type the layer does not store and 3001 for a text size beyond 255.
std::string DeclaredType(DataType type, int32_t size);
// The DAO type and size of a declared type; see the table above.
std::pair<DataType, int32_t> ParseDeclaredType(std::string_view declaredType);

namespace detail {
class Connection;
struct DatabaseAccess;
struct FieldData;
struct TableDefData;
struct RecordsetState;
struct PreparedQuery;
}  // namespace detail

// The items of a collection, in order, by position from 0 and by name in any case (an exact
// match first); 3265 "Item not found in this collection" when there is none.
template <typename Item>
class NamedCollection {
 public:
  size_t Count() const { return items_.size(); }
  Item operator[](size_t index) const;
  Item operator[](std::string_view name) const;
  std::optional<Item> Find(std::string_view name) const;

  typename std::vector<Item>::const_iterator begin() const { return items_.begin(); }
  typename std::vector<Item>::const_iterator end() const { return items_.end(); }

 protected:
  explicit NamedCollection(const char* source) : source_(source) {}
  std::vector<Item> items_;

 private:
  const char* source_;  // the DAO object that failures name
};

// A field of a table definition. Copies refer to the same field.
class Field {
 public:
  const std::string& Name() const;
  // Renames the field. In a stored table the column is renamed in the file at once and keeps
  // its values; a name that another field of the table has (in any case) fails with 3191, an
  // invalid name with 3125.
  void SetName(const std::string& name);
  DataType Type() const;
  // Characters for dbText, 0 for dbMemo, the storage bytes for the other types.
  int32_t Size() const;

 private:
  friend class FieldCollection;
  friend class TableDef;
  friend struct detail::TableDefData;
  explicit Field(std::shared_ptr<detail::FieldData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::FieldData> data_;
};

// The fields of a table definition, in column order.
class FieldCollection : public NamedCollection<Field> {
 public:
  // Appends a field made by TableDef::CreateField. In a stored table the column is added to the
  // file at once. A name already in the collection fails with 3191, a field that already
  // belongs to a collection with 3266.
  void Append(const Field& field);
  // Reads the fields of a stored table again from the file.
  void Refresh();

 private:
  friend struct detail::TableDefData;
  explicit FieldCollection(detail::TableDefData& table);
  detail::TableDefData& table_;
};

// A table definition: a stored table (from TableDefs) or a new one (from CreateTableDef) until
// it is appended. Copies refer to the same definition.
class TableDef {
 public:
  const std::string& Name() const;
  FieldCollection& Fields() const;
  // A new field for this or another definition; the size counts only for dbText (0 means 255).
  // Fails with 3259 for a type the layer does not store, 3001 for a text size beyond 255.
  Field CreateField(const std::string& name, DataType type, int32_t size = 0) const;

 private:
  friend class Database;
  friend class TableDefCollection;
  explicit TableDef(std::shared_ptr<detail::TableDefData> data) : data_(std::move(data)) {}
  std::shared_ptr<detail::TableDefData> data_;
};

// The tables of a database, in creation order (the order of their entries in sqlite_schema;
// SQLite's own sqlite_* tables are left out). Like DAO's collection it is read once and kept in
// step with Append and Delete; tables made or dropped through SQL show after Refresh.
class TableDefCollection : public NamedCollection<TableDef> {
 public:
  // Creates the table in the file with the definition's fields and nothing else: no key, index,
  // default, required flag or automatic numbering. Fails with 3010 when the name is taken,
  // 3264 without fields, 3191 for two fields of one name, 3125 for an invalid name.
  void Append(const TableDef& table);
  // Drops the table; 3265 when there is none of that name.
  void Delete(std::string_view name);
  // Reads the list again from the file.
  void Refresh();

 private:
  friend class Database;
  explicit TableDefCollection(std::shared_ptr<detail::Connection> connection);
  std::shared_ptr<detail::Connection> connection_;
};

// A field of a record set: its name and the value of the current record (or, between AddNew
// or Edit and Update, of the record being written).
class RecordsetField {
 public:
  const std::string& Name() const;
  // Fails with 3021 when there is no current record. The value stays valid until the record
  // set moves, writes or closes.
  const Variant& Value() const;
  // Only between AddNew or Edit and Update (3020 otherwise); the value is converted to the
  // field's type at once (3421, 3349, 3163).
  void SetValue(Variant value) const;

 private:
  friend class RecordsetFieldCollection;
  RecordsetField(detail::RecordsetState* state, size_t index) : state_(state), index_(index) {}
  detail::RecordsetState* state_;
  size_t index_;
};

class RecordsetFieldCollection {
 public:
  size_t Count() const;
  RecordsetField operator[](size_t index) const;
  RecordsetField operator[](std::string_view name) const;
  std::optional<RecordsetField> Find(std::string_view name) const;

 private:
  friend class Recordset;
  explicit RecordsetFieldCollection(detail::RecordsetState* state) : state_(state) {}
  detail::RecordsetState* state_;
};

// Records of a table (in insertion order) or of a query, positioned on the first record.
// Record sets over a table, and over a query that selects straight from one table (SELECT
// [ALL] columns FROM table [alias] [WHERE ...] [ORDER BY ...] [LIMIT ...], every column a
// column of that table), write through to the table; others fail with 3027 on AddNew and Edit.
//
// A query starts to run when it is opened, a table when its records are first needed; records
// are found as the record set moves forward. One that writes through keeps the rowid of each
// record it found (and added) and reads a record's values by rowid when it comes back to it or
// when the connection changed anything since: a change made since shows and a record deleted
// since fails with 3167. Others keep the values they read. RecordCount is exact: it finds every
// record. Fields handed out stay valid while the record set lives (also when it is moved).
class Recordset {
 public:
  Recordset(Recordset&&) noexcept;
  Recordset& operator=(Recordset&&) noexcept;
  ~Recordset();

  bool Eof() const;
  // 3021 when the record set is empty.
  void MoveFirst();
  void MoveLast();
  // 3021 at the end.
  void MoveNext();
  int64_t RecordCount() const;
  // The current record's position from 0 in the record set's order; -1 at the end.
  int64_t AbsolutePosition() const;
  // Makes the record at that position current; 3001 outside 0 to RecordCount() - 1.
  void SetAbsolutePosition(int64_t position);
  RecordsetFieldCollection& Fields();
  bool Updatable() const;

  // The bookmark of the current record (3021 without one), and moving to the record of a
  // bookmark (3159 when the record set has none such). Only record sets that write through
  // have bookmarks (3027 otherwise).
  int64_t Bookmark() const;
  void SetBookmark(int64_t bookmark);
  // The bookmark of the record that Update wrote last (3021 before the first).
  int64_t LastModified() const;

  // Begins a new record; all its fields are Null until set. After Update the record set stays
  // on the record that was current before.
  void AddNew();
  // Begins editing the current record (3021 without one).
  void Edit();
  // Writes the new or edited record; only the fields that were set are written.
  void Update();
  // Drops the pending AddNew or Edit (3020 without one).
  void CancelUpdate();
  // Releases the records; any later use fails with 3420. Closing twice does nothing.
  void Close();

 private:
  friend class Database;
  friend class Query;
  explicit Recordset(std::unique_ptr<detail::RecordsetState> state);
  std::unique_ptr<detail::RecordsetState> state_;
  RecordsetFieldCollection fields_;
};

// A query prepared once and run again with new parameter values, without preparing again.
// Parameters are the SQL's "?" (or ?NNN, :name) placeholders, numbered from 1; a value stays
// bound until it is bound again.
class Query {
 public:
  Query(Query&&) noexcept;
  Query& operator=(Query&&) noexcept;
  ~Query();

  size_t ParameterCount() const;
  // 3001 for a position outside 1 to ParameterCount().
  void Bind(size_t position, const Variant& value);
  // Runs a selection; 3061 when a parameter was never bound.
  Recordset OpenRecordset();
  // Runs an action query; the number of records it changed. 3065 for a selection.
  int64_t Execute();

 private:
  friend class Database;
  Query(std::shared_ptr<detail::Connection> connection,
        std::unique_ptr<detail::PreparedQuery> prepared);
  std::shared_ptr<detail::Connection> connection_;
  std::unique_ptr<detail::PreparedQuery> prepared_;
  std::vector<std::optional<Variant>> values_;
};

struct OpenOptions {
  // How long an operation waits for a lock that another connection (the visualisation) holds.
  int busyTimeoutMs = 5000;
  // When set, called with the database's path between the tries of such a wait (waiting true)
  // and once when the wait is over (false): the caller can keep a window alive meanwhile.
  std::function<void(const std::string& path, bool waiting)> whileBusy = nullptr;
};

// An open database file. Moving hands the connection over; destroying closes it.
class Database {
 public:
  // Opens an existing file for shared reading and writing (a file the process may not write
  // is opened for reading, and writes fail with 3027). Fails with 3024 for a missing file,
  // 3044 when its folder is missing, 3051 when it cannot be read, 3343 for anything that is not
  // a whole SQLite 3 database (a folder, an empty file, other formats, a truncated file); for an
  // Access (Jet) database the description says so.
  static Database Open(const std::string& path, const OpenOptions& options = {});
  // Creates a new, empty database file; 3204 when the file exists, 3044 without its folder.
  static Database Create(const std::string& path, const OpenOptions& options = {});
  // Makes a new, empty database in an existing empty file (one made to take a file's place);
  // 3204 when the path is not an empty plain file.
  static Database CreateInto(const std::string& path, const OpenOptions& options = {});

  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;
  ~Database();

  // The path the database was opened with.
  const std::string& Name() const;
  bool IsOpen() const;
  // Closes the file, rolling back a pending transaction. Objects taken from the database fail
  // with 3420 afterwards. Closing twice does nothing.
  void Close() noexcept;

  TableDefCollection& TableDefs();
  // A new, empty definition, to be filled with fields and appended to TableDefs.
  TableDef CreateTableDef(const std::string& name) const;

  // A record set over the table of that name (any case) or, when no table has that name,
  // over the query given as SQL with its parameter values. A single word that names no table
  // fails with 3078; a faulty query with 3075 (3061 for an unknown column or a missing
  // parameter value, 3078 for an unknown table). Prepared queries are kept for reuse.
  // kOpenForwardOnly gives a read-only record set that keeps only its current record: moving
  // back to an earlier one fails with 3219.
  Recordset OpenRecordset(const std::string& source, const std::vector<Variant>& parameters = {},
                          RecordsetType type = kOpenDefault);
  Query CreateQuery(const std::string& sql);
  // Runs an action query; the number of records it changed.
  int64_t Execute(const std::string& sql, const std::vector<Variant>& parameters = {});

  // Transactions as DAO's workspace has them, nested up to any depth; CommitTrans and Rollback
  // without BeginTrans fail with 3034. A record that a Rollback removed fails with 3167 in a
  // record set that had read it.
  void BeginTrans();
  void CommitTrans();
  void Rollback();
  // Whether a transaction is pending.
  bool InTransaction() const;

 private:
  friend struct detail::DatabaseAccess;
  explicit Database(std::shared_ptr<detail::Connection> connection);
  std::shared_ptr<detail::Connection> connection_;
  std::unique_ptr<TableDefCollection> tableDefs_;
};

}  // namespace horavex::dao
