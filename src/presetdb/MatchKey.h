#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "dao/Database.h"
#include "platform/Text.h"

namespace horavex {

// How the takeover matches an earlier record with a record of the new table: by machine_type,
// var_name and offset_or_bitno, text as the ANSI_NOCASE collation compares it (upper-cased over
// Windows-1252), numbers by value.

// The text of a value without a copy where it is text already.
inline std::string_view TextOf(const dao::Variant& value, std::string& scratch) {
  if (value.IsText()) return value.Bytes();
  scratch = value.ToText();
  return scratch;
}

// The key under which records match, written into key (reused from record to record).
inline void MatchKey(std::string& key, std::string_view machineType, std::string_view varName,
                     double offset) {
  if (offset == 0) offset = 0;  // -0 matches 0
  char bytes[sizeof offset];
  std::memcpy(bytes, &offset, sizeof offset);
  // Text as the collation compares it.
  key.clear();
  text::AppendUpper(key, machineType);
  key.push_back('\0');
  text::AppendUpper(key, varName);
  key.push_back('\0');
  key.append(bytes, sizeof bytes);
}

// The key of a record's values; false when one of them is Null or the offset no number, which
// matches nothing.
inline bool MatchKeyOf(std::string& key, const dao::Variant& machineType,
                       const dao::Variant& varName, const dao::Variant& offset) {
  if (machineType.IsNull() || varName.IsNull() || !offset.IsNumber()) return false;
  std::string typeText, nameText;
  MatchKey(key, TextOf(machineType, typeText), TextOf(varName, nameText), offset.ToDouble());
  return true;
}

}  // namespace horavex
