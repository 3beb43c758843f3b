/* A plug-in that faults in its entry points, for the crash handler's tests.
 * It offers the outgoing-text entry and the settings entry only. */
#include <kavel/plugin.h>

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* state, const char* text) {
    (void)state;
    volatile char first = text[0]; /* FAULT: plugin */
    return first ? text : "";
}

KAVEL_EXPORT uint32_t Setup(KavelClientState* state) {
    volatile int* volatile nowhere = 0;
    *nowhere = state ? 1 : 0; /* FAULT: setup */
    return 0;
}
