#pragma once
// The user information window's numbers.

namespace kavel::userinfo {

inline constexpr int Window = 3;
inline constexpr int Text = 58;
inline constexpr int Close = 59;

}  // namespace kavel::userinfo
