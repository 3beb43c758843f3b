#pragma once
// The chat view as screen readers see it.

namespace kavel::platform {

// Lets screen readers read chat views; the views call it themselves.
void installChatLogAccessibility();

}  // namespace kavel::platform
