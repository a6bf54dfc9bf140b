#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/IniStore.h"
#include "platform/Text.h"
#include "standard/Handler.h"
#include "standard/StandardModule.h"

namespace horavex {
namespace {

constexpr size_t kBufferSize = 255;
const std::string kBlankDefault(255, ' ');

std::string NotFoundNotice(const std::string& file, const std::string& section,
                           const std::string& entry) {
  return "File '" + file + "' or Section [" + section + "] or Entry '" + entry + "' not found";
}

// The shortest text that reads back as the same value of its own precision, with "." whatever
// the locale and an upper-case exponent, as the platform writes numbers (1E+20).
template <class T>
std::string FloatText(T value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string s(buffer, error == std::errc() ? end : buffer);
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  return s;
}

}  // namespace

std::string StandardModule::LoadIniString(const std::string& section, const std::string& entry,
                                          const std::string& file, bool reportMissing) {
  Handler h(*this, "LoadIniString");
  std::string result;
  h.step([&] {
    std::string value = services_.ini.GetString(section, entry, kBlankDefault, kBufferSize, file);
    if (value.empty() && reportMissing) ShowMessage(NotFoundNotice(file, section, entry));
    result = value;
  });
  return result;
}

int16_t StandardModule::LoadIniInteger(const std::string& section, const std::string& entry,
                                       const std::string& file, bool reportMissing) {
  Handler h(*this, "LoadIniInteger");
  int16_t result = 0;
  h.step([&] {
    int32_t value = static_cast<int32_t>(services_.ini.GetInt(section, entry, -1, file));
    if (value < -32768 || value > 32767) throw RuntimeFailure(kOverflow);
    if (value == -1 && reportMissing) ShowMessage(NotFoundNotice(file, section, entry));
    result = static_cast<int16_t>(value);
  });
  return result;
}

bool StandardModule::LoadIniBoolean(const std::string& section, const std::string& entry,
                                    const std::string& file, bool reportMissing) {
  Handler h(*this, "LoadIniBoolean");
  bool result = false;
  h.step([&] {
    std::string value =
        text::Upper(services_.ini.GetString(section, entry, kBlankDefault, kBufferSize, file));
    if ((value.empty() || (value != "TRUE" && value != "FALSE")) && reportMissing) {
      ShowMessage(NotFoundNotice(file, section, entry));
    }
    result = value == "TRUE";
  });
  return result;
}

int16_t StandardModule::SaveIni(const IniValue& value, const std::string& section,
                                const std::string& entry, const std::string& file) {
  Handler h(*this, "SaveIni");
  int16_t result = 0;
  h.step([&] {
    std::optional<std::string> textValue = std::visit(
        [](const auto& v) -> std::optional<std::string> {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::string>)
            return v;
          else if constexpr (std::is_same_v<T, bool>)
            return v ? "true" : "false";
          else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
            return FloatText(v);
          else if constexpr (std::is_same_v<T, NoValue>)
            return std::nullopt;
          else
            return text::Decimal(static_cast<long long>(v));
        },
        value);
    if (!textValue) {
      // Another kind of value is refused; the stored entry stays as it is.
      ShowMessage("Ini Save:  wrong data type");
      return;
    }
    result = services_.ini.WriteString(section, entry, *textValue, file) ? 1 : 0;
  });
  return result;
}

}  // namespace horavex
