#pragma once
// A list with a column heading above its items.

#include <string_view>

namespace kavel::platform {

// A one-column list with single selection under the heading, its column
// columnWidth pixels wide. Otherwise an ordinary list: addItem, itemText,
// selectedItem and the rest work on it, and it reports LeftClick,
// DoubleClick and Change events like listBox. Returns the control number or
// -1. The heading is also the list's accessible name.
int headedList(int window, int id, int x, int y, int w, int h, std::string_view heading,
               int columnWidth);

}  // namespace kavel::platform
