#include "dao/RowStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "dao/DatabaseDetail.h"

namespace horavex::dao {

RowStore::RowStore(RowStore&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      lastCount_(other.lastCount_),
      starts_(std::move(other.starts_)),
      found_(std::exchange(other.found_, Found())) {}

RowStore& RowStore::operator=(RowStore&& other) noexcept {
  if (this != &other) {
    std::free(bytes_);
    bytes_ = std::exchange(other.bytes_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    lastCount_ = other.lastCount_;
    starts_ = std::move(other.starts_);
    found_ = std::exchange(other.found_, Found());
  }
  return *this;
}

RowStore::~RowStore() {
  std::free(bytes_);
}

void RowStore::Reserve(size_t rows, size_t bytes) {
  starts_.reserve(rows);
  if (bytes > capacity_) Grow(bytes - size_);
}

void RowStore::Grow(size_t more) {
  size_t capacity = std::max<size_t>({capacity_ * 2, size_ + more, 4096});
  void* grown = std::realloc(bytes_, capacity);
  if (grown == nullptr) throw std::bad_alloc();
  bytes_ = static_cast<char*>(grown);
  capacity_ = capacity;
}

void RowStore::StartRow() {
  starts_.push_back(size_);
  lastCount_ = 0;
  Put(&lastCount_, sizeof lastCount_);
}

void RowStore::Counted() {
  ++lastCount_;
  std::memcpy(bytes_ + starts_.back(), &lastCount_, sizeof lastCount_);
}

void RowStore::AppendNull() {
  char kind = kNullValue;
  Put(&kind, 1);
  Counted();
}

void RowStore::AppendInteger(int64_t value) {
  char bytes[1 + sizeof value] = {kIntegerValue};
  std::memcpy(bytes + 1, &value, sizeof value);
  Put(bytes, sizeof bytes);
  Counted();
}

void RowStore::AppendDouble(double value) {
  char bytes[1 + sizeof value] = {kDoubleValue};
  std::memcpy(bytes + 1, &value, sizeof value);
  Put(bytes, sizeof bytes);
  Counted();
}

void RowStore::AppendText(std::string_view text, bool binary) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) {
    throw detail::DaoFailure(kFieldTooSmall, detail::kField);
  }
  char header[1 + sizeof(uint32_t)] = {binary ? kBinaryValue : kTextValue};
  uint32_t size = uint32_t(text.size());
  std::memcpy(header + 1, &size, sizeof size);
  Put(header, sizeof header);
  if (!text.empty()) Put(text.data(), text.size());
  Counted();
}

void RowStore::Append(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return AppendNull();
    case Variant::Kind::kInteger:
      return AppendInteger(value.ToInteger());
    case Variant::Kind::kDouble:
      return AppendDouble(value.ToDouble());
    case Variant::Kind::kText:
      return AppendText(value.Bytes());
    case Variant::Kind::kBinary:
      return AppendText(value.Bytes(), true);
  }
}

size_t RowStore::SizeAt(size_t offset) const {
  switch (bytes_[offset]) {
    case kIntegerValue:
    case kDoubleValue:
      return 1 + sizeof(int64_t);
    case kTextValue:
    case kBinaryValue:
      return 1 + sizeof(uint32_t) + Read<uint32_t>(offset + 1);
    default:
      return 1;
  }
}

size_t RowStore::Find(size_t row, size_t column) const {
  size_t offset = starts_[row];
  if (column >= Read<uint16_t>(offset)) return std::string::npos;
  // Values of a row are mostly read in column order: go on from the value found last.
  size_t from = 0;
  offset += sizeof(uint16_t);
  if (found_.row == row && found_.column <= column) {
    from = found_.column;
    offset = found_.offset;
  }
  for (size_t i = from; i < column; ++i) offset += SizeAt(offset);
  found_ = {row, column, offset};
  return offset;
}

Variant RowStore::Value(size_t row, size_t column) const {
  size_t offset = Find(row, column);
  if (offset == std::string::npos) return Variant();
  switch (bytes_[offset]) {
    case kIntegerValue:
      return Variant(Read<int64_t>(offset + 1));
    case kDoubleValue:
      return Variant(Read<double>(offset + 1));
    case kTextValue:
    case kBinaryValue: {
      std::string text(bytes_ + offset + 1 + sizeof(uint32_t), Read<uint32_t>(offset + 1));
      return bytes_[offset] == kTextValue ? Variant(std::move(text))
                                          : Variant::Binary(std::move(text));
    }
    default:
      return Variant();
  }
}

std::optional<std::string_view> RowStore::Text(size_t row, size_t column) const {
  size_t offset = Find(row, column);
  if (offset == std::string::npos || bytes_[offset] != kTextValue) return std::nullopt;
  return std::string_view(bytes_ + offset + 1 + sizeof(uint32_t), Read<uint32_t>(offset + 1));
}

void RowStore::Clear() {
  *this = RowStore();
}

}  // namespace horavex::dao
