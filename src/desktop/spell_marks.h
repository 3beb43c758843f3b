#pragma once
// Between the spell checker and the input lines it marks (platform only).

namespace kavel::platform {

// Every input line checks its words again (the switch or the word list
// changed).
void refreshSpellingMarks();

}  // namespace kavel::platform
