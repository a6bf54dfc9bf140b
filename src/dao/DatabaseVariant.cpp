#include <charconv>
#include <cmath>
#include <limits>

#include "dao/Database.h"
#include "dao/DatabaseDetail.h"
#include "platform/Text.h"

namespace horavex::dao {
namespace {

struct TypeName {
  std::string_view name;
  DataType type;
};

// Jet SQL's names of each type; the first of each type is the one written.
constexpr TypeName kTypeNames[] = {
    {"BIT", kBoolean},       {"YESNO", kBoolean},    {"LOGICAL", kBoolean},
    {"LOGICAL1", kBoolean},  {"BOOLEAN", kBoolean},  {"TINYINT", kByte},
    {"BYTE", kByte},         {"INTEGER1", kByte},    {"SMALLINT", kInteger},
    {"SHORT", kInteger},     {"INTEGER2", kInteger}, {"INTEGER", kLong},
    {"LONG", kLong},         {"INT", kLong},         {"INTEGER4", kLong},
    {"CURRENCY", kCurrency}, {"MONEY", kCurrency},   {"REAL", kSingle},
    {"SINGLE", kSingle},     {"FLOAT4", kSingle},    {"IEEESINGLE", kSingle},
    {"DOUBLE", kDouble},     {"FLOAT", kDouble},     {"FLOAT8", kDouble},
    {"IEEEDOUBLE", kDouble}, {"NUMBER", kDouble},    {"DATETIME", kDate},
    {"DATE", kDate},         {"TIME", kDate},        {"TIMESTAMP", kDate},
    {"TEXT", kText},         {"VARCHAR", kText},     {"CHAR", kText},
    {"ALPHANUMERIC", kText}, {"STRING", kText},      {"LONGTEXT", kMemo},
    {"MEMO", kMemo},         {"NOTE", kMemo},        {"LONGCHAR", kMemo},
    {"BIGINT", kBigInt},
};

constexpr int32_t kMaxTextSize = 255;

int32_t FixedSize(DataType type) {
  switch (type) {
    case kBoolean:
    case kByte:
      return 1;
    case kInteger:
      return 2;
    case kLong:
    case kSingle:
      return 4;
    case kMemo:
      return 0;
    default:
      return 8;
  }
}

std::string_view TrimSpace(std::string_view s) {
  size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

// A whole text as a number; blanks around it are allowed, nothing else.
std::optional<Variant> ParseNumber(std::string_view textValue) {
  std::string_view s = TrimSpace(textValue);
  if (s.empty()) return std::nullopt;
  if (s.front() == '+') s.remove_prefix(1);
  int64_t whole = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), whole);
  if (error == std::errc() && end == s.data() + s.size()) return Variant(whole);
  double number = 0;
  auto [endDouble, errorDouble] = std::from_chars(s.data(), s.data() + s.size(), number);
  if (errorDouble == std::errc() && endDouble == s.data() + s.size()) return Variant(number);
  return std::nullopt;
}

// Rounds half to even into 64 bits, as VB and Jet do.
std::optional<int64_t> RoundToInteger(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double rounded = std::nearbyint(value);
  if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0) return std::nullopt;
  return static_cast<int64_t>(rounded);
}

std::string FormatDouble(double value) {
  if (value == 0) return "0";
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string out(buffer, error == std::errc() ? end : buffer);
  for (char& c : out) {
    if (c == 'e') c = 'E';
  }
  return out;
}

}  // namespace

// --- Variant -----------------------------------------------------------------------------------

Variant Variant::Binary(std::string bytes) {
  Variant value;
  value.data_ = BinaryBytes{std::move(bytes)};
  return value;
}

Variant Variant::Number() const {
  if (IsNull()) throw RuntimeFailure(kInvalidUseOfNull);
  if (IsNumber()) return *this;
  std::optional<Variant> number = IsText() ? ParseNumber(Bytes()) : std::nullopt;
  if (!number) throw RuntimeFailure(kTypeMismatch);
  return *number;
}

int64_t Variant::ConvertedToInteger() const {
  Variant number = Number();
  if (number.kind() == Kind::kInteger) return std::get<int64_t>(number.data_);
  std::optional<int64_t> rounded = RoundToInteger(std::get<double>(number.data_));
  if (!rounded) throw RuntimeFailure(kOverflow);
  return *rounded;
}

double Variant::ConvertedToDouble() const {
  Variant number = Number();
  if (number.kind() == Kind::kInteger) return double(std::get<int64_t>(number.data_));
  return std::get<double>(number.data_);
}

std::string Variant::ToText() const {
  switch (kind()) {
    case Kind::kInteger:
      return text::Decimal(std::get<int64_t>(data_));
    case Kind::kDouble:
      return FormatDouble(std::get<double>(data_));
    case Kind::kText:
      return std::get<std::string>(data_);
    case Kind::kBinary:
      return std::get<BinaryBytes>(data_).bytes;
    default:
      return {};
  }
}

std::string_view Variant::Bytes() const {
  if (const auto* text = std::get_if<std::string>(&data_)) return *text;
  if (const auto* binary = std::get_if<BinaryBytes>(&data_)) return binary->bytes;
  return {};
}

void Variant::AssignText(std::string_view text) {
  if (auto* held = std::get_if<std::string>(&data_)) {
    held->assign(text);
  } else {
    data_ = std::string(text);
  }
}

// --- Declared types ----------------------------------------------------------------------------

std::string DeclaredType(DataType type, int32_t size) {
  if (type == kText) {
    if (size < 1 || size > kMaxTextSize) {
      throw detail::DaoFailure(kInvalidArgument, detail::kField);
    }
    return "TEXT(" + std::to_string(size) + ")";
  }
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return std::string(entry.name);
  }
  throw detail::DaoFailure(kInvalidFieldType, detail::kField);
}

