#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/Failure.h"
#include "platform/FileSystem.h"

namespace horavex {

// The ini services the program relies on, with the semantics of the Windows profile API.
class IniStore {
 public:
  virtual ~IniStore() = default;
  // As GetPrivateProfileString with section and entry given: the value without surrounding
  // whitespace (and one pair of matching surrounding quotes removed), at most bufferSize-1
  // CHARACTERS; when section/entry/file is missing: the default with trailing blanks removed
  // (also cut to bufferSize-1). Strings are UTF-8; files are Windows-1252 on disk.
  virtual std::string GetString(const std::string& section, const std::string& entry,
                                const std::string& defaultValue, size_t bufferSize,
                                const std::string& file) const = 0;
  // As GetPrivateProfileInt: UINT result (two's complement for negatives, wraps modulo 2^32,
  // base-0 parsing with 0x/0o/0b prefixes, stops at first invalid digit, non-numeric = 0,
  // missing entry or empty value = the default).
  virtual uint32_t GetInt(const std::string& section, const std::string& entry,
                          int32_t defaultValue, const std::string& file) const = 0;
  // As WritePrivateProfileString with a value: returns true on success, false (file unchanged)
  // on a missing folder, read-only file/folder, a folder where the file should be, empty path.
  virtual bool WriteString(const std::string& section, const std::string& entry,
                           const std::string& value, const std::string& file) = 0;

  // Fails as a read does when the file is there but cannot be read (70, 75, 57); a missing
  // file passes. For callers that must not take such a file for an empty one.
  virtual void CheckReadable(const std::string& file) const = 0;

  // Groups the writes up to the matching EndGroup: each file is then replaced once, with the
  // content the single writes would have produced one after the other, so it is always the old
  // or the new file. Reads in between see the pending values. Groups nest; the outermost
  // EndGroup writes, and answers false when a file of the group could not be written (that
  // file is then unchanged).
  virtual void BeginGroup() = 0;
  virtual bool EndGroup() = 0;
};

// Writes of one procedure into the ini files, grouped until End or the end of the scope.
class IniWriteGroup {
 public:
  explicit IniWriteGroup(IniStore& store) : store_(&store) { store.BeginGroup(); }
  ~IniWriteGroup() { End(); }
  IniWriteGroup(const IniWriteGroup&) = delete;
  IniWriteGroup& operator=(const IniWriteGroup&) = delete;
  // Writes the group; false when a file could not be written.
  bool End() {
    if (store_ == nullptr) return true;
    IniStore* store = store_;
    store_ = nullptr;
    return store->EndGroup();
  }

