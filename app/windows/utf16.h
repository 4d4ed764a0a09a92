// The arguments of a Windows program, which Windows hands over as UTF-16,
// in UTF-8 as the rest of the program takes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

// Windows hands the arguments over as UTF-16: a path such as "Düsen.kvr"
// then arrives whole, whatever the code page. A name may also hold a
// surrogate without its pair, which NTFS allows: such a surrogate is
// written as three bytes as if it were a character, which no valid UTF-8
// holds, so that the name is shown and refused, never taken for another.
std::string Utf8FromUtf16(std::u16string_view text);

#ifdef _WIN32
// The arguments, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace quillmar
