#include "dao/RowStore.h"

#include <cstring>
#include <limits>

#include "dao/DatabaseDetail.h"

namespace horavex::dao {

namespace {

template <typename T>
T Read(const std::string& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

}  // namespace

void RowStore::StartRow() {
  starts_.push_back(bytes_.size());
  uint16_t count = 0;
  Put(&count, sizeof count);
}

void RowStore::AppendNull() {
  bytes_.push_back(kNullValue);
  uint16_t count = Read<uint16_t>(bytes_, starts_.back()) + 1;
  std::memcpy(bytes_.data() + starts_.back(), &count, sizeof count);
}

void RowStore::AppendInteger(int64_t value) {
  AppendNull();
  bytes_.back() = kIntegerValue;
  Put(&value, sizeof value);
}

void RowStore::AppendDouble(double value) {
  AppendNull();
  bytes_.back() = kDoubleValue;
  Put(&value, sizeof value);
}

void RowStore::AppendText(std::string_view text, bool binary) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) {
    throw detail::DaoFailure(kFieldTooSmall, detail::kField);
  }
  AppendNull();
  bytes_.back() = binary ? kBinaryValue : kTextValue;
  uint32_t size = uint32_t(text.size());
  Put(&size, sizeof size);
  Put(text.data(), text.size());
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
      return 1 + sizeof(uint32_t) + Read<uint32_t>(bytes_, offset + 1);
    default:
      return 1;
  }
}

size_t RowStore::Find(size_t row, size_t column) const {
  size_t offset = starts_[row];
  if (column >= Read<uint16_t>(bytes_, offset)) return std::string::npos;
  offset += sizeof(uint16_t);
  for (size_t i = 0; i < column; ++i) offset += SizeAt(offset);
  return offset;
}

Variant RowStore::Value(size_t row, size_t column) const {
  size_t offset = Find(row, column);
  if (offset == std::string::npos) return Variant();
  switch (bytes_[offset]) {
    case kIntegerValue:
      return Variant(Read<int64_t>(bytes_, offset + 1));
    case kDoubleValue:
      return Variant(Read<double>(bytes_, offset + 1));
    case kTextValue:
    case kBinaryValue: {
      std::string text(bytes_, offset + 1 + sizeof(uint32_t), Read<uint32_t>(bytes_, offset + 1));
      return bytes_[offset] == kTextValue ? Variant(std::move(text))
                                          : Variant::Binary(std::move(text));
    }
    default:
      return Variant();
  }
}

void RowStore::Set(size_t row, size_t column, const Variant& value) {
  // The new value encoded as the last row of a scratch store.
  RowStore encoded;
  encoded.StartRow();
  encoded.Append(value);
  std::string_view bytes = std::string_view(encoded.bytes_).substr(sizeof(uint16_t));
  size_t offset = Find(row, column);
  if (offset != std::string::npos && SizeAt(offset) == bytes.size()) {
    std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
    return;
  }
  // Written anew at the end, with Nulls up to the column when the row is shorter.
  size_t start = starts_[row];
  uint16_t count = Read<uint16_t>(bytes_, start);
  std::string rewritten(sizeof(uint16_t), '\0');
  size_t end = start + sizeof(uint16_t);
  for (size_t i = 0; i < count; ++i) end += SizeAt(end);
  if (offset == std::string::npos) {
    rewritten += bytes_.substr(start + sizeof(uint16_t), end - start - sizeof(uint16_t));
    for (size_t i = count; i < column; ++i) rewritten.push_back(kNullValue);
    rewritten += bytes;
    count = uint16_t(column + 1);
  } else {
    rewritten += bytes_.substr(start + sizeof(uint16_t), offset - start - sizeof(uint16_t));
    rewritten += bytes;
    size_t after = offset + SizeAt(offset);
    rewritten += bytes_.substr(after, end - after);
  }
  std::memcpy(rewritten.data(), &count, sizeof count);
  starts_[row] = bytes_.size();
  bytes_ += rewritten;
}

void RowStore::Clear() {
  std::string().swap(bytes_);
  std::vector<size_t>().swap(starts_);
}

}  // namespace horavex::dao
