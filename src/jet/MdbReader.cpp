// libmdb's headers need glib's first.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "jet/MdbImport.h"
#include "platform/Failure.h"
#include "platform/Text.h"

namespace horavex::jet {
namespace {

constexpr int kOffsetMask = 0x1fff;

[[noreturn]] void Fail(int32_t number, const std::string& text) {
  throw Failure(number, kImportSource, text);
}

struct Place {
  const std::string& table;
  const std::string& column;
  std::string Name() const { return "table " + table + ", column " + column; }
};

uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The name of a type this format cannot hold, or null for one it can.
const char* UnsupportedTypeName(int type) {
  switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_TEXT:
    case MDB_MEMO:
      return nullptr;
    case MDB_OLE:
      return "OLE object";
    case MDB_REPID:
      return "replication ID";
    case MDB_NUMERIC:
      return "decimal";
    case MDB_BINARY:
      return "binary";
    default:
      return "unknown type";
  }
}

JetColumn ColumnOf(const MdbColumn& column, bool jet4) {
  JetColumn result{column.name, dao::kText, 0};
  switch (column.col_type) {
    case MDB_BOOL:
      result.type = dao::kBoolean;
      break;
    case MDB_BYTE:
      result.type = dao::kByte;
      break;
    case MDB_INT:
      result.type = dao::kInteger;
      break;
    case MDB_LONGINT:
      result.type = dao::kLong;
      break;
    case MDB_MONEY:
      result.type = dao::kCurrency;
      break;
    case MDB_FLOAT:
      result.type = dao::kSingle;
      break;
    case MDB_DOUBLE:
      result.type = dao::kDouble;
      break;
    case MDB_DATETIME:
      result.type = dao::kDate;
      break;
    case MDB_MEMO:
      result.type = dao::kMemo;
      break;
    default:
      // Jet 4 gives a text's size in bytes of UTF-16.
      result.size = std::clamp(jet4 ? column.col_size / 2 : column.col_size, 1, 255);
      break;
  }
  return result;
}

// Jet 4 text is UTF-16LE; text that starts with FF FE is compressed: in runs separated by a
// 00 byte, alternately one byte per character (U+0001 to U+00FF) and UTF-16LE.
std::string DecodeJet4Text(const unsigned char* p, size_t n) {
  if (n < 2 || p[0] != 0xFF || p[1] != 0xFE) {
    return text::Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
  }
  std::string utf16;
  bool compressed = true;
  for (size_t i = 2; i < n;) {
    if (p[i] == 0) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      utf16 += char(p[i]);
      utf16 += '\0';
      ++i;
    } else if (i + 1 < n) {
      utf16 += char(p[i]);
      utf16 += char(p[i + 1]);
      i += 2;
    } else {
      break;
    }
  }
  return text::Utf16LeToUtf8(utf16);
}

