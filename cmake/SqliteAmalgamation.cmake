# SQLite compiled from its amalgamation into the program, with the compile-time options of
# Debian's build that the program relies on or that change what a database file holds.
set(HORAVEX_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding sqlite3.c and sqlite3.h")
if(NOT EXISTS "${HORAVEX_SQLITE_AMALGAMATION}/sqlite3.c")
  message(FATAL_ERROR "HORAVEX_SQLITE_AMALGAMATION must name the folder of sqlite3.c "
                      "(scripts/build-windows.sh fetches it)")
endif()
enable_language(C)
add_library(horavex_sqlite3 STATIC "${HORAVEX_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(horavex_sqlite3 SYSTEM PUBLIC "${HORAVEX_SQLITE_AMALGAMATION}")
target_compile_options(horavex_sqlite3 PRIVATE -w)
target_compile_definitions(horavex_sqlite3 PUBLIC
  SQLITE_ENABLE_COLUMN_METADATA
  SQLITE_THREADSAFE=1
  SQLITE_SECURE_DELETE
  SQLITE_DEFAULT_PAGE_SIZE=4096
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_MAX_COLUMN=2000
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_OMIT_LOOKASIDE
  SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_USE_URI
  SQLITE_TEMP_STORE=1)
add_library(SQLite::SQLite3 ALIAS horavex_sqlite3)
