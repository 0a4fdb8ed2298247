#include "base/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace ternova {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char* PutUtf8(char* out, char32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, PutUtf8(bytes, cp));
}

// The length of the valid UTF-8 sequence that starts at `p`; 0 when none does. Overlong forms,
// surrogates and values past U+10FFFF are not UTF-8.
size_t ValidSequence(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
  else return 0;
  if (static_cast<size_t>(end - p) <= n) return 0;
  for (size_t k = 1; k <= n; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n + 1;
}

bool IsAscii(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

const char* IconvName(CodePage page) { return page == CodePage::ShiftJis ? "CP932" : "CP1252"; }

// One conversion descriptor per direction and page, opened on first use and kept for the
// thread: opening one costs far more than converting a cell.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Handle() {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // fresh shift state for every call
    return cd_;
  }

 private:
  iconv_t cd_;
};

Converter& ConverterFor(std::string_view to, std::string_view from) {
  // A thread meets one or two pages in its life: a short list, searched in order.
  struct Open {
    std::string to, from;
    std::unique_ptr<Converter> converter;
  };
  thread_local std::vector<Open> open;
  for (Open& o : open)
    if (o.to == to && o.from == from) return *o.converter;
  Open& o = open.emplace_back(Open{std::string(to), std::string(from), nullptr});
  o.converter = std::make_unique<Converter>(o.to.c_str(), o.from.c_str());
  return *o.converter;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    // Plain ASCII in steps of 32, then eight: most data files are digits and TABs.
    while (end - p >= 32) {
      uint64_t words[4];
      std::memcpy(words, p, 32);
      if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) break;
      p += 32;
    }
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080ull) break;
      p += 8;
    }
    if (p >= end) break;
    const size_t n = ValidSequence(p, end);
    if (n == 0) return false;
    p += n;
  }
  return true;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    char32_t cp = n == 1 ? lead : n == 2 ? (lead & 0x1F) : n == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool ok = n != 0 && i + n <= utf8.size();
    for (size_t k = 1; ok && k < n; ++k) {
      const auto c = static_cast<unsigned char>(utf8[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok || cp > 0x10FFFF) {
      out.push_back(u'\uFFFD');
      i += 1;
      continue;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); i += CharacterUnits(utf16, i)) {
    char32_t cp = utf16[i];
    if (CharacterUnits(utf16, i) == 2)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
    else if (IsHighSurrogate(cp) || IsLowSurrogate(cp))
      cp = 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

size_t CharacterUnits(std::u16string_view text, size_t i) {
  return IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
}

Utf16Conversion Utf8FromUtf16Bytes(std::string_view bytes, ByteOrder order, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  const int high = order == ByteOrder::LittleEndian ? 1 : 0;
  auto unit = [&](size_t i) { return static_cast<char16_t>(p[i + high] << 8 | p[i + 1 - high]); };
  Utf16Conversion result;
  char* o = out;
  size_t i = 0;
  while (i + 1 < n) {
    const char16_t u = unit(i);
    if (u < 0x80) {  // most of a data file: digits, points, TABs and line ends
      *o++ = static_cast<char>(u);
      i += 2;
      continue;
    }
    if (!IsHighSurrogate(u) && !IsLowSurrogate(u)) {
      o = PutUtf8(o, u);
      i += 2;
      continue;
    }
    if (IsHighSurrogate(u) && i + 4 <= n && IsLowSurrogate(unit(i + 2))) {
      o = PutUtf8(o, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (unit(i + 2) - 0xDC00));
      i += 4;
      continue;
    }
    if (IsHighSurrogate(u) && i + 3 == n) break;  // its partner is cut off with the text
    result.stop = Utf16Conversion::Stop::UnpairedSurrogate;
    result.surrogate = u;
    break;
  }
  if (result.stop == Utf16Conversion::Stop::End && i < n) result.stop = Utf16Conversion::Stop::OddByte;
  result.read = i;
  result.written = static_cast<size_t>(o - out);
  return result;
}

size_t ReplacedUtf8Size(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  size_t size = 0;
  while (p < end) {
    const size_t n = ValidSequence(p, end);
    size += n ? n : kReplacementUtf8.size();
    p += n ? n : 1;
  }
  return size;
}

void ReplaceInvalidUtf8(std::string_view bytes, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const size_t n = ValidSequence(p, end);
    if (n) std::memcpy(out, p, n);
    else std::memcpy(out, kReplacementUtf8.data(), kReplacementUtf8.size());
    out += n ? n : kReplacementUtf8.size();
    p += n ? n : 1;
  }
}

std::string Utf8FromCodePage(std::string_view bytes, CodePage page) { return Utf8FromCodePage(bytes, IconvName(page)); }

std::string Utf8FromCodePage(std::string_view bytes, std::string_view page) {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  Converter& converter = ConverterFor("UTF-8", page);
  if (!converter.Ok()) {
    for (char c : bytes)
      if (static_cast<unsigned char>(c) < 0x80) out += c;
      else out += kReplacementUtf8;
    return out;
  }
  iconv_t cd = converter.Handle();
  std::string in(bytes);
  char* src = in.data();
  size_t srcLeft = in.size();
  // The 8-bit pages hold only characters of the basic plane: mostly no more than 3 bytes of
  // UTF-8 per byte, and the buffer grows for a page that gives more.
  out.resize(in.size() * 3 + 8);
  char* dst = out.data();
  size_t dstLeft = out.size();
  while (srcLeft > 0) {
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG || dstLeft < kReplacementUtf8.size()) {
      const size_t used = out.size() - dstLeft;
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dstLeft = out.size() - used;
      continue;
    }
    // An undecodable or cut-off byte: a replacement, then on with the next byte.
    std::memcpy(dst, kReplacementUtf8.data(), kReplacementUtf8.size());
    dst += kReplacementUtf8.size();
    dstLeft -= kReplacementUtf8.size();
    ++src;
    --srcLeft;
  }
  out.resize(out.size() - dstLeft);
  return out;
}

