#pragma once

namespace kavel {

// The compiled-in block of interface texts followed by the credit lines,
// each text NUL-terminated, Windows-1252.
extern const char kTextBlock[];
extern const unsigned kTextBlockSize;
// This program's own texts (Own::), Windows-1252.
extern const char* const kOwnTexts[];

}  // namespace kavel
