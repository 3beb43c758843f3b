/* Setup reads nick over and over, as a settings window would, until the
   test says stop. */
#include <kavel/plugin.h>
#include <string.h>

KAVEL_EXPORT int reader_stop;
KAVEL_EXPORT int reader_done;
KAVEL_EXPORT unsigned long reader_reads;
KAVEL_EXPORT unsigned long reader_bytes;

KAVEL_EXPORT uint32_t Setup(KavelClientState* state) {
    while (!__atomic_load_n(&reader_stop, __ATOMIC_SEQ_CST)) {
        const char* nick = KAVEL_TEXT(state, nick);
        __atomic_fetch_add(&reader_bytes, strlen(nick), __ATOMIC_RELAXED);
        __atomic_fetch_add(&reader_reads, 1, __ATOMIC_SEQ_CST);
    }
    __atomic_store_n(&reader_done, 1, __ATOMIC_SEQ_CST);
    return 0;
}
