/* Entry points under names a compiler or a careless author might produce. */
#include <kavel/plugin.h>
#include <stdio.h>

static char out[256];

static const char* with(const char* text, const char* mark) {
    snprintf(out, sizeof out, "%s%s", text, mark);
    return out;
}

/* Taken as ProcessTOut: the pattern in any case, with text around it. */
KAVEL_EXPORT const char* kv_myProcesstout_v2(KavelClientState* state, const char* text) {
    (void)state;
    return with(text, "+tout");
}

/* Contains SETUP and PROCESSRIN: PROCESSRIN is tried first. */
KAVEL_EXPORT const char* SetupProcessRIn(KavelClientState* state, const char* text) {
    (void)state;
    return with(text, "+rin");
}

/* Two exports for ProcessTCmd: the one later in the symbol table wins. */
KAVEL_EXPORT const char* first_PROCESSTCMD(KavelClientState* state, const char* text) {
    (void)state;
    return with(text, "first_PROCESSTCMD");
}
KAVEL_EXPORT const char* second_processTCmd(KavelClientState* state, const char* text) {
    (void)state;
    return with(text, "second_processTCmd");
}

/* Matches nothing. */
KAVEL_EXPORT int helper(void) {
    return 1;
}
