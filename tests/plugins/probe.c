/* A plug-in with every entry point that appends its TAG to each text, so a
   test reads the order of the chain from the result. Built as tp_a and
   tp_b. */
#include <kavel/plugin.h>
#include <stdlib.h>
#include <string.h>

#ifndef TAG
#error "TAG must name the plug-in"
#endif

/* Data, not functions: names containing a pattern must not count. */
KAVEL_EXPORT int probe_setup_calls;
KAVEL_EXPORT KavelClientState* probe_setup_state;

static char* buffers[4];

static const char* tagged(int which, const char* text) {
    const size_t length = strlen(text);
    char* grown = realloc(buffers[which], length + sizeof TAG);
    if (!grown) return NULL;
    buffers[which] = grown;
    memcpy(grown, text, length);
    memcpy(grown + length, TAG, sizeof TAG);
    return grown;
}

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* state, const char* text) {
    (void)state;
    return tagged(0, text);
}
KAVEL_EXPORT const char* ProcessRIn(KavelClientState* state, const char* text) {
    (void)state;
    return tagged(1, text);
}
KAVEL_EXPORT const char* ProcessTCmd(KavelClientState* state, const char* text) {
    (void)state;
    return tagged(2, text);
}
KAVEL_EXPORT const char* ProcessRCmd(KavelClientState* state, const char* data) {
    (void)state;
    return tagged(3, data);
}
KAVEL_EXPORT uint32_t Setup(KavelClientState* state) {
    __atomic_store_n(&probe_setup_state, state, __ATOMIC_SEQ_CST);
    __atomic_fetch_add(&probe_setup_calls, 1, __ATOMIC_SEQ_CST);
    return 0;
}

__attribute__((destructor)) static void release(void) {
    for (int i = 0; i < 4; ++i)
        free(buffers[i]);
}
