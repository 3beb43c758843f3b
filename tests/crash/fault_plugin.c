/* A third party's plug-in that faults on purpose, built from the SDK header
 * alone. KAVEL_FAULT_AT says where: "load" (its library's constructor),
 * "unload" (its destructor), "receive" (ProcessRCmd, on data that holds
 * CRASH) or "setup" (its Setup thread). */
#include <kavel/plugin.h>
#include <stdlib.h>
#include <string.h>

static int faultAt(const char* place) {
    const char* at = getenv("KAVEL_FAULT_AT");
    return at && strcmp(at, place) == 0;
}

__attribute__((constructor)) static void opened(void) {
    volatile int* volatile nowhere = 0;
    if (faultAt("load")) *nowhere = 1; /* FAULT: load */
}

__attribute__((destructor)) static void closed(void) {
    volatile int* volatile nowhere = 0;
    if (faultAt("unload")) *nowhere = 1; /* FAULT: unload */
}

KAVEL_EXPORT const char* ProcessRCmd(KavelClientState* state, const char* data) {
    volatile int* volatile nowhere = 0;
    (void)state;
    if (faultAt("receive") && strstr(data, "CRASH")) *nowhere = 1; /* FAULT: receive */
    return data;
}

KAVEL_EXPORT uint32_t Setup(KavelClientState* state) {
    volatile int* volatile nowhere = 0;
    if (faultAt("setup")) *nowhere = state ? 1 : 0; /* FAULT: setup */
    return 0;
}
