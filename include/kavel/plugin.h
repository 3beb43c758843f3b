/*
 * KAVEL plug-in interface, version 1.
 *
 * A plug-in is a shared library (a file ending in ".so") in the folder
 * plugins/ of the client's working directory. The user switches plug-ins on
 * in the client's plug-in manager; the client remembers them by file name in
 * prefs.ini (key activePlugins) and opens them again at the next start.
 *
 * FINDING THE ENTRY POINTS
 * The client opens the library, walks its dynamic symbol table in table
 * order and looks at every defined function bound global or weak. It
 * upper-cases the name and tests whether it contains
 *     PROCESSTOUT, PROCESSRIN, PROCESSTCMD, PROCESSRCMD, SETUP
 * in this order; the first pattern found decides, and a later export with
 * the same pattern replaces an earlier one. So "my_ProcessTOut_v2" is found
 * as ProcessTOut, and "SetupProcessRIn" counts as ProcessRIn, not as Setup.
 * Every entry point is optional; a library with none of them is still
 * loaded and passes every text through unchanged.
 *
 * Build with -fvisibility=hidden and mark only the entry points KAVEL_EXPORT
 * (and, in C++, a version script that keeps everything else local):
 * otherwise inline functions and templates land in the export table and may
 * match a pattern by accident.
 *
 * THE FIVE ENTRY POINTS (plain C calling convention of the platform)
 *   ProcessTOut  the line the user is about to send from a room, after it
 *                went into the room's input history. Your result replaces
 *                it: the "/cmd" test, the markup conversion and the sending
 *                see your text. NULL: the line becomes empty.
 *   ProcessRIn   a text about to be shown in a room. Your result is shown
 *                instead. NULL (or ""): an empty line is shown, and the
 *                new-message sound and flash still come.
 *   ProcessRCmd  the complete messages the chat server's data of one read
 *                finished, each ended by a carriage return. A message cut
 *                across two reads comes whole with the later one, so a
 *                plug-in never sees half a message. Never called with
 *                empty data. NULL: the data stays as it was.
 *   ProcessTCmd  called with "" once per pass of the main loop while a
 *                plug-in has requested it (kavel_request_command below).
 *                Append your command and one terminator character to the
 *                text you are given and return it, or return the text
 *                unchanged. The client drops the very last character of the
 *                final text and sends the rest, followed by a carriage
 *                return. NULL: the text becomes empty.
 *   Setup        the user picked your entry in the Tools menu. Runs on a new
 *                thread of its own, with the address of the client's record;
 *                the client does not wait for it and ignores the result.
 *                Without a Setup the client tells the user that the plug-in
 *                cannot be configured.
 * The four text entry points run on the client's main thread (which is
 * also its GUI thread), one at a time, in the order the plug-ins were
 * loaded: each plug-in gets the previous plug-in's result.
 *
 * WHO OWNS WHICH TEXT
 * Texts are NUL-terminated Windows-1252 strings. The text you are given
 * belongs to the client and lives for the duration of the call. The text
 * you return belongs to you: the client copies it before it calls you again
 * and never frees it, so one static buffer per calling thread will do.
 * Texts referenced from KavelClientState belong to the client; never write
 * or free them.
 *
 * SETUP AND WINDOWS
 * Setup's thread is not the GUI thread. A Qt plug-in creates its widgets on
 * the GUI thread (QMetaObject::invokeMethod(qApp, ..., Qt::QueuedConnection))
 * and lets the Setup thread wait for the outcome; the client keeps running
 * its main loop meanwhile, so never make the GUI thread wait for Setup's
 * thread. mainWindow is the client's main window (a QWidget*, to be used on
 * the GUI thread only); make it the owner of your window. Your text entry
 * points keep being called on the main thread while Setup runs: guard the
 * data both use with a mutex. The library stays loaded until your Setup has
 * returned, even if the user switches the plug-in off meanwhile.
 *
 * LOADING AND UNLOADING
 * The library's constructors run when it is opened (at start-up or when the
 * plug-in manager's "Save'n Exit" reloads every active plug-in), its
 * destructors when it is closed ("Save'n Exit", and at the end of the
 * client after its settings were saved): save your data there. Anything
 * that pins a library in memory (C++ thread_local objects with destructors,
 * symbols GCC marks unique; build C++ with -fno-gnu-unique) defers the
 * destructors to the end of the process.
 */
#ifndef KAVEL_PLUGIN_H
#define KAVEL_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KAVEL_EXPORT __attribute__((visibility("default")))

/* Bits of KavelClientState.options. */
#define KAVEL_OPT_SOUND 0x0001u        /* "Sound abspielen" */
#define KAVEL_OPT_FLASH 0x0002u        /* "blinken" */
#define KAVEL_OPT_ONLY_OWN 0x0004u     /* "nur eigene" */
#define KAVEL_OPT_ON_TOP 0x0008u       /* "immer im Vordergrund halten" */
#define KAVEL_OPT_SEPARATE 0x0010u     /* "Chatfenster separat anzeigen" */
#define KAVEL_OPT_MARK_URLS 0x0020u    /* "Links/URLs im Text markieren" */
#define KAVEL_OPT_TEXT_SMILIES 0x0040u /* "Smilies nicht grafisch darstellen" */
#define KAVEL_OPT_NO_PING 0x0080u      /* "kein automatischer Ping" */
#define KAVEL_OPT_COLOUR_MODE 0x0300u  /* 0x100 colour first, 0x200 contrast first, 0x300 ignore */
#define KAVEL_PLUGIN_COMMAND_REQUEST 0x0400u /* set by a plug-in; the client clears it */

