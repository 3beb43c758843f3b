#pragma once
// One client per working folder. The first client started in a folder
// listens on a local socket named after that folder; a later start in the
// same folder tells it to come to the front and ends, instead of running a
// second client on the same settings, profiles and logs.

#include <string>

namespace kavel::platform {

// Claims the current working folder for this process. False when a client
// of the same user already runs there: it has been asked to bring `window`
// to the front, and this process should end. True otherwise; from then on
// a later start brings `window` of this process to the front.
bool claimWorkingFolder(int window);

// The socket a client in the current working folder listens on.
std::string workingFolderSocket();

}  // namespace kavel::platform
