// The tally of a conversion made of pieces, added up in file order.
#include "app/engine/outcome.h"

namespace quillmar {

Tally& Tally::operator+=(const Tally& more) {
  // What comes first in the file is told by the first tally that has it.
  if (known_heads + unknown_heads == 0 && more.first_head != 0) {
    first_head = lines + more.first_head;
    rescaled_before_head = rescaled + more.rescaled_before_head;
    first_family = more.first_family;
    first_name = more.first_name;
  }
  if (unknown_heads == 0) unknown_name = more.unknown_name;
  if (lines == 0) starts_with_bom = more.starts_with_bom;
  lines += more.lines;
  rescaled += more.rescaled;
  replaced += more.replaced;
  known_heads += more.known_heads;
  unknown_heads += more.unknown_heads;
  return *this;
}

}  // namespace quillmar
