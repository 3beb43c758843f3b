/*
 * Example.so: a small KAVEL plug-in in plain C that uses all five entry
 * points. Copy it into the client's plugins/ folder and switch it on in the
 * plug-in manager.
 *
 *   type "/zeit"     the line is replaced by the current time (ProcessTOut)
 *   type "/raeume"   nothing is sent from the room; instead the plug-in asks
 *                    for a turn and sends ROOMLIST itself (ProcessTCmd)
 *   Tools > Example  prints what the plug-in has seen (Setup)
 *
 * Build it outside the client's source tree with
 *   cc -shared -fPIC -fvisibility=hidden $(pkg-config --cflags kavel-plugin) \
 *      -Wl,--version-script=example.map -o Example.so example.c
 */
#define _POSIX_C_SOURCE 200809L /* localtime_r */

#include <kavel/plugin.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* The four text entry points run on the client's main thread only, so one
   buffer each is enough: the client copies a result before calling again. */
static char timeLine[64];
static char* commandText;
static size_t commandSize;

/* Read by Setup on its own thread, written on the main thread. */
static unsigned long shownTexts;
static unsigned long receivedBytes;
static int roomListWanted;

KAVEL_EXPORT const char* ProcessTOut(KavelClientState* state, const char* text) {
    if (strcmp(text, "/zeit") == 0) {
        const time_t now = time(NULL);
        struct tm local;
        localtime_r(&now, &local);
        strftime(timeLine, sizeof timeLine, "Es ist %H:%M Uhr.", &local);
        return timeLine;
    }
    if (strcmp(text, "/raeume") == 0) {
        __atomic_store_n(&roomListWanted, 1, __ATOMIC_SEQ_CST);
        kavel_request_command(state);
        return NULL; /* an empty line: the room sends nothing */
    }
    /* Handing back the client's own text is allowed: it is copied before
       the client lets go of it. */
    return text;
}

KAVEL_EXPORT const char* ProcessRIn(KavelClientState* state, const char* text) {
    (void)state;
    __atomic_fetch_add(&shownTexts, 1, __ATOMIC_RELAXED);
    return text;
}

KAVEL_EXPORT const char* ProcessRCmd(KavelClientState* state, const char* data) {
    (void)state;
    __atomic_fetch_add(&receivedBytes, strlen(data), __ATOMIC_RELAXED);
    return NULL; /* for ProcessRCmd, NULL keeps the data as it came */
}

KAVEL_EXPORT const char* ProcessTCmd(KavelClientState* state, const char* text) {
    (void)state;
    if (!__atomic_exchange_n(&roomListWanted, 0, __ATOMIC_SEQ_CST)) return text;
    /* Our command and one terminator character after what the plug-ins
       before us added; the client drops the final terminator and ends the
       write with a carriage return. */
    static const char command[] = "ROOMLIST\r";
    const size_t need = strlen(text) + sizeof command;
    if (need > commandSize) {
        char* grown = realloc(commandText, need);
        if (!grown) return text;
        commandText = grown;
        commandSize = need;
    }
    strcpy(commandText, text);
    strcat(commandText, command);
    return commandText;
}

/* Runs on a thread of its own; a plug-in with a window would create it on
   the GUI thread and wait here until it is closed. */
KAVEL_EXPORT uint32_t Setup(KavelClientState* state) {
    fprintf(stderr, "Example: %s has seen %lu texts and %lu bytes from the server.\n",
            KAVEL_TEXT(state, nick), __atomic_load_n(&shownTexts, __ATOMIC_RELAXED),
            __atomic_load_n(&receivedBytes, __ATOMIC_RELAXED));
    return 0;
}

__attribute__((destructor)) static void releaseBuffers(void) {
    free(commandText);
}
