#include "platform/IniStore.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/Text.h"

// The file is parsed on its Windows-1252 bytes, one line at a time, without building a tree:
// every line is a range of byte offsets, so a write copies all untouched bytes verbatim and only
// the new text is converted. One byte is one character in Windows-1252, which makes character
// counts (the buffer limit, name lengths) byte counts on this side of the conversion.

namespace horavex {
namespace {

constexpr size_t kNone = std::string_view::npos;

// Whitespace inside a line, as the profile functions trim it (CR and LF end the line instead).
bool IsBlank(char c) {
  return c == '\t' || c == '\v' || c == '\f' || c == '\x1A' || c == ' ';
}
bool IsBreak(char c) {
  return c == '\r' || c == '\n';
}

enum class LineKind { kBlank, kComment, kSection, kEntry };

// One line of the content, as byte offsets.
struct Line {
  size_t begin = 0;    // first byte
  size_t end = 0;      // end of the text, where the line break starts
  size_t next = 0;     // first byte after the line break (== end when there is none)
  size_t textEnd = 0;  // end of the text without trailing blanks
  LineKind kind = LineKind::kBlank;
  size_t nameBegin = 0;  // section name or entry name, trimmed
  size_t nameEnd = 0;
  size_t equals = kNone;  // the first "=" of an entry
};

Line ReadLine(std::string_view bytes, size_t pos) {
  Line line;
  line.begin = pos;
  line.end = pos;
  while (line.end < bytes.size() && bytes[line.end] != '\r' && bytes[line.end] != '\n') ++line.end;
  line.next = line.end;
  if (line.end < bytes.size()) {
    bool crlf =
        bytes[line.end] == '\r' && line.end + 1 < bytes.size() && bytes[line.end + 1] == '\n';
    line.next = line.end + (crlf ? 2 : 1);
  }
  size_t b = pos;
  size_t e = line.end;
  while (b < e && IsBlank(bytes[b])) ++b;
  while (e > b && IsBlank(bytes[e - 1])) --e;
  line.textEnd = e;
  if (b == e) return line;
  std::string_view text = bytes.substr(b, e - b);
  if (text.front() == ';') {
    line.kind = LineKind::kComment;
    return line;
  }
  if (text.front() == '[') {
    size_t close = text.rfind(']');
    if (close != kNone) {
      line.kind = LineKind::kSection;
      line.nameBegin = b + 1;
      line.nameEnd = b + close;
      while (line.nameBegin < line.nameEnd && IsBlank(bytes[line.nameBegin])) ++line.nameBegin;
      while (line.nameEnd > line.nameBegin && IsBlank(bytes[line.nameEnd - 1])) --line.nameEnd;
      return line;
    }
    // "[" without "]": an ordinary line of the current section.
  }
  line.kind = LineKind::kEntry;
  size_t equals = text.find('=');
  line.equals = equals == kNone ? kNone : b + equals;
  line.nameBegin = b;
  line.nameEnd = equals == kNone ? e : b + equals;
  while (line.nameEnd > line.nameBegin && IsBlank(bytes[line.nameEnd - 1])) --line.nameEnd;
  return line;
}

// A caller's text as the ANSI profile functions see it: up to a NUL, in Windows-1252.
std::string ApiBytes(const std::string& utf8) {
  return text::Utf8ToCp1252(std::string_view(utf8).substr(0, utf8.find('\0')));
}

// A caller's name: its Windows-1252 bytes without whitespace at both ends.
std::string ApiName(const std::string& utf8) {
  std::string bytes = ApiBytes(utf8);
  auto space = [](char c) { return IsBlank(c) || IsBreak(c); };
  size_t b = 0;
  size_t e = bytes.size();
  while (b < e && space(bytes[b])) ++b;
  while (e > b && space(bytes[e - 1])) --e;
  return bytes.substr(b, e - b);
}

// A name to look for, kept in both forms so each stored name costs one conversion at most.
struct Wanted {
  explicit Wanted(std::string bytesIn)
      : bytes(std::move(bytesIn)), utf8(text::Cp1252ToUtf8(bytes)) {}
  bool Matches(std::string_view stored) const {
    // One byte is one character, so names of different byte length never match.
    if (stored.size() != bytes.size()) return false;
    bool ascii = true;
    for (size_t i = 0; i < stored.size(); ++i) {
      unsigned char a = stored[i], b = bytes[i];
      if (a >= 0x80 || b >= 0x80) {
        ascii = false;
        break;
      }
      if (a != b && ((a | 0x20) != (b | 0x20) || (a | 0x20) < 'a' || (a | 0x20) > 'z'))
        return false;
    }
    if (ascii) return true;
    return text::EqualsNoCase(text::Cp1252ToUtf8(stored), utf8);
  }
  std::string bytes;
  std::string utf8;
};

// Where an entry is, or where it would go.
struct Location {
  bool sectionFound = false;
  // The first matching entry of the first matching section.
  std::optional<Line> entry;
  // The last entry line of that section, or its header when it has none.
  Line last;
};

Location Find(std::string_view bytes, const Wanted& section, const Wanted& entry) {
  Location found;
  bool inSection = false;
  for (size_t pos = 0; pos < bytes.size();) {
    Line line = ReadLine(bytes, pos);
    pos = line.next;
    std::string_view name = bytes.substr(line.nameBegin, line.nameEnd - line.nameBegin);
    if (line.kind == LineKind::kSection) {
      if (inSection) break;  // only the first matching section counts
      if (section.Matches(name)) {
        inSection = found.sectionFound = true;
        found.last = line;
      }
      continue;
    }
    if (!inSection || line.kind != LineKind::kEntry) continue;
    found.last = line;
    if (entry.Matches(name)) {
      found.entry = line;
      break;
    }
  }
  return found;
}

// Start of an entry's value: after "=" and the blanks that follow it.
size_t ValueBegin(std::string_view bytes, const Line& line) {
  size_t b = line.equals + 1;
  while (b < line.end && IsBlank(bytes[b])) ++b;
  return b;
}

// The value bytes of the entry, trimmed and without one pair of matching quotes; nothing when
// the file, the section, the entry or its "=" is missing.
std::optional<std::string> FindValue(const FileSystem& files, const std::string& section,
                                     const std::string& entry, const std::string& file) {
  std::optional<std::string> content = files.ReadAll(file);
  if (!content) return std::nullopt;
  Location found = Find(*content, Wanted(ApiName(section)), Wanted(ApiName(entry)));
  if (!found.entry || found.entry->equals == kNone) return std::nullopt;
  size_t b = ValueBegin(*content, *found.entry);
  std::string_view value =
      std::string_view(*content).substr(b, std::max(b, found.entry->textEnd) - b);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// RtlUnicodeStringToInteger with base 0, which GetPrivateProfileInt relies on: blanks, a sign,
// a 0x / 0o / 0b prefix (lower case only), digits up to the first invalid one; the total wraps
// modulo 2^32 and a minus sign negates it in two's complement.
uint32_t ParseProfileInt(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  bool minus = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    minus = s[i] == '-';
    ++i;
  }
  uint32_t base = 10;
  if (i + 1 < s.size() && s[i] == '0') {
    char prefix = s[i + 1];
    base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  uint32_t total = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    uint32_t digit = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                     : c >= 'a' && c <= 'z' ? uint32_t(c - 'a' + 10)
                     : c >= 'A' && c <= 'Z' ? uint32_t(c - 'A' + 10)
                                            : 99;
    if (digit >= base) break;
    total = total * base + digit;
  }
  return minus ? 0u - total : total;
}

// The line break new lines get: the file's first one, CR LF when it has none.
std::string LineBreakOf(std::string_view bytes) {
  size_t at = bytes.find_first_of("\r\n");
  if (at == kNone) return "\r\n";
  if (bytes[at] == '\n') return "\n";
  return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? "\r\n" : "\r";
}

// True when nothing at all is where the file should be, so it may be created. A file that
// exists but could not be read is never replaced by a new one.
bool NothingAt(const FileSystem& files, const std::string& file) {
  if (files.IsPlainFile(file)) return false;
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::symlink_status(files.Resolve(file), ec);
  return status.type() == std::filesystem::file_type::not_found;
}

}  // namespace

ProfileIniStore::ProfileIniStore(FileSystem& files) : files_(files) {}

std::string ProfileIniStore::GetString(const std::string& section, const std::string& entry,
                                       const std::string& defaultValue, size_t bufferSize,
                                       const std::string& file) const {
  size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
  if (std::optional<std::string> value = FindValue(files_, section, entry, file)) {
    return text::Cp1252ToUtf8(std::string_view(*value).substr(0, limit));
  }
  // The default never touches a file and comes back in the caller's own characters.
  std::string fallback = defaultValue.substr(0, defaultValue.find('\0'));
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  return text::Left(fallback, limit);
}

uint32_t ProfileIniStore::GetInt(const std::string& section, const std::string& entry,
                                 int32_t defaultValue, const std::string& file) const {
  std::optional<std::string> value = FindValue(files_, section, entry, file);
  if (!value || value->empty()) return static_cast<uint32_t>(defaultValue);
  return ParseProfileInt(*value);
}

bool ProfileIniStore::WriteString(const std::string& section, const std::string& entry,
                                  const std::string& value, const std::string& file) {
  if (file.empty()) return false;
  std::optional<std::string> old = files_.ReadAll(file);
  if (!old && !NothingAt(files_, file)) return false;
  const std::string content = old.value_or(std::string());

  Wanted sectionName(ApiName(section));
  Wanted entryName(ApiName(entry));
  const std::string valueBytes = ApiBytes(value);
  const std::string lineBreak = LineBreakOf(content);
  Location found = Find(content, sectionName, entryName);

  std::string updated;
  if (found.entry) {
    // Replace the old value only; everything around it on the line stays.
    const Line& line = *found.entry;
    size_t from = line.nameEnd;
    size_t to = line.nameEnd;
    std::string insert = "=" + valueBytes;
    if (line.equals != kNone) {
      from = ValueBegin(content, line);
      to = std::max(from, line.textEnd);
      insert = valueBytes;
    }
    updated.reserve(content.size() + insert.size());
    updated.append(content, 0, from).append(insert).append(content, to, kNone);
  } else if (found.sectionFound) {
    std::string add = entryName.bytes + "=" + valueBytes + lineBreak;
    if (found.last.next == found.last.end) add.insert(0, lineBreak);  // last line of the file
    updated = content;
    updated.insert(found.last.next, add);
  } else {
    updated = content;
    if (!updated.empty() && !IsBreak(updated.back())) updated += lineBreak;
    updated +=
        "[" + sectionName.bytes + "]" + lineBreak + entryName.bytes + "=" + valueBytes + lineBreak;
  }
  if (old && updated == *old) return true;
  return files_.ReplaceAll(file, updated);
}

}  // namespace horavex
