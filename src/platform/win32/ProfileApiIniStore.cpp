#include "platform/win32/ProfileApiIniStore.h"

#include <windows.h>

#include <vector>

#include "platform/Text.h"

namespace horavex {
namespace {

// What the ANSI functions receive: the text up to a NUL character, in Windows-1252.
std::string Ansi(const std::string& utf8) {
  return text::Utf8ToCp1252(utf8.substr(0, utf8.find('\0')));
}

}  // namespace

std::string ProfileApiIniStore::GetString(const std::string& section, const std::string& entry,
                                          const std::string& defaultValue, size_t bufferSize,
                                          const std::string& file) const {
  if (bufferSize == 0) return std::string();
  std::vector<char> buffer(bufferSize, '\0');
  DWORD n = ::GetPrivateProfileStringA(Ansi(section).c_str(), Ansi(entry).c_str(),
                                       Ansi(defaultValue).c_str(), buffer.data(), DWORD(bufferSize),
                                       Ansi(files_.Resolve(file)).c_str());
  return text::Cp1252ToUtf8(std::string_view(buffer.data(), n));
}

uint32_t ProfileApiIniStore::GetInt(const std::string& section, const std::string& entry,
                                    int32_t defaultValue, const std::string& file) const {
  return ::GetPrivateProfileIntA(Ansi(section).c_str(), Ansi(entry).c_str(), defaultValue,
                                 Ansi(files_.Resolve(file)).c_str());
}

bool ProfileApiIniStore::WriteString(const std::string& section, const std::string& entry,
                                     const std::string& value, const std::string& file) {
  bool written = !file.empty() && ::WritePrivateProfileStringA(
                                      Ansi(section).c_str(), Ansi(entry).c_str(),
                                      Ansi(value).c_str(), Ansi(files_.Resolve(file)).c_str());
  if (!written) groupWritten_ = false;
  return written;
}

void ProfileApiIniStore::CheckReadable(const std::string& file) const {
  // The profile API reads a file it cannot open as an empty one; the read shows the difference.
  if (!file.empty()) files_.ReadAll(file);
}

void ProfileApiIniStore::BeginGroup() {
  if (groupDepth_++ == 0) groupWritten_ = true;
}

bool ProfileApiIniStore::EndGroup() {
  return --groupDepth_ > 0 || groupWritten_;
}

}  // namespace horavex
