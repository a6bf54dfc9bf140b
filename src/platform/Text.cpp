#include "platform/Text.h"

#include <algorithm>
#include <array>

namespace horavex::text {
namespace {

// Code points of the Windows-1252 bytes 0x80 to 0x9F; 0 marks an unassigned byte.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t ByteToChar(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) {
    char32_t c = kHighControls[b - 0x80];
    return c != 0 ? c : char32_t(b);  // unassigned bytes map to the C1 control, as Windows does
  }
  return char32_t(b);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u32string ToU32(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80           ? 0
                : (b >> 5) == 0x6  ? 1
                : (b >> 4) == 0xE  ? 2
                : (b >> 3) == 0x1E ? 3
                                   : -1;
    if (extra < 0 || i + extra >= s.size()) {
      // Invalid or truncated sequence: keep the byte as its Windows-1252 character.
      out += ByteToChar(b);
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char cont = static_cast<unsigned char>(s[i + k]);
      if ((cont & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (cont & 0x3F);
    }
    if (!ok) {
      out += ByteToChar(b);
      ++i;
      continue;
    }
    out += c;
    i += extra + 1;
  }
  return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u32string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    return char16_t(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                               << 8);
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      char16_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out += char32_t(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    out += (u >= 0xD800 && u <= 0xDFFF) ? char32_t(0xFFFD) : char32_t(u);
  }
  if (i < bytes.size()) out += char32_t(0xFFFD);
  return FromU32(out);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&](char32_t u) {
    out += char(u & 0xFF);
    out += char((u >> 8) & 0xFF);
  };
  for (char32_t c : ToU32(utf8)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return true;
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra = (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || bytes.size() - i <= size_t(extra)) return false;
    char32_t c = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char cont = static_cast<unsigned char>(bytes[i + k]);
      if ((cont & 0xC0) != 0x80) return false;
      c = (c << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += size_t(extra) + 1;
  }
  return true;
}

std::string FromU32(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(out, c);
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (char b : bytes) AppendUtf8(out, ByteToChar(static_cast<unsigned char>(b)));
  return out;
}

unsigned char Cp1252Code(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  // Only the five unassigned bytes stand for themselves.
  if (c >= 0x80 && c <= 0x9F && kHighControls[c - 0x80] == 0) return static_cast<unsigned char>(c);
  return '?';
}

std::string Utf8ToCp1252(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);  // the same bytes in both
  std::string out;
  out.reserve(utf8.size());
  for (char32_t c : ToU32(utf8)) out += static_cast<char>(Cp1252Code(c));
  return out;
}

char32_t UpperChar(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0x0161:
      return 0x0160;  // š
    case 0x0153:
      return 0x0152;  // œ
    case 0x017E:
      return 0x017D;  // ž
    case 0x00FF:
      return 0x0178;  // ÿ
    default:
      return c;
  }
}

std::string Upper(std::string_view utf8) {
  std::string upper;
  AppendUpper(upper, utf8);
  return upper;
}

void AppendUpper(std::string& out, std::string_view utf8) {
  if (IsAscii(utf8)) {
    size_t at = out.size();
    out.append(utf8);
    AsciiUpperInPlace(out.data() + at, utf8.size());
    return;
  }
  std::u32string t = ToU32(utf8);
  for (char32_t& c : t) c = UpperChar(c);
  out += FromU32(t);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return Upper(a) == Upper(b);
}

size_t Length(std::string_view utf8) {
  return IsAscii(utf8) ? utf8.size() : ToU32(utf8).size();
}

std::string Left(std::string_view utf8, size_t n) {
  std::u32string t = ToU32(utf8);
  if (n < t.size()) t.resize(n);
  return FromU32(t);
}

std::string Right(std::string_view utf8, size_t n) {
  std::u32string t = ToU32(utf8);
  if (n < t.size()) t.erase(0, t.size() - n);
  return FromU32(t);
}

std::string TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::string Decimal(long long value) {
  return std::to_string(value);
}

}  // namespace horavex::text
