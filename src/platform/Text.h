#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

// Text inside the program is UTF-8; files of the ANSI code page are Windows-1252 on disk.
// Counting and case rules work on characters (code points), not bytes.
namespace horavex::text {

std::u32string ToU32(std::string_view utf8);
std::string FromU32(std::u32string_view text);

// Whether the bytes are well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// UTF-16LE bytes (without a byte-order mark) to UTF-8 and back; an unpaired surrogate or a
// trailing odd byte reads as U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view utf8);
// Windows-1252 bytes to UTF-8; every byte maps to one character.
std::string Cp1252ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252 bytes; a character that Windows-1252 lacks becomes "?".
std::string Utf8ToCp1252(std::string_view utf8);
// The Windows-1252 code of one character, or '?' when it has none.
unsigned char Cp1252Code(char32_t c);

// Whether every byte is ASCII: such a text is the same in UTF-8 and Windows-1252, and its
// upper case is AsciiUpper of each byte.
inline bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}
inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline void AsciiUpperInPlace(char* text, size_t size) {
  std::transform(text, text + size, text, AsciiUpper);
}

// Upper-casing over the letters of Windows-1252 (ä -> Ä), as the ANSI functions do.
char32_t UpperChar(char32_t c);
std::string Upper(std::string_view utf8);
// Upper of the text, appended to out (reused from text to text without new memory).
void AppendUpper(std::string& out, std::string_view utf8);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Number of characters of a UTF-8 text.
size_t Length(std::string_view utf8);
// The first / last n characters (all of them when n exceeds the length).
std::string Left(std::string_view utf8, size_t n);
std::string Right(std::string_view utf8, size_t n);

// Removes leading and trailing blanks (spaces only, as VB's Trim).
std::string TrimBlanks(std::string_view s);

// The decimal text of a number, "-" before a negative one, no blanks.
std::string Decimal(long long value);

}  // namespace horavex::text
