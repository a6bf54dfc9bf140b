#include "platform/IniStore.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "platform/Text.h"

// A file is parsed once into the byte ranges of its sections, with an index of the sections by
// name; the entries of a section are indexed the first time a call looks into it. The text is
// kept as one string (the file's bytes as Windows-1252, or UTF-8 for a UTF-16LE file) and only a
// section that is written gets a copy of its own, so a large file costs little more than its
// size however many lines it has. A write changes only the text it names and the file is written
// back byte for byte otherwise. In Windows-1252 one byte is one character, which makes character
// counts (the buffer limit) byte counts on this side of the conversion.

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

// One line of a text, by offsets into it: its text, its line break, and what the text is.
struct Line {
  size_t end = 0;   // end of the text, where the line break starts
  size_t next = 0;  // start of the next line
  LineKind kind = LineKind::kBlank;
  size_t textEnd = 0;    // end of the text without trailing blanks
  size_t nameBegin = 0;  // section name or entry name, trimmed
  size_t nameEnd = 0;
  size_t equals = kNone;  // the first "=" of an entry

  std::string_view Name(std::string_view t) const {
    return t.substr(nameBegin, nameEnd - nameBegin);
  }
};

Line LineAt(std::string_view t, size_t begin) {
  Line line;
  size_t end = t.find_first_of("\r\n", begin);
  if (end == kNone) end = t.size();
  line.end = end;
  line.next = end;
  if (end < t.size())
    line.next += t[end] == '\r' && end + 1 < t.size() && t[end + 1] == '\n' ? 2 : 1;
  size_t b = begin;
  size_t e = end;
  while (b < e && IsBlank(t[b])) ++b;
  while (e > b && IsBlank(t[e - 1])) --e;
  line.textEnd = e;
  line.nameBegin = line.nameEnd = b;
  if (b == e) return line;
  if (t[b] == ';') {
    line.kind = LineKind::kComment;
    return line;
  }
  if (t[b] == '[') {
    size_t close = t.substr(b, e - b).rfind(']');
    if (close != kNone && close > 0) {
      close += b;
      line.kind = LineKind::kSection;
      line.nameBegin = b + 1;
      line.nameEnd = close;
      while (line.nameBegin < line.nameEnd && IsBlank(t[line.nameBegin])) ++line.nameBegin;
      while (line.nameEnd > line.nameBegin && IsBlank(t[line.nameEnd - 1])) --line.nameEnd;
      return line;
    }
    // "[" without "]": an ordinary line of the current section.
  }
  line.kind = LineKind::kEntry;
  size_t equals = t.substr(0, e).find('=', b);
  line.equals = equals;
  line.nameEnd = equals == kNone ? e : equals;
  while (line.nameEnd > line.nameBegin && IsBlank(t[line.nameEnd - 1])) --line.nameEnd;
  return line;
}

// Start of an entry's value: after "=" and the blanks that follow it.
size_t ValueBegin(std::string_view t, const Line& line) {
  size_t b = line.equals + 1;
  while (b < line.end && IsBlank(t[b])) ++b;
  return b;
}

// Names match without regard to case over the Windows-1252 letters. A name's folded form is its
// upper case: Windows-1252 bytes, where every letter's upper case is a character of the code
// page too, or UTF-8 in a UTF-16LE file.
const std::array<char, 256>& Cp1252UpperBytes() {
  static const std::array<char, 256> table = [] {
    std::array<char, 256> upper{};
    for (size_t b = 0; b < upper.size(); ++b) {
      char32_t c = text::ToU32(text::Cp1252ToUtf8(std::string(1, char(b))))[0];
      char32_t u = text::UpperChar(c);
      upper[b] = u == c ? char(b) : char(text::Cp1252Code(u));
    }
    return upper;
  }();
  return table;
}