/*
 * The client's state record. Every entry point gets the address of the
 * client's own record. Read any field; the only write the client expects is
 * setting KAVEL_PLUGIN_COMMAND_REQUEST, through kavel_request_command().
 *
 * Packed, little-endian, 64-bit Linux: text references and mainWindow are
 * pointer-sized. The client keeps the record at an address that is a
 * multiple of 64, so no field straddles a cache line.
 *
 *   offset  width  field           changed by the client when
 *        0      8  profileName     a profile is loaded or created
 *        8      8  nick            logging in, going away and coming back
 *       16      8  password        the profile is edited
 *       24      4  nameColour      the profile is edited
 *       28      4  textColour      the profile is edited; colour of the
 *                                  user's own messages
 *       32      4  urlColour       the profile is edited
 *       36      4  backgroundColour the profile is edited
 *       40      4  rank            the server reports the user's details
 *       44      8  lastLogin       the server reports the user's details
 *       52      4  chatPoints      the server reports the user's details
 *       56      8  infoFields      the profile is edited, the server reports
 *                                  the user's details; hobbies, e-mail,
 *                                  location, ICQ number and homepage joined
 *                                  by byte 11
 *       64      8  ownRemarks      the profile is edited, the server reports
 *       72      8  adminRemarks    the server reports the user's details
 *       80      2  options         the options window; bit 0x400 see below
 *       82      4  connection      connecting and disconnecting; 0 while
 *                                  not connected
 *       86      4  focusedInput    a room is entered or closed; 0 if none
 *       90      8  mainWindow      once, before any plug-in entry can run
 *       98         (size)
 *
 * All changes happen on the client's main thread. While one of your entry
 * points runs on the main thread nothing changes; between two calls
 * anything may. A Setup thread sees changes at any moment:
 * - read text references with KAVEL_TEXT(state, field). The client stores
 *   them atomically and never frees a text while plug-ins are loaded, so a
 *   text you read stays valid and unchanged even after it was replaced.
 * - read options with kavel_options().
 * - the numbers are written with plain stores; copy what your Setup thread
 *   needs in a text entry point or before you hand work to another thread.
 *
 * Colours are 24-bit values red | green << 8 | blue << 16.
 */
#pragma pack(push, 1)
typedef struct KavelClientState {
    const char* profileName;
    const char* nick;
    const char* password;
    int32_t nameColour;
    int32_t textColour;
    int32_t urlColour;
    int32_t backgroundColour;
    int32_t rank;
    const char* lastLogin;
    int32_t chatPoints;
    const char* infoFields;
    const char* ownRemarks;
    const char* adminRemarks;
    uint16_t options;
    uint32_t connection;
    uint32_t focusedInput;
    void* mainWindow;
} KavelClientState;
#pragma pack(pop)

/* Entry point types. */
typedef const char* (*KavelProcessTOut)(KavelClientState* state, const char* text);
typedef const char* (*KavelProcessRIn)(KavelClientState* state, const char* text);
typedef const char* (*KavelProcessTCmd)(KavelClientState* state, const char* text);
typedef const char* (*KavelProcessRCmd)(KavelClientState* state, const char* data);
typedef uint32_t (*KavelSetup)(KavelClientState* state);

/* Asks the client to call every ProcessTCmd once, on its main thread, in
   its next main-loop pass while it is connected. Safe from any thread: the
   client clears the bit in the same word, so both sides change it
   atomically. */
static inline void kavel_request_command(KavelClientState* state) {
    __atomic_fetch_or((uint16_t*)((char*)state + offsetof(KavelClientState, options)),
                      (uint16_t)KAVEL_PLUGIN_COMMAND_REQUEST, __ATOMIC_SEQ_CST);
}

/* The options word, read atomically. */
static inline uint16_t kavel_options(const KavelClientState* state) {
    return __atomic_load_n(
        (const uint16_t*)((const char*)state + offsetof(KavelClientState, options)),
        __ATOMIC_SEQ_CST);
}

/* A text reference of the record, read atomically; "" for a missing text. */
static inline const char* kavel_text_at(const KavelClientState* state, size_t offset) {
    const char* value;
    __atomic_load((const char* const*)((const char*)state + offset), &value, __ATOMIC_ACQUIRE);
    return value ? value : "";
}
#define KAVEL_TEXT(state, field) kavel_text_at((state), offsetof(KavelClientState, field))

#ifdef __cplusplus
}
#define KAVEL_STATIC_ASSERT static_assert
#else
#define KAVEL_STATIC_ASSERT _Static_assert
#endif

KAVEL_STATIC_ASSERT(sizeof(void*) == 8, "the plug-in interface is defined for 64-bit Linux");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, profileName) == 0, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, nick) == 8, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, password) == 16, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, nameColour) == 24, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, textColour) == 28, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, urlColour) == 32, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, backgroundColour) == 36, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, rank) == 40, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, lastLogin) == 44, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, chatPoints) == 52, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, infoFields) == 56, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, ownRemarks) == 64, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, adminRemarks) == 72, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, options) == 80, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, connection) == 82, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, focusedInput) == 86, "layout");
KAVEL_STATIC_ASSERT(offsetof(KavelClientState, mainWindow) == 90, "layout");
KAVEL_STATIC_ASSERT(sizeof(KavelClientState) == 98, "layout");

#endif /* KAVEL_PLUGIN_H */