std::u16string Utf16FromCodePage(std::string_view bytes, CodePage page) {
  return Utf16FromUtf8(Utf8FromCodePage(bytes, page));
}

std::string CodePageChar(std::u16string_view character, CodePage page) {
  std::string in = Utf8FromUtf16(character);
  if (IsAscii(in)) return in;
  Converter& converter = ConverterFor(IconvName(page), "UTF-8");
  if (!converter.Ok()) return {};
  iconv_t cd = converter.Handle();
  char out[8];
  char* src = in.data();
  char* dst = out;
  size_t srcLeft = in.size(), dstLeft = sizeof out;
  if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return {};
  return std::string(out, dst);
}

namespace {

// Windows' 8-bit page for a language, as a system in that language reads plain text files.
const char* PageOfLanguage(std::string_view language, std::string_view territory) {
  static constexpr struct {
    const char* page;
    std::string_view languages[12];
  } pages[] = {
      {"CP932", {"ja"}},
      {"CP1250", {"cs", "hu", "pl", "ro", "hr", "sk", "sl", "sq", "bs"}},
      {"CP1251", {"ru", "uk", "be", "bg", "mk", "sr", "kk", "ky", "tt", "mn"}},
      {"CP1253", {"el"}},
      {"CP1254", {"tr", "az"}},
      {"CP1255", {"he", "yi"}},
      {"CP1256", {"ar", "fa", "ur"}},
      {"CP1257", {"et", "lv", "lt"}},
      {"CP1258", {"vi"}},
      {"CP874", {"th"}},
      {"CP949", {"ko"}},
  };
  if (language == "zh") return territory == "TW" || territory == "HK" || territory == "MO" ? "CP950" : "CP936";
  for (const auto& p : pages)
    for (std::string_view l : p.languages)
      if (!l.empty() && l == language) return p.page;
  return "CP1252";
}

bool IsUtf8Name(std::string_view codeset) {
  std::string folded;
  for (char c : codeset)
    if (c != '-' && c != '_') folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return folded == "utf8";
}

}  // namespace

std::string CodePageOfLocale(std::string_view locale) {
  // language[_TERRITORY][.codeset][@modifier]
  if (const size_t at = locale.find('@'); at != std::string_view::npos) locale = locale.substr(0, at);
  std::string_view codeset;
  if (const size_t dot = locale.find('.'); dot != std::string_view::npos) {
    codeset = locale.substr(dot + 1);
    locale = locale.substr(0, dot);
  }
  // No language set: the program speaks Japanese, and reads as a Japanese system does.
  if (locale.empty() || locale == "C" || locale == "POSIX") return "CP932";
  // A locale that names its own 8-bit page reads in that page, where the system knows it.
  if (!codeset.empty() && !IsUtf8Name(codeset)) {
    const std::string page(codeset);
    const iconv_t cd = iconv_open("UTF-8", page.c_str());
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      iconv_close(cd);
      return page;
    }
  }
  const size_t underscore = locale.find('_');
  const std::string_view language = locale.substr(0, underscore);
  const std::string_view territory = underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);
  return PageOfLanguage(language, territory);
}

const std::string& SystemCodePage() {
  static const std::string page = [] {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
      if (const char* value = std::getenv(name); value && *value) return CodePageOfLocale(value);
    return CodePageOfLocale("");
  }();
  return page;
}

}  // namespace ternova