void FoldInto(std::string& out, std::string_view name, bool unicode) {
  out.clear();
  if (unicode) {
    text::AppendUpper(out, name);
    return;
  }
  const std::array<char, 256>& upper = Cp1252UpperBytes();
  out.resize(name.size());
  for (size_t i = 0; i < name.size(); ++i) out[i] = upper[static_cast<unsigned char>(name[i])];
}

uint64_t HashOf(std::string_view folded) {
  return std::hash<std::string_view>{}(folded);
}

// Names by the hash of their folded form, each with where its line is (an offset or a section's
// number). A slot is one number, the top bits of the hash above the position, so that an index
// of a million entries takes 8 MB; positions are below 2^40 (no text is a terabyte), and a hash
// shared by other names only costs a comparison more. Equal hashes keep the order of the lines,
// so the first of equal names is found first.
class NameIndex {
 public:
  void Add(uint64_t hash, size_t at) { slots_.push_back(Slot(hash, at)); }
  void Sort() { std::sort(slots_.begin(), slots_.end()); }
  void Insert(uint64_t hash, size_t at) {
    uint64_t slot = Slot(hash, at);
    slots_.insert(std::upper_bound(slots_.begin(), slots_.end(), slot), slot);
  }
  // The first position under the hash that holds the name.
  template <class HoldsName>
  std::optional<size_t> Find(uint64_t hash, HoldsName holdsName) const {
    const uint64_t key = Slot(hash, 0);
    for (auto it = std::lower_bound(slots_.begin(), slots_.end(), key);
         it != slots_.end() && (*it & ~kPosition) == key; ++it) {
      if (holdsName(size_t(*it & kPosition))) return size_t(*it & kPosition);
    }
    return std::nullopt;
  }
  // Moves the positions from `from` on by delta, after text was inserted or removed there.
  void Shift(size_t from, std::ptrdiff_t delta) {
    for (uint64_t& slot : slots_) {
      if ((slot & kPosition) >= from) slot += uint64_t(delta);
    }
  }

