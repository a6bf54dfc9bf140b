#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dao/Database.h"

namespace horavex::dao {

// Rows of values held in memory compactly, rows one after another in one buffer: a row is its
// number of values and then each value as a kind byte and its bytes (8 for a number, a 32-bit
// length and the bytes for text). A value of a row may be changed later; a change of size
// writes the row anew at the end.
class RowStore {
 public:
  size_t Rows() const { return starts_.size(); }
  // Starts a new last row; the Append calls give its values in column order.
  void StartRow();
  void Append(const Variant& value);
  void AppendNull();
  void AppendInteger(int64_t value);
  void AppendDouble(double value);
  void AppendText(std::string_view text, bool binary = false);

  // The value in that column of that row; Null beyond the row's last value.
  Variant Value(size_t row, size_t column) const;
  void Set(size_t row, size_t column, const Variant& value);
  void Clear();

 private:
  enum Kind : char { kNullValue, kIntegerValue, kDoubleValue, kTextValue, kBinaryValue };
  // Where the value starts in bytes_, or npos beyond the row's last value.
  size_t Find(size_t row, size_t column) const;
  size_t SizeAt(size_t offset) const;
  void Put(const void* data, size_t size) { bytes_.append(static_cast<const char*>(data), size); }

  std::string bytes_;
  std::vector<size_t> starts_;
};

}  // namespace horavex::dao