std::pair<DataType, int32_t> ParseDeclaredType(std::string_view declaredType) {
  std::string declared(TrimSpace(declaredType));
  text::AsciiUpperInPlace(declared.data(), declared.size());
  std::optional<int32_t> size;
  size_t open = declared.find('(');
  std::string name(TrimSpace(std::string_view(declared).substr(0, open)));
  if (open != std::string::npos) {
    std::string_view inside = std::string_view(declared).substr(open + 1);
    inside = TrimSpace(inside.substr(0, inside.find_first_of(",)")));
    int32_t value = 0;
    auto [end, error] = std::from_chars(inside.data(), inside.data() + inside.size(), value);
    if (error == std::errc() && end == inside.data() + inside.size()) size = value;
  }
  auto text = [&]() -> std::pair<DataType, int32_t> {
    if (!size) return {kText, kMaxTextSize};
    if (*size >= 1 && *size <= kMaxTextSize) return {kText, *size};
    return {kMemo, 0};
  };
  for (const TypeName& entry : kTypeNames) {
    if (entry.name == name) {
      if (entry.type == kText) return text();
      return {entry.type, FixedSize(entry.type)};
    }
  }
  // SQLite's affinity rules, in their order.
  if (name.find("INT") != std::string::npos) return {kLong, 4};
  if (name.find("CHAR") != std::string::npos || name.find("TEXT") != std::string::npos) {
    return text();
  }
  if (name.find("CLOB") != std::string::npos) return {kMemo, 0};
  if (name.empty() || name.find("BLOB") != std::string::npos) return {kMemo, 0};
  return {kDouble, 8};
}

namespace detail {

namespace {

[[noreturn]] void ConversionFailure() {
  throw DaoFailure(kConversionError, kField);
}
[[noreturn]] void Overflow() {
  throw DaoFailure(kNumericOverflow, kField);
}

// The value as a number, or a conversion failure.
Variant Numeric(const Variant& value) {
  if (value.IsNumber()) return value;
  if (value.IsText()) {
    if (std::optional<Variant> number = ParseNumber(value.ToText())) return *number;
  }
  ConversionFailure();
}

// The value as a whole number in the range of T, rounded half to even.
template <typename T>
Variant Whole(const Variant& value) {
  Variant number = Numeric(value);
  std::optional<int64_t> whole = number.kind() == Variant::Kind::kInteger
                                     ? number.ToInteger()
                                     : RoundToInteger(number.ToDouble());
  if (!whole || *whole < std::numeric_limits<T>::min() || *whole > std::numeric_limits<T>::max()) {
    Overflow();
  }
  return Variant(*whole);
}

}  // namespace

Variant ConvertForField(Variant value, const RecordColumn& column) {
  if (!column.typed || value.IsNull()) return value;
  switch (column.type) {
    case kText:
    case kMemo: {
      if (value.kind() == Variant::Kind::kBinary) ConversionFailure();
      if (!value.IsText()) value = Variant(value.ToText());
      if (column.type == kText && text::Length(value.Bytes()) > size_t(column.size)) {
        throw DaoFailure(kFieldTooSmall, kField);
      }
      return value;
    }
    case kBoolean: {
      if (value.IsText()) {
        std::string upper = text::Upper(TrimSpace(value.ToText()));
        if (upper == "TRUE") return Variant::Boolean(true);
        if (upper == "FALSE") return Variant::Boolean(false);
      }
      return Variant::Boolean(Numeric(value).ToDouble() != 0);
    }
    case kByte:
      return Whole<uint8_t>(value);
    case kInteger:
      return Whole<int16_t>(value);
    case kLong:
      return Whole<int32_t>(value);
    case kBigInt:
      return Whole<int64_t>(value);
    case kSingle: {
      double number = Numeric(value).ToDouble();
      if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max()) {
        Overflow();
      }
      return Variant(double(float(number)));
    }
    case kCurrency: {
      // Jet keeps currency as a 64-bit count of ten-thousandths.
      double number = Numeric(value).ToDouble();
      if (!std::isfinite(number) || std::fabs(number) > 922337203685477.0) Overflow();
      return Variant(std::nearbyint(number * 10000.0) / 10000.0);
    }
    default: {
      double number = Numeric(value).ToDouble();
      if (!std::isfinite(number)) Overflow();
      return Variant(number);
    }
  }
}

void NormalizeRead(Variant& value, const RecordColumn& column) {
  if (!column.typed || !value.IsNumber()) return;
  switch (column.type) {
    case kBoolean:
      value = Variant::Boolean(value.ToDouble() != 0);
      return;
    case kSingle:
    case kDouble:
    case kCurrency:
    case kDate:
      value = Variant(value.ToDouble());
      return;
    default:
      return;
  }
}

int CompareNoCase(std::string_view a, std::string_view b) {
  // Text::Upper's rule; ASCII is compared in place, as the query that checks the takeover
  // compares every key many times. UTF-8 orders as its characters do.
  for (size_t i = 0;; ++i) {
    if (i == a.size() || i == b.size()) return a.size() == b.size() ? 0 : i == a.size() ? -1 : 1;
    if (static_cast<unsigned char>(a[i]) >= 0x80 || static_cast<unsigned char>(b[i]) >= 0x80) {
      int order = text::Upper(a.substr(i)).compare(text::Upper(b.substr(i)));
      return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    char x = text::AsciiUpper(a[i]), y = text::AsciiUpper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
}

}  // namespace detail
}  // namespace horavex::dao
