#pragma once
// The fixed window numbers; rooms and the code paster get theirs at run time.

namespace kavel::win {

inline constexpr int Main = 0;
inline constexpr int Options = 1;
inline constexpr int Profile = 2;
inline constexpr int UserInfo = 3;
inline constexpr int PluginManager = 4;
inline constexpr int About = 5;

}  // namespace kavel::win