 private:
  static constexpr int kPositionBits = 40;
  static constexpr uint64_t kPosition = (uint64_t(1) << kPositionBits) - 1;
  static uint64_t Slot(uint64_t hash, size_t at) {
    return (hash >> kPositionBits << kPositionBits) | (uint64_t(at) & kPosition);
  }
  std::vector<uint64_t> slots_;
};

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
  // The text as parsed; a section's bytes are a range of it until a write gives it its own.
  std::shared_ptr<const std::string> parsed = std::make_shared<const std::string>();
  // A section, its header line first; the lines before the first header form the first one,
  // which has no header.
  struct Block {
    size_t begin = 0;
    size_t end = 0;
  };
  std::vector<Block> blocks{Block{}};
  std::map<size_t, std::string> written;  // by block: the text of a block that was written
  NameIndex sections;                     // the blocks by the name in their header
  // The entries of a block, indexed on first use, by their offset in the block's text.
  struct Entries {
    NameIndex names;
    size_t last = 0;  // the end of the last entry line, or of the header when there is none
  };
  mutable std::map<size_t, Entries> entries;

  static std::shared_ptr<Document> Parse(std::shared_ptr<const std::string> content) {
    auto document = std::make_shared<Document>();
    document->unicode = content->substr(0, 2) == kUnicodeMark;
    document->parsed =
        document->unicode
            ? std::make_shared<const std::string>(text::Utf16LeToUtf8(content->substr(2)))
            : std::move(content);
    std::string_view t = *document->parsed;
    document->lineBreak = LineBreakOf(t);
    std::string folded;
    for (size_t pos = 0; pos < t.size();) {
      Line line = LineAt(t, pos);
      if (line.kind == LineKind::kSection) {
        document->blocks.back().end = pos;
        FoldInto(folded, line.Name(t), document->unicode);
        document->sections.Add(HashOf(folded), document->blocks.size());
        document->blocks.push_back(Block{pos, pos});
      }
      pos = line.next;
    }
    document->blocks.back().end = t.size();
    document->sections.Sort();
    return document;
  }

  std::string_view TextOf(size_t block) const {
    if (auto own = written.find(block); own != written.end()) return own->second;
    return std::string_view(*parsed).substr(blocks[block].begin,
                                            blocks[block].end - blocks[block].begin);
  }
  std::string& WritableTextOf(size_t block) {
    auto own = written.find(block);
    if (own == written.end()) {
      // Room for the writes to come, so that a large section is not moved for each of them.
      std::string_view text = TextOf(block);
      std::string copy;
      copy.reserve(text.size() + text.size() / 64 + 256);
      copy.assign(text);
      own = written.emplace(block, std::move(copy)).first;
    }
    return own->second;
  }

  std::optional<size_t> FindSection(std::string_view name) const {
    std::string folded;
    FoldInto(folded, name, unicode);
    std::string candidate;
    return sections.Find(HashOf(folded), [&](size_t block) {
      std::string_view t = TextOf(block);
      FoldInto(candidate, LineAt(t, 0).Name(t), unicode);
      return candidate == folded;
    });
  }

  Entries& EntriesOf(size_t block) const {
    auto [it, added] = entries.try_emplace(block);
    Entries& found = it->second;
    if (!added) return found;
    std::string_view t = TextOf(block);
    std::string folded;
    found.last = LineAt(t, 0).next;
    for (size_t pos = found.last; pos < t.size();) {
      Line line = LineAt(t, pos);
      if (line.kind == LineKind::kEntry) {
        FoldInto(folded, line.Name(t), unicode);
        found.names.Add(HashOf(folded), pos);
        found.last = line.next;
      }
      pos = line.next;
    }
    found.names.Sort();
    return found;
  }

  // The offset of the first entry of the name in the block's text.
  std::optional<size_t> FindEntry(size_t block, std::string_view name) const {
    std::string folded;
    FoldInto(folded, name, unicode);
    std::string candidate;
    std::string_view t = TextOf(block);
    return EntriesOf(block).names.Find(HashOf(folded), [&](size_t at) {
      FoldInto(candidate, LineAt(t, at).Name(t), unicode);
      return candidate == folded;
    });
  }

  // The value of the entry, trimmed and without one pair of matching quotes; nothing when the
  // section, the entry or its "=" is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view entry) const {
    std::optional<size_t> block = FindSection(section);
    if (!block) return std::nullopt;
    std::optional<size_t> at = FindEntry(*block, entry);
    if (!at) return std::nullopt;
    std::string_view t = TextOf(*block);
    Line line = LineAt(t, *at);
    if (line.equals == kNone) return std::nullopt;
    size_t b = ValueBegin(t, line);
    std::string_view value = t.substr(b, std::max(b, line.textEnd) - b);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }

  // Writes the entry; false when the file's content stays as it was.
  bool Write(const std::string& section, const std::string& entry, const std::string& value) {
    std::optional<size_t> block = FindSection(section);
    if (!block) {
      AppendSection(section, entry, value);
      return true;
    }
    Entries& found = EntriesOf(*block);
    std::optional<size_t> at = FindEntry(*block, entry);
    std::string& t = WritableTextOf(*block);
    if (at) {
      // Replace the old value only; everything around it on the line stays.
      Line line = LineAt(t, *at);
      size_t from = line.nameEnd;
      size_t length = 0;
      std::string replacement = "=" + value;
      if (line.equals != kNone) {
        from = ValueBegin(t, line);
        length = std::max(from, line.textEnd) - from;
        if (t.compare(from, length, value) == 0) return false;
        replacement = value;
      }
      t.replace(from, length, replacement);
      std::ptrdiff_t delta = std::ptrdiff_t(replacement.size()) - std::ptrdiff_t(length);
      found.names.Shift(*at + 1, delta);
      if (found.last > *at) found.last += delta;
      return true;
    }
    // After the section's last entry: trailing blank and comment lines stay after it, and no
    // entry line moves. The last line of the file gets a line break first.
    std::string added = entry + "=" + value + lineBreak;
    size_t position = found.last;
    if (!IsBreak(t[position - 1])) added.insert(0, lineBreak);
    t.insert(position, added);
    found.names.Shift(position, std::ptrdiff_t(added.size()));
    found.last = position + added.size();
    std::string folded;
    FoldInto(folded, entry, unicode);
    found.names.Insert(HashOf(folded),
                       found.last - (entry.size() + 1 + value.size() + lineBreak.size()));
    return true;
  }

  // A new section at the end of the file, after a line break the last line may lack.
  void AppendSection(const std::string& section, const std::string& entry,
                     const std::string& value) {
    for (size_t block = blocks.size(); block-- > 0;) {
      if (TextOf(block).empty()) continue;
      if (!IsBreak(TextOf(block).back())) {
        std::string& t = WritableTextOf(block);
        if (auto indexed = entries.find(block);
            indexed != entries.end() && indexed->second.last == t.size()) {
          indexed->second.last += lineBreak.size();
        }
        t += lineBreak;
      }
      break;
    }
    const std::string added = "[" + section + "]" + lineBreak + entry + "=" + value + lineBreak;
    // The lines as a read of the file will see them: a header starts a block.
    std::string folded;
    for (size_t pos = 0; pos < added.size();) {
      Line line = LineAt(added, pos);
      if (line.kind == LineKind::kSection) {
        FoldInto(folded, line.Name(added), unicode);
        sections.Insert(HashOf(folded), blocks.size());
        blocks.push_back(Block{parsed->size(), parsed->size()});
      }
      size_t last = blocks.size() - 1;
      entries.erase(last);
      WritableTextOf(last).append(added, pos, line.next - pos);
      pos = line.next;
    }
  }

  std::string Serialize() const {
    std::string out;
    size_t size = 0;
    for (size_t block = 0; block < blocks.size(); ++block) size += TextOf(block).size();
    out.reserve(size);
    for (size_t block = 0; block < blocks.size(); ++block) out.append(TextOf(block));
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
  return document.Value(ApiName(section, document.unicode), ApiName(entry, document.unicode));
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
      view.content = std::make_shared<const std::string>(std::move(*content));
      view.document = Document::Parse(view.content);
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
  bool ok = (view.existed && updated == *view.content) || files_.ReplaceAll(file, updated);
  const std::string path = files_.Resolve(file);
  std::optional<FileStamp> stamp = ok ? files_.Stamp(file) : std::nullopt;
  if (!stamp) {
    cache_.erase(path);
    return ok;
  }
  cache_[path] = {*stamp, Now(),
                  View{view.document, std::make_shared<const std::string>(std::move(updated)),
                       std::nullopt, true}};
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
      // The group works on a document of its own: the cached one, unless another view shares it.
      View copy = std::move(*view);
      if (copy.document && copy.document.use_count() > 1) {
        copy.document = std::make_shared<Document>(*copy.document);
      }
      cache_.erase(path);
      view = &pending_.emplace(path, std::move(copy)).first->second;
      pendingNames_.emplace(file, path);
    }
  }
  if (!view->document) view->document = std::make_shared<Document>();
  Document& document = *view->document;
  const std::string sectionBytes = ApiName(section, document.unicode);
  const std::string entryBytes = ApiName(entry, document.unicode);
  const std::string valueBytes = ApiBytes(value, document.unicode);
  bool changed = document.Write(sectionBytes, entryBytes, valueBytes);
  if (!changed && view->existed) return true;
  // A line break inside the value or a name starts new lines, which the next reads must see as
  // such.
  if ((sectionBytes + entryBytes + valueBytes).find_first_of("\r\n") != std::string::npos) {
    view->document = Document::Parse(std::make_shared<const std::string>(document.Serialize()));
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
