#include "platform/IniStore.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/Text.h"

// A file is parsed once into lines grouped by section, with an index of the first section of
// each name and the first entry of each name in it. Lines keep their exact bytes (Windows-1252,
// or UTF-8 for a UTF-16LE file), so a write changes only the text it names and the file is
// written back byte for byte otherwise. In Windows-1252 one byte is one character, which makes
// character counts (the buffer limit) byte counts on this side of the conversion.

namespace horavex {
namespace {

constexpr size_t kNone = std::string_view::npos;
constexpr std::string_view kUnicodeMark = "\xFF\xFE";

// Whitespace inside a line, as the profile functions trim it (CR and LF end the line instead).
bool IsBlank(char c) {
  return c == '\t' || c == '\v' || c == '\f' || c == '\x1A' || c == ' ';
}
bool IsBreak(char c) {
  return c == '\r' || c == '\n';
}

enum class LineKind { kBlank, kComment, kSection, kEntry };

// One line: its text and its line break, and what the text is.
struct IniLine {
  std::string text;
  std::string lineBreak;  // "\r\n", "\n", "\r", or "" for a last line without one
  LineKind kind = LineKind::kBlank;
  size_t textEnd = 0;    // end of the text without trailing blanks
  size_t nameBegin = 0;  // section name or entry name, trimmed
  size_t nameEnd = 0;
  size_t equals = kNone;  // the first "=" of an entry

  std::string_view Name() const {
    return std::string_view(text).substr(nameBegin, nameEnd - nameBegin);
  }
};

void Classify(IniLine& line) {
  const std::string& t = line.text;
  line.kind = LineKind::kBlank;
  line.equals = kNone;
  size_t b = 0;
  size_t e = t.size();
  while (b < e && IsBlank(t[b])) ++b;
  while (e > b && IsBlank(t[e - 1])) --e;
  line.textEnd = e;
  line.nameBegin = line.nameEnd = b;
  if (b == e) return;
  if (t[b] == ';') {
    line.kind = LineKind::kComment;
    return;
  }
  if (t[b] == '[') {
    size_t close = t.rfind(']', e - 1);
    if (close != kNone && close > b) {
      line.kind = LineKind::kSection;
      line.nameBegin = b + 1;
      line.nameEnd = close;
      while (line.nameBegin < line.nameEnd && IsBlank(t[line.nameBegin])) ++line.nameBegin;
      while (line.nameEnd > line.nameBegin && IsBlank(t[line.nameEnd - 1])) --line.nameEnd;
      return;
    }
    // "[" without "]": an ordinary line of the current section.
  }
  line.kind = LineKind::kEntry;
  size_t equals = t.find('=', b);
  if (equals >= e) equals = kNone;
  line.equals = equals;
  line.nameEnd = equals == kNone ? e : equals;
  while (line.nameEnd > line.nameBegin && IsBlank(t[line.nameEnd - 1])) --line.nameEnd;
}

// The lines of one section, its header first; the lines before the first header form a block
// without one.
struct Block {
  std::vector<IniLine> lines;
  // The first line of each entry name (by Key).
  std::unordered_map<std::string, size_t> entries;
  // The last entry line, or the header when there is none.
  size_t last = 0;
};

// Names match without regard to case over the Windows-1252 letters: their key is the upper-cased
// name in UTF-8.
std::string Key(std::string_view name, bool unicode) {
  if (unicode || text::IsAscii(name)) return text::Upper(name);
  return text::Upper(text::Cp1252ToUtf8(name));
}

// Start of an entry's value: after "=" and the blanks that follow it.
size_t ValueBegin(const IniLine& line) {
  size_t b = line.equals + 1;
  while (b < line.text.size() && IsBlank(line.text[b])) ++b;
  return b;
}

// The line break new lines get: the file's first one, CR LF when it has none.
std::string LineBreakOf(std::string_view bytes) {
  size_t at = bytes.find_first_of("\r\n");
  if (at == kNone) return "\r\n";
  if (bytes[at] == '\n') return "\n";
  return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? "\r\n" : "\r";
}

}  // namespace

struct ProfileIniStore::Document {
  bool unicode = false;
  std::string lineBreak = "\r\n";
  std::vector<Block> blocks;
  // The first section block of each name (by Key).
  std::unordered_map<std::string, size_t> sections;

