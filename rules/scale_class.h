// The head family, which selects the factor that rescales key group 4162.
#pragma once

namespace quillmar {

enum class ScaleClass { Hp = 1, Xaar128 = 2, Xaar500 = 3 };

}  // namespace quillmar
