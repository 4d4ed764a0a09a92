// UTF-16 to UTF-8, with a lone surrogate kept apart from every character.
#include "app/windows/utf16.h"

namespace quillmar {

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    bool high = c >= 0xD800 && c < 0xDC00;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    auto byte = [&utf8](char32_t b) { utf8 += static_cast<char>(b); };
    if (c < 0x80) {
      byte(c);
    } else if (c < 0x800) {
      byte(0xC0 | c >> 6);
      byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      byte(0xE0 | c >> 12);
      byte(0x80 | (c >> 6 & 0x3F));
      byte(0x80 | (c & 0x3F));
    } else {
      byte(0xF0 | c >> 18);
      byte(0x80 | (c >> 12 & 0x3F));
      byte(0x80 | (c >> 6 & 0x3F));
      byte(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

#ifdef _WIN32
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::wstring_view arg(argv[i]);
    args.push_back(Utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
  }
  return args;
}
#endif

}  // namespace quillmar
