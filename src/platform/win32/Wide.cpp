#include "platform/win32/Wide.h"

#include "platform/Text.h"

namespace horavex::win32 {

// Through the program's own conversions, so that ill-formed text reads the same as everywhere
// else in the program.
std::wstring ToWide(std::string_view utf8) {
  std::string bytes = text::Utf8ToUtf16Le(utf8);
  std::wstring wide(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = wchar_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  }
  return wide;
}

std::string FromWide(std::wstring_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (wchar_t c : utf16) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8 & 0xFF));
  }
  return text::Utf16LeToUtf8(bytes);
}

}  // namespace horavex::win32