 private:
  IniStore* store_;
};

// Works on real files through a FileSystem (paths resolved by it: case-insensitive, drive letters).
//
// How a file is read (the bytes on disk are Windows-1252, or UTF-16LE after the byte-order mark
// FF FE, kept so when written; a UTF-16LE file keeps every character):
// - Every read goes to the file: a parsed view of it is reused only while its stamp (file,
//   size, last-write time) is unchanged, so each lookup costs the same however many came before.
// - Lines end at CR LF, a lone LF or a lone CR; there is no line-length limit, NUL bytes and
//   any other bytes are ordinary characters. A UTF-8 BOM is not recognised (as on Windows):
//   its three bytes belong to the first line.
// - Whitespace is TAB, VT, FF, ^Z (0x1A) and space. Every line is trimmed at both ends.
// - A trimmed line starting with "[" that holds a "]" is a section header; the name is the
//   trimmed text between the "[" and the LAST "]", text after that "]" is ignored. A "[" without
//   "]" is an ordinary line of the current section.
// - A trimmed line starting with ";" is a comment and never matches an entry.
// - Any other non-blank line of a section is an entry: the name is the text before the first
//   "=", the value the text after it, both trimmed. A line without "=" is an entry without a
//   value: it reads as missing (the default), and a write gives it "=" and the value.
// - Lines before the first section header belong to no section and are never matched.
// - Names match without regard to case over the Windows-1252 letters (text::EqualsNoCase); the
//   caller's names are trimmed. The first matching section and, in it, the first matching
//   entry win, for reading and writing; later duplicates are never looked at.
// - The caller's names and values are handed over as the ANSI functions see them: cut at a
//   NUL character and converted to Windows-1252 ("?" for a character it lacks), so a name
//   written with such a character is found again by the same name. The default of GetString
//   never touches a file and comes back in the caller's own characters (trimmed, cut).
// - GetInt parses the whole value (no 29-character cut as in Wine); the prefixes are lower
//   case only, as RtlUnicodeStringToInteger takes them ("0X10" is 0).
//
// How a file is written (the whole new content goes through FileSystem::ReplaceAll, so the
// file is always either the old or the new one; every byte not named here stays as it was):
// - An existing entry: only the bytes of the old value (from its first to its last non-blank
//   character, quotes included) are replaced by the new value. The line's prefix (leading
//   blanks, the stored spelling of the name, the blanks before "=", "=" and the blanks after
//   it) and the line's trailing blanks and line break stay. An entry without "=" gets "=" and the
//   value right after its name.
// - A missing entry: a line "name=value" (the caller's trimmed spelling) is inserted after the
//   last entry line of the first matching section, or right after its header when it has
//   none. Trailing blank lines and trailing comment lines of the section stay after the new
//   line, because such comments usually introduce what follows. When that last line has no
//   line break (end of the file), one is added before the new line.
// - A missing section: "[Section]", then "name=value", each with a line break, appended at the
//   end of the file with no blank line before it; a line break is added first when the file
//   does not end with one. A missing file is created this way (its folder must exist).
// - New line breaks follow the file's first line break (CR LF, LF or CR); CR LF when it has
//   none. A file that holds only the byte-order mark FF FE stays UTF-16LE.
// - The value is written as given (no trimming, no quotes), as the profile API does; a line
//   break inside it (or inside a name) therefore starts a new line, and the reads that follow,
//   also those of an open group, see the lines the file then holds.
// - When the new content equals the old one, nothing is written and the call succeeds.
// - A file that exists but cannot be read is never replaced: the call fails.
// - A file (or folder) that is there but cannot be read fails the first read of it with the
//   failure that names why; later reads of it, unchanged, give the defaults, so a caller that
//   reads many entries reports it once. CheckReadable fails every time.
class ProfileIniStore : public IniStore {
 public:
  explicit ProfileIniStore(FileSystem& files);

  std::string GetString(const std::string& section, const std::string& entry,
                        const std::string& defaultValue, size_t bufferSize,
                        const std::string& file) const override;
  uint32_t GetInt(const std::string& section, const std::string& entry, int32_t defaultValue,
                  const std::string& file) const override;
  bool WriteString(const std::string& section, const std::string& entry, const std::string& value,
                   const std::string& file) override;
  void CheckReadable(const std::string& file) const override;
  void BeginGroup() override;
  bool EndGroup() override;

  struct Document;

 private:
  // A file as the store knows it: parsed with the content it was parsed from, or nothing when
  // no file is there; with the failure of its read when one is there that cannot be read.
  struct View {
    std::shared_ptr<Document> document;
    std::shared_ptr<const std::string> content;  // the file's bytes, shared with the document
    std::optional<Failure> failure;
    bool existed = false;  // content is what the file holds
  };
  View& Load(const std::string& file) const;
  bool Replace(const std::string& path, View& view) const;

  FileSystem& files_;
  // A view with the stamp of the file it was read from, and when it was read.
  struct Cached {
    FileStamp stamp;
    int64_t readAt = 0;  // nanoseconds, on the clock of the file times
    View view;
  };
  // By host path: the views read while the files were unchanged, and those of the open group.
  mutable std::unordered_map<std::string, Cached> cache_;
  mutable std::map<std::string, View> pending_;
  mutable std::unordered_map<std::string, std::string> pendingNames_;  // as named -> host path
  int groupDepth_ = 0;
};

}  // namespace horavex
