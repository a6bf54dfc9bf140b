// Builds a template database from a readable SQL script:
//   Horavex_MakeTemplate script.sql Horavex_Source.mdb
// An existing output file is replaced.

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " script.sql database\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream script;
  script << in.rdbuf();

  std::filesystem::path output = argv[2];
  std::filesystem::path temp = output;
  temp += ".new";
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  sqlite3* db = nullptr;
  if (sqlite3_open(temp.c_str(), &db) != SQLITE_OK) {
    std::cerr << "cannot create " << temp << ": " << sqlite3_errmsg(db) << "\n";
    sqlite3_close(db);
    return 1;
  }
  char* error = nullptr;
  int rc = sqlite3_exec(db, script.str().c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::cerr << argv[1] << ": " << (error != nullptr ? error : sqlite3_errstr(rc)) << "\n";
    sqlite3_free(error);
    sqlite3_close(db);
    std::filesystem::remove(temp, ignored);
    return 1;
  }
  sqlite3_close(db);
  std::filesystem::rename(temp, output);
  return 0;
}
