// TEMPORARY: removed when IniStore.cpp lands.
#include <sstream>
#include <vector>
#include "platform/IniStore.h"
#include "platform/Text.h"
namespace horavex {
ProfileIniStore::ProfileIniStore(FileSystem& files) : files_(files) {}
static std::string Trim(std::string s) { auto b = s.find_first_not_of(" \t\r\n"); if (b == std::string::npos) return ""; auto e = s.find_last_not_of(" \t\r\n"); return s.substr(b, e - b + 1); }
std::string ProfileIniStore::GetString(const std::string& section, const std::string& entry, const std::string& def, size_t buf, const std::string& file) const {
  auto content = files_.ReadAll(file);
  std::string d = def; while (!d.empty() && d.back() == ' ') d.pop_back();
  if (!content) return d;
  std::istringstream in(text::Cp1252ToUtf8(*content)); std::string line; bool in_sec = false;
  while (std::getline(in, line)) { line = Trim(line);
    if (!line.empty() && line[0] == '[') { in_sec = text::EqualsNoCase(Trim(line.substr(1, line.rfind(']') - 1)), section); continue; }
    auto eq = line.find('='); if (in_sec && eq != std::string::npos && text::EqualsNoCase(Trim(line.substr(0, eq)), entry)) return text::Left(Trim(line.substr(eq + 1)), buf - 1); }
  return d;
}
uint32_t ProfileIniStore::GetInt(const std::string& s, const std::string& e, int32_t def, const std::string& f) const {
  std::string v = GetString(s, e, "", 30, f); if (v.empty()) return uint32_t(def); return uint32_t(std::strtoll(v.c_str(), nullptr, 0)); }
bool ProfileIniStore::WriteString(const std::string& section, const std::string& entry, const std::string& value, const std::string& file) {
  auto content = files_.ReadAll(file); std::string c = content ? text::Cp1252ToUtf8(*content) : "";
  std::vector<std::string> lines; std::istringstream in(c); std::string line; while (std::getline(in, line)) { if (!line.empty() && line.back() == '\r') line.pop_back(); lines.push_back(line); }
  int secAt = -1, lastInSec = -1; bool in_sec = false;
  for (int i = 0; i < (int)lines.size(); ++i) { std::string t = Trim(lines[i]);
    if (!t.empty() && t[0] == '[') { if (in_sec) break; in_sec = text::EqualsNoCase(Trim(t.substr(1, t.rfind(']') - 1)), section); if (in_sec) { secAt = i; lastInSec = i; } continue; }
    if (in_sec) { auto eq = t.find('='); if (eq != std::string::npos && text::EqualsNoCase(Trim(t.substr(0, eq)), entry)) { lines[i] = Trim(t.substr(0, eq)) + "=" + value; goto done; } if (!t.empty()) lastInSec = i; } }
  if (secAt < 0) { lines.push_back("[" + section + "]"); lines.push_back(entry + "=" + value); } else lines.insert(lines.begin() + lastInSec + 1, entry + "=" + value);
done:
  std::string out; for (auto& l : lines) out += l + "\r\n"; return files_.ReplaceAll(file, text::Utf8ToCp1252(out));
}
}
