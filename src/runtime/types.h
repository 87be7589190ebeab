// Conventions shared by the whole program: 32-bit booleans and the "no limit" length.
#pragma once

#include <cstdint>

inline constexpr int32_t TRUE = -1;
inline constexpr int32_t FALSE = 0;
/// Length argument meaning "no limit".
inline constexpr int32_t ALL = -1;
