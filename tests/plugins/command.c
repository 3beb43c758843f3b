/* Asks for a turn when the user sends "/ask" and then adds COMMAND (with
   APPEND, after the text it is given; without, as the whole text). */
#include <kavel/plugin.h>
#include <stdio.h>

#ifndef COMMAND
#error "COMMAND must be given"
#endif

static char out[256];

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* state, const char* text) {
    if (text[0] == '/' && text[1] == 'a' && text[2] == 's' && text[3] == 'k' && !text[4])
        kavel_request_command(state);
    return text;
}

KAVEL_EXPORT const char* ProcessTCmd(KavelClientState* state, const char* text) {
    (void)state;
#ifdef APPEND
    snprintf(out, sizeof out, "%s%s", text, COMMAND);
#else
    (void)text;
    snprintf(out, sizeof out, "%s", COMMAND);
#endif
    return out;
}