  static std::shared_ptr<Document> Parse(std::string_view content) {
    auto document = std::make_shared<Document>();
    document->unicode = content.substr(0, 2) == kUnicodeMark;
    std::string decoded;
    if (document->unicode) {
      decoded = text::Utf16LeToUtf8(content.substr(2));
      content = decoded;
    }
    document->lineBreak = LineBreakOf(content);
    document->blocks.emplace_back();
    for (size_t pos = 0; pos < content.size();) {
      size_t end = pos;
      while (end < content.size() && !IsBreak(content[end])) ++end;
      size_t next = end;
      if (end < content.size()) {
        next =
            end +
            (content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n' ? 2 : 1);
      }
      IniLine line;
      line.text.assign(content, pos, end - pos);
      line.lineBreak.assign(content, end, next - end);
      pos = next;
      document->Add(std::move(line));
    }
    return document;
  }

  void Add(IniLine line) {
    Classify(line);
    if (line.kind == LineKind::kSection) {
      sections.try_emplace(Key(line.Name(), unicode), blocks.size());
      blocks.emplace_back();
    }
    Block& block = blocks.back();
    if (line.kind == LineKind::kEntry) {
      block.entries.try_emplace(Key(line.Name(), unicode), block.lines.size());
      block.last = block.lines.size();
    }
    block.lines.push_back(std::move(line));
  }

  const IniLine* Find(const std::string& section, const std::string& entry) const {
    auto s = sections.find(Key(section, unicode));
    if (s == sections.end()) return nullptr;
    const Block& block = blocks[s->second];
    auto e = block.entries.find(Key(entry, unicode));
    return e == block.entries.end() ? nullptr : &block.lines[e->second];
  }

  // Writes the entry; false when the file's content stays as it was.
  bool Write(const std::string& section, const std::string& entry, const std::string& value) {
    auto s = sections.find(Key(section, unicode));
    if (s != sections.end()) {
      Block& block = blocks[s->second];
      auto e = block.entries.find(Key(entry, unicode));
      if (e != block.entries.end()) {
        // Replace the old value only; everything around it on the line stays.
        IniLine& line = block.lines[e->second];
        if (line.equals != kNone) {
          size_t from = ValueBegin(line);
          size_t length = std::max(from, line.textEnd) - from;
          if (line.text.compare(from, length, value) == 0) return false;
          line.text.replace(from, length, value);
        } else {
          line.text.insert(line.nameEnd, "=" + value);
        }
        Classify(line);
      } else {
        // After the section's last entry: trailing blank and comment lines stay after it.
        IniLine& at = block.lines[block.last];
        if (at.lineBreak.empty()) at.lineBreak = lineBreak;  // the last line of the file
        IniLine added;
        added.text = entry + "=" + value;
        added.lineBreak = lineBreak;
        Classify(added);
        // Only blank and comment lines follow the last entry, so no entry line moves.
        size_t position = block.last + 1;
        block.lines.insert(block.lines.begin() + std::ptrdiff_t(position), std::move(added));
        block.entries.emplace(Key(entry, unicode), position);
        block.last = position;
      }
    } else {
      for (auto b = blocks.rbegin(); b != blocks.rend(); ++b) {
        if (b->lines.empty()) continue;
        if (b->lines.back().lineBreak.empty()) b->lines.back().lineBreak = lineBreak;
        break;
      }
      Add(IniLine{"[" + section + "]", lineBreak});
      Add(IniLine{entry + "=" + value, lineBreak});
    }
    return true;
  }

  std::string Serialize() const {
    std::string out;
    for (const Block& block : blocks) {
      for (const IniLine& line : block.lines) out.append(line.text).append(line.lineBreak);
    }
    if (!unicode) return out;
    return std::string(kUnicodeMark) + text::Utf8ToUtf16Le(out);
  }
};

namespace {

// A caller's text as the profile functions see it: up to a NUL, in the file's encoding (the
// ANSI functions convert to Windows-1252, "?" for a character it lacks).
std::string ApiBytes(const std::string& utf8, bool unicode) {
  std::string_view cut = std::string_view(utf8).substr(0, utf8.find('\0'));
  return unicode ? std::string(cut) : text::Utf8ToCp1252(cut);
}

// A caller's name: its bytes without whitespace at both ends.
std::string ApiName(const std::string& utf8, bool unicode) {
  std::string bytes = ApiBytes(utf8, unicode);
  auto space = [](char c) { return IsBlank(c) || IsBreak(c); };
  size_t b = 0;
  size_t e = bytes.size();
  while (b < e && space(bytes[b])) ++b;
  while (e > b && space(bytes[e - 1])) --e;
  return bytes.substr(b, e - b);
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

// True when nothing at all is where the file should be, so it may be created. A file that
// exists but could not be read is never replaced by a new one.
bool NothingAt(const FileSystem& files, const std::string& file) {
  if (file.empty()) return true;
  if (files.IsPlainFile(file)) return false;
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::symlink_status(files.Resolve(file), ec);
  return status.type() == std::filesystem::file_type::not_found;
}

// The value of the entry in the file's encoding, trimmed and without one pair of matching
// quotes; nothing when the section, the entry or its "=" is missing.
std::optional<std::string> ValueOf(const ProfileIniStore::Document& document,
                                   const std::string& section, const std::string& entry) {
  const IniLine* line =
      document.Find(ApiName(section, document.unicode), ApiName(entry, document.unicode));
  if (line == nullptr || line->equals == kNone) return std::nullopt;
  size_t b = ValueBegin(*line);
  std::string_view value = std::string_view(line->text).substr(b, std::max(b, line->textEnd) - b);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// File times advance in ticks of the kernel's coarse clock: a file written within a tick of
// being read may change again without a new time, so such a view is not reused.
constexpr int64_t kTimeGranularity = 100'000'000;  // nanoseconds

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ProfileIniStore::ProfileIniStore(FileSystem& files) : files_(files) {}

ProfileIniStore::View& ProfileIniStore::Load(const std::string& file) const {
  // A file of the open group, as the caller names it: no need to resolve the name again.
  if (auto named = pendingNames_.find(file); named != pendingNames_.end()) {
    return pending_.at(named->second);
  }
  const std::string path = files_.Resolve(file);
  if (auto pending = pending_.find(path); pending != pending_.end()) {
    pendingNames_.emplace(file, path);
    return pending->second;
  }
  std::optional<FileStamp> stamp = files_.Stamp(path);  // resolved already: one stat
  Cached& cached = cache_[path];
  View& view = cached.view;
  // A file that could not be read was reported by its first read; until it changes, it reads
  // as the defaults.
  if (view.failure && cached.readAt != 0 && cached.stamp == stamp.value_or(FileStamp{})) {
    return view;
  }
  if (stamp && cached.stamp == *stamp && stamp->lastWrite + kTimeGranularity < cached.readAt &&
      view.document) {
    return view;
  }
  view = View();
  cached.stamp = stamp.value_or(FileStamp{});
  cached.readAt = Now();
  try {
    std::optional<std::string> content;
    if (stamp) content = files_.ReadAll(file);
    if (content) {
      view.document = Document::Parse(*content);
      view.content = std::move(*content);
      view.existed = true;
    } else if (!NothingAt(files_, file)) {
      throw RuntimeFailure(kPathFileAccessError);  // a file that cannot be reached
    }
  } catch (const Failure& f) {
    view.failure = f;
    throw;
  }
  return view;
}

bool ProfileIniStore::Replace(const std::string& file, View& view) const {
  std::string updated = view.document->Serialize();
  bool ok = (view.existed && updated == view.content) || files_.ReplaceAll(file, updated);
  const std::string path = files_.Resolve(file);
  std::optional<FileStamp> stamp = ok ? files_.Stamp(file) : std::nullopt;
  if (!stamp) {
    cache_.erase(path);
    return ok;
  }
  cache_[path] = {*stamp, Now(), View{view.document, std::move(updated), std::nullopt, true}};
  return ok;
}

std::string ProfileIniStore::GetString(const std::string& section, const std::string& entry,
                                       const std::string& defaultValue, size_t bufferSize,
                                       const std::string& file) const {
  size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
  const View& view = Load(file);
  if (view.document) {
    if (std::optional<std::string> value = ValueOf(*view.document, section, entry)) {
      if (view.document->unicode) return text::Left(*value, limit);
      return text::Cp1252ToUtf8(std::string_view(*value).substr(0, limit));
    }
  }
  // The default never touches a file and comes back in the caller's own characters.
  std::string fallback = defaultValue.substr(0, defaultValue.find('\0'));
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  return text::Left(fallback, limit);
}

uint32_t ProfileIniStore::GetInt(const std::string& section, const std::string& entry,
                                 int32_t defaultValue, const std::string& file) const {
  const View& view = Load(file);
  std::optional<std::string> value;
  if (view.document) value = ValueOf(*view.document, section, entry);
  if (!value || value->empty()) return static_cast<uint32_t>(defaultValue);
  return ParseProfileInt(*value);
}

bool ProfileIniStore::WriteString(const std::string& section, const std::string& entry,
                                  const std::string& value, const std::string& file) {
  if (file.empty()) return false;
  files_.RemoveLeftoversBeside(file);
  View* view = nullptr;
  try {
    view = &Load(file);
  } catch (const Failure&) {
    return false;
  }
  if (view->failure) return false;
  if (groupDepth_ > 0) {
    const std::string path = files_.Resolve(file);
    if (pending_.find(path) == pending_.end()) {
      View copy = *view;
      if (copy.document) copy.document = std::make_shared<Document>(*copy.document);
      cache_.erase(path);
      view = &pending_.emplace(path, std::move(copy)).first->second;
      pendingNames_.emplace(file, path);
    }
  }
  if (!view->document) view->document = std::make_shared<Document>();
  Document& document = *view->document;
  const std::string valueBytes = ApiBytes(value, document.unicode);
  bool changed = document.Write(ApiName(section, document.unicode),
                                ApiName(entry, document.unicode), valueBytes);
  if (!changed && view->existed) return true;
  // A line break inside the value starts new lines, which the next reads must see as such.
  if (valueBytes.find_first_of("\r\n") != std::string::npos) {
    std::string serialized = document.Serialize();
    view->document = Document::Parse(serialized);
  }
  if (groupDepth_ > 0) return true;
  // Replace puts the written view back into the cache, where this one was.
  View written = std::move(*view);
  return Replace(file, written);
}

void ProfileIniStore::CheckReadable(const std::string& file) const {
  if (const View& view = Load(file); view.failure) throw *view.failure;
}

void ProfileIniStore::BeginGroup() {
  ++groupDepth_;
}

bool ProfileIniStore::EndGroup() {
  if (groupDepth_ == 0 || --groupDepth_ > 0) return true;
  std::map<std::string, View> pending = std::move(pending_);
  pending_.clear();
  pendingNames_.clear();
  bool ok = true;
  for (auto& [path, view] : pending) ok = Replace(path, view) && ok;
  return ok;
}

}  // namespace horavex