class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path) {
    mdb_ = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (mdb_ == nullptr)
      Fail(dao::kUnrecognizedFormat, "it cannot be opened as an Access database");
    jet4_ = mdb_->f->jet_version == MDB_VER_JET4;
  }
  ~Reader() { mdb_close(mdb_); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  std::vector<JetTable> ReadAll() {
    if (mdb_read_catalog(mdb_, MDB_TABLE) == nullptr) {
      Fail(dao::kUnrecognizedFormat, "its list of tables cannot be read");
    }
    std::vector<JetTable> tables;
    for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
      if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
      tables.push_back(ReadTable(entry));
    }
    return tables;
  }

 private:
  JetTable ReadTable(MdbCatalogEntry* entry) {
    JetTable result;
    result.name = entry->object_name;
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> table(mdb_read_table(entry),
                                                               mdb_free_tabledef);
    if (!table || mdb_read_columns(table.get()) == nullptr) {
      Fail(dao::kUnrecognizedFormat, "table " + result.name + " cannot be read");
    }
    const unsigned count = table->num_cols;
    std::vector<MdbColumn*> columns(count);
    for (unsigned c = 0; c < count; ++c) {
      columns[c] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
    }
    mdb_rewind_table(table.get());
    std::vector<MdbField> fields(count);
    std::vector<bool> heldValue(count, false);
    while (mdb_fetch_row(table.get())) {
      // The row just read is the one before the table's cursor, on the page in pg_buf.
      int start = 0;
      size_t size = 0;
      if (mdb_find_row(mdb_, int(table->cur_row) - 1, &start, &size) != 0 ||
          mdb_crack_row(table.get(), start & kOffsetMask, size, fields.data()) < 0) {
        Fail(dao::kUnrecognizedFormat, "a row of table " + result.name + " is damaged");
      }
      std::vector<dao::Variant>& row = result.rows.emplace_back();
      for (unsigned c = 0; c < count; ++c) {
        const MdbField& field = fields[c];
        const MdbColumn& column = *columns[field.colnum];
        Place place{result.name, column.name};
        if (UnsupportedTypeName(column.col_type) != nullptr) {
          if (!field.is_null) heldValue[field.colnum] = true;
          continue;
        }
        row.push_back(ValueOf(column, field, place));
      }
    }
    for (unsigned c = 0; c < count; ++c) {
      if (const char* unsupported = UnsupportedTypeName(columns[c]->col_type)) {
        result.leftOut.push_back(
            "table " + result.name + ", column " + columns[c]->name + " (" + unsupported +
            "): this program's databases cannot hold it" +
            (heldValue[c] ? "; its values were left out" : "; it held no value"));
      } else {
        result.columns.push_back(ColumnOf(*columns[c], jet4_));
      }
    }
    return result;
  }

  dao::Variant ValueOf(const MdbColumn& column, const MdbField& field, const Place& place) {
    // A yes/no value is its bit in the row's null mask.
    if (column.col_type == MDB_BOOL) return dao::Variant::Boolean(!field.is_null);
    if (field.is_null) return {};
    const auto* p = static_cast<const unsigned char*>(field.value);
    const size_t n = field.siz < 0 ? 0 : size_t(field.siz);
    auto need = [&](size_t bytes) {
      if (n < bytes || p == nullptr) Fail(dao::kUnrecognizedFormat, place.Name() + " is damaged");
    };
    switch (column.col_type) {
      case MDB_BYTE:
        need(1);
        return dao::Variant(int64_t(p[0]));
      case MDB_INT: {
        need(2);
        return dao::Variant(int64_t(int16_t(uint16_t(p[0] | p[1] << 8))));
      }
      case MDB_LONGINT:
        need(4);
        return dao::Variant(int64_t(int32_t(Get32(p))));
      case MDB_FLOAT: {
        need(4);
        uint32_t bits = Get32(p);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return dao::Variant(double(value));
      }
      case MDB_DOUBLE:
      case MDB_DATETIME: {
        need(8);
        uint64_t bits = uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return dao::Variant(value);
      }
      case MDB_MONEY: {
        need(8);
        // Currency is a whole number of ten-thousandths.
        int64_t units = int64_t(uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32);
        return dao::Variant(double(units) / 10000.0);
      }
      case MDB_TEXT:
        return Text(p, n, place);
      case MDB_MEMO:
        return Text(MemoBytes(p, n, place), place);
      default:
        return {};
    }
  }

  std::string Text(const unsigned char* p, size_t n, const Place& place) const {
    if (n == 0) return {};
    if (jet4_) return DecodeJet4Text(p, n);
    // Jet 3 holds text in the file's ANSI code page, Windows-1252 on these installations.
    const char* bytes = reinterpret_cast<const char*>(p);
    const int codePage = mdb_->f->code_page;
    if (codePage == 1252 || codePage == 0) return text::Cp1252ToUtf8(std::string_view(bytes, n));
    const std::string charset = "CP" + std::to_string(codePage);
    gsize written = 0;
    std::unique_ptr<gchar, void (*)(gpointer)> utf8(
        g_convert(bytes, gssize(n), "UTF-8", charset.c_str(), nullptr, &written, nullptr), g_free);
    if (!utf8) {
      Fail(dao::kUnrecognizedFormat,
           place.Name() + ": a text is not in the file's code page " + std::to_string(codePage));
    }
    return std::string(utf8.get(), written);
  }
  std::string Text(const std::string& bytes, const Place& place) const {
    return Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), place);
  }

  // A long value's bytes: inline after its 12-byte header, or in one or a chain of rows on
  // other pages. Every byte the header announces must be found.
  std::string MemoBytes(const unsigned char* p, size_t n, const Place& place) {
    auto damaged = [&] { Fail(dao::kUnrecognizedFormat, place.Name() + ": a memo is damaged"); };
    if (n == 0) return {};
    if (n < MDB_MEMO_OVERHEAD) damaged();
    const uint32_t header = Get32(p);
    const size_t length = header & 0x3fffffff;
    std::string bytes;
    if (header & 0x80000000) {
      bytes.assign(reinterpret_cast<const char*>(p) + MDB_MEMO_OVERHEAD, n - MDB_MEMO_OVERHEAD);
    } else if (header & 0x40000000) {
      AppendLongValueRow(Get32(p + 4), 0, bytes, place);
    } else {
      uint32_t next = Get32(p + 4);
      // Each page in the chain adds at least one byte: more pages than bytes is a loop.
      for (size_t pages = 0; next != 0 && bytes.size() < length; ++pages) {
        if (pages > length) damaged();
        next = AppendLongValueRow(next, 4, bytes, place);
      }
    }
    if (bytes.size() != length) damaged();
    return bytes;
  }

  // Appends the row that pageRow points to, from skip bytes on; returns its first four bytes
  // (the next row of a chain).
  uint32_t AppendLongValueRow(uint32_t pageRow, size_t skip, std::string& bytes,
                              const Place& place) {
    void* buffer = nullptr;
    int start = 0;
    size_t size = 0;
    if (mdb_find_pg_row(mdb_, int(pageRow), &buffer, &start, &size) != 0) {
      Fail(dao::kUnrecognizedFormat, place.Name() + ": a memo is damaged");
    }
    start &= kOffsetMask;
    if (size < skip || size_t(start) + size > size_t(mdb_->fmt->pg_size)) {
      Fail(dao::kUnrecognizedFormat, place.Name() + ": a memo is damaged");
    }
    const auto* row = static_cast<const unsigned char*>(buffer) + start;
    bytes.append(reinterpret_cast<const char*>(row) + skip, size - skip);
    return size >= 4 ? Get32(row) : 0;
  }

  std::string path_;
  MdbHandle* mdb_ = nullptr;
  bool jet4_ = false;
};

}  // namespace

std::vector<JetTable> ReadJetTables(const std::string& path) {
  return Reader(path).ReadAll();
}

}  // namespace horavex::jet
