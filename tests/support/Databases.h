#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace horavex::testing {

// Database files for tests, made and read with SQLite itself rather than through the
// program's own database layer.

// Creates (or replaces) a database file and runs the SQL script in it.
void MakeDatabase(const std::filesystem::path& path, const std::string& sql);
// Runs a statement on an existing file.
void Execute(const std::filesystem::path& path, const std::string& sql);
// The rows of a query, each value as text ("NULL" for null), values joined by "|".
std::vector<std::string> QueryRows(const std::filesystem::path& path, const std::string& sql);

// The whole database as text: each table's definition as stored, then its records in rowid
// order, every value with its storage class.
std::string DumpDatabase(const std::filesystem::path& path);

// The template's field list, part before var_name, as the sample template has it.
inline constexpr const char* kPresetColumns =
    "ID INTEGER, part SMALLINT, machine_type TEXT(50), type SMALLINT, var_name TEXT(100), "
    "category_id INTEGER, isBitArray BIT, offset_or_bitno INTEGER, text TEXT(255), "
    "page_name TEXT(50), abs_min DOUBLE, abs_max DOUBLE, min DOUBLE, max DOUBLE, pass SMALLINT";

// A template database script: Source_DEFS with the given records ("'VisiWin32', 1, 'x'"),
// Source_PRESET_DEFS with the template's columns and the given rows (values in column order).
std::string TemplateSql(const std::vector<std::string>& patterns,
                        const std::vector<std::string>& rows);
// A component database script: PRESET_DEFS with the columns and rows given.
std::string PresetDefsSql(const std::string& columns, const std::vector<std::string>& rows);

}  // namespace horavex::testing
