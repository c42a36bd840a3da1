// What the relay server's source files share and nobody else needs.
#pragma once

#include <cstdint>

#include "relay/login_limits.h"

namespace relay_parts {

// How long a last answer may take to leave before its connection is closed anyway.
constexpr uint64_t CLOSING_GRACE_MS = 5000;

inline const char* side_name(LoginSide side) { return side == LoginSide::TOOL ? "tool" : "operator"; }

}  // namespace relay_parts
