// Stands in for the Windows C runtime's atoi.
// Promises its reading of a number typed into a field: leading white space,
// a sign and digits, and on overflow the largest (or smallest) int.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

int32_t Atoi(std::string_view text);

}  // namespace platform
