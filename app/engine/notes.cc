// What a run tells beyond its messages.
#include "app/engine/notes.h"

#include <cstdio>

namespace quillmar {

std::string Visible(std::string_view text) {
  std::string shown = "\"";
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      shown += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown + "\"";
}

std::string FaultDetail(const Outcome& outcome) {
  if (outcome.kind != Outcome::kWrongFormat) return {};
  std::string why;
  switch (outcome.fault.kind) {
    case FormatFault::kNone:
      return {};
    case FormatFault::kNoBreakAtEnd:
      why = "the file ends without a line break";
      break;
    case FormatFault::kCrAlone:
      why = "its lines end in CR alone, with no line feed";
      break;
    case FormatFault::kByte: {
      char byte[5];
      std::snprintf(byte, sizeof byte, "0x%02X", outcome.fault.byte);
      // A file in UTF-16 holds a NUL beside every letter, and often starts
      // with FF FE.
      why = outcome.fault.byte == 0 ? "a NUL byte: the file may be UTF-16 or not a settings file"
            : outcome.fault.byte == 0xFF ? std::string("the byte ") + byte +
                                               ": the file may be UTF-16 or not a settings file"
                                         : std::string("control byte ") + byte;
      break;
    }
  }
  return " (line " + std::to_string(outcome.line) + ": " + why + ")";
}

std::vector<std::string> Notes(const Tally& tally) {
  if (tally.lines == 0) return {"the file is empty."};
  std::vector<std::string> notes;
  if (tally.known_heads + tally.unknown_heads == 0) {
    notes.emplace_back(tally.starts_with_bom
                           ? "it starts with a byte order mark (the bytes EF BB BF), so its first "
                             "line was not read as a head type: the Xaar500 factor was used."
                           : "it names no head type: the Xaar500 factor was used.");
  }
  if (tally.unknown_heads > 0) {
    notes.push_back("its head type " + Visible(tally.unknown_name) +
                    " is not known: the Xaar500 factor was used.");
  }
  if (tally.first_family.has_value() && *tally.first_family != ScaleClass::Xaar500 &&
      tally.rescaled_before_head > 0) {
    uint64_t n = tally.rescaled_before_head;
    notes.push_back("line " + std::to_string(tally.first_head) + " names " + tally.first_name +
                    " after " + std::to_string(n) + (n == 1 ? " line" : " lines") +
                    " of group 4162, which " + (n == 1 ? "was" : "were") +
                    " converted with the Xaar500 factor.");
  }
  if (tally.changed() == 0) {
    notes.emplace_back("no line was changed: the file may have been converted already.");
  }
  return notes;
}

}  // namespace quillmar
