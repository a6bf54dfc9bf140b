#include "support/Databases.h"

#include <sqlite3.h>

#include <stdexcept>

namespace horavex::testing {
namespace {

struct Connection {
  explicit Connection(const std::filesystem::path& path) {
    if (sqlite3_open(path.string().c_str(), &db) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + path.string());
    }
  }
  ~Connection() { sqlite3_close(db); }
  void Run(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error != nullptr ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message + " in: " + sql);
    }
  }
  sqlite3* db = nullptr;
};

}  // namespace

void MakeDatabase(const std::filesystem::path& path, const std::string& sql) {
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::remove(path);
  Connection(path).Run(sql);
}

void Execute(const std::filesystem::path& path, const std::string& sql) {
  if (!std::filesystem::exists(path)) throw std::runtime_error("missing " + path.string());
  Connection(path).Run(sql);
}

std::vector<std::string> QueryRows(const std::filesystem::path& path, const std::string& sql) {
  if (!std::filesystem::exists(path)) throw std::runtime_error("missing " + path.string());
  Connection connection(path);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(connection.db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string(sqlite3_errmsg(connection.db)) + " in: " + sql);
  }
  std::vector<std::string> rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      if (i > 0) row += "|";
      const unsigned char* value = sqlite3_column_text(statement, i);
      row += value != nullptr ? reinterpret_cast<const char*>(value) : "NULL";
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  return rows;
}

std::string DumpDatabase(const std::filesystem::path& path) {
  std::string dump;
  for (const std::string& table :
       QueryRows(path, "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY rowid")) {
    dump += QueryRows(path, "SELECT sql FROM sqlite_schema WHERE name = '" + table + "'")[0] + "\n";
    std::vector<std::string> columns =
        QueryRows(path, "SELECT name FROM pragma_table_info('" + table + "')");
    std::string select;
    for (const std::string& column : columns) {
      select += (select.empty() ? "" : " || '|' || ") + std::string("typeof(\"") + column +
                "\") || ':' || coalesce(\"" + column + "\", '')";
    }
    for (const std::string& row :
         QueryRows(path, "SELECT " + select + " FROM \"" + table + "\" ORDER BY rowid")) {
      dump += "  " + row + "\n";
    }
  }
  return dump;
}

std::string TemplateSql(const std::vector<std::string>& patterns,
                        const std::vector<std::string>& rows) {
  std::string sql =
      "CREATE TABLE Source_DEFS (ID INTEGER, System TEXT(50), Part INTEGER, "
      "Var_Name TEXT(255));\n";
  int id = 0;
  for (const std::string& pattern : patterns) {
    sql += "INSERT INTO Source_DEFS VALUES (" + std::to_string(++id) + ", " + pattern + ");\n";
  }
  sql += "CREATE TABLE Source_PRESET_DEFS (" + std::string(kPresetColumns) + ");\n";
  for (const std::string& row : rows)
    sql += "INSERT INTO Source_PRESET_DEFS VALUES (" + row + ");\n";
  return sql;
}

std::string PresetDefsSql(const std::string& columns, const std::vector<std::string>& rows) {
  std::string sql = "CREATE TABLE PRESET_DEFS (" + columns + ");\n";
  for (const std::string& row : rows) sql += "INSERT INTO PRESET_DEFS VALUES (" + row + ");\n";
  return sql;
}

}  // namespace horavex::testing
