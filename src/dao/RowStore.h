#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dao/Database.h"

namespace horavex::dao {

// Rows of values held in memory compactly, rows one after another in one buffer: a row is its
// number of values and then each value as a kind byte and its bytes (8 for a number, a 32-bit
// length and the bytes for text). A row is written once, value by value.
class RowStore {
 public:
  RowStore() = default;
  RowStore(RowStore&& other) noexcept;
  RowStore& operator=(RowStore&& other) noexcept;
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;
  ~RowStore();

  size_t Rows() const { return starts_.size(); }
  // Room for rows and bytes in all, taken at once: memory that is never written to costs
  // nothing, and growing would copy what was written.
  void Reserve(size_t rows, size_t bytes);
  // Starts a new last row; the Append calls give its values in column order.
  void StartRow();
  void Append(const Variant& value);
  void AppendNull();
  void AppendInteger(int64_t value);
  void AppendDouble(double value);
  void AppendText(std::string_view text, bool binary = false);

  // The value in that column of that row; Null beyond the row's last value.
  Variant Value(size_t row, size_t column) const;
  // The characters of a text value in place; nothing for other values.
  std::optional<std::string_view> Text(size_t row, size_t column) const;
  void Clear();

 private:
  enum Kind : char { kNullValue, kIntegerValue, kDoubleValue, kTextValue, kBinaryValue };
  // Where the value starts in bytes_, or npos beyond the row's last value.
  size_t Find(size_t row, size_t column) const;
  size_t SizeAt(size_t offset) const;
  // Appends to the buffer, which grows by realloc: large blocks move without a copy.
  void Put(const void* data, size_t size) {
    if (size_ + size > capacity_) Grow(size);
    std::memcpy(bytes_ + size_, data, size);
    size_ += size;
  }
  void Grow(size_t more);
  // Counts a value of the last row.
  void Counted();
  template <typename T>
  T Read(size_t offset) const {
    T value;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
  }

  struct Found {
    size_t row = SIZE_MAX, column = 0, offset = 0;
  };
  char* bytes_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
  uint16_t lastCount_ = 0;
  std::vector<size_t> starts_;
  mutable Found found_;  // the value that Find found last
};

}  // namespace horavex::dao
