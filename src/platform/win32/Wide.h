#pragma once

#include <string>
#include <string_view>

// The program's UTF-8 text and the UTF-16 of Windows' wide-character functions.
namespace horavex::win32 {

std::wstring ToWide(std::string_view utf8);
std::string FromWide(std::wstring_view utf16);

}  // namespace horavex::win32
