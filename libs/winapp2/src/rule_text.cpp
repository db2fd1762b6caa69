#include "winapp2/rule_text.h"

#include "common/embedded.h"

VX_EMBEDDED(vx_builtin_winapp2)

namespace vx::winapp2 {

std::string_view builtin_rule_text() noexcept { return embedded_bytes(vx_builtin_winapp2, vx_builtin_winapp2_size); }

}  // namespace vx::winapp2
