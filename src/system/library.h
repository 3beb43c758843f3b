#pragma once
// Shared libraries, their export tables, folder listings and threads: what
// the plug-in host needs from the system. No Qt or POSIX types leak out.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::platform {

// Opens a shared library by path (resolving every symbol at once, keeping
// them out of the global namespace). Null when the file is missing or is not
// a library this process can load. A path without a folder is taken relative
// to the working directory, never looked up in the system's library path.
void* openLibrary(const std::string& path);
// Another reference to an open library; the library stays mapped until every
// reference is closed. Null when the library is not open.
void* retainLibrary(void* library);
void closeLibrary(void* library);
// Address of an exported name, null when there is none.
void* librarySymbol(void* library, const std::string& name);
// The path the library was opened from.
std::string libraryPath(void* library);

// The names of the functions a library exports, in the order of its dynamic
// symbol table: defined symbols of type function, bound global or weak.
// Empty for anything that is not an ELF file with a dynamic symbol table.
std::vector<std::string> exportedFunctions(const std::string& path);
// The same for a file image held in memory.
std::vector<std::string> exportedFunctionsInImage(std::string_view image);

// The names in folder that match a shell pattern ("*.so"), in the order in
// which the file system returns them; names starting with "." only match a
// pattern that starts with ".". Empty when the folder cannot be read.
std::vector<std::string> listFolder(const std::string& folder, std::string_view pattern);

// Runs body on a new thread that nobody joins; false (body not run) when
// the system gives no thread.
bool startDetachedThread(std::function<void()> body);
// Hands job to the GUI thread, which runs it the next time it processes
// events; without a running desktop session it runs at once.
void runOnMainThread(std::function<void()> job);

}  // namespace kavel::platform
