/* Every text entry point answers NULL; counts how often ProcessRCmd runs. */
#include <kavel/plugin.h>

KAVEL_EXPORT int nulls_rcmd_calls;

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* state, const char* text) {
    (void)state;
    (void)text;
    return 0;
}
KAVEL_EXPORT const char* ProcessRIn(KavelClientState* state, const char* text) {
    (void)state;
    (void)text;
    return 0;
}
KAVEL_EXPORT const char* ProcessTCmd(KavelClientState* state, const char* text) {
    (void)state;
    (void)text;
    return 0;
}
KAVEL_EXPORT const char* ProcessRCmd(KavelClientState* state, const char* data) {
    (void)state;
    (void)data;
    ++nulls_rcmd_calls;
    return 0;
}
