/*
 * KAVEL plug-in interface.
 *
 * A plug-in is a shared library in the folder plugins/ of the client's
 * working directory. The client opens every library named in prefs.ini
 * (key activePlugins), walks its dynamic symbol table in table order and
 * takes each exported function whose upper-cased name contains one of
 * PROCESSTOUT, PROCESSRIN, PROCESSTCMD, PROCESSRCMD or SETUP (tried in that
 * order; the first pattern found wins, a later export with the same pattern
 * replaces an earlier one). Every entry point is optional.
 *
 *   ProcessTOut  the line the user is about to send from a room
 *   ProcessRIn   a text about to be shown in a room
 *   ProcessRCmd  the raw data of one read from the chat server
 *   ProcessTCmd  called with "" while the plug-in has set
 *                KAVEL_PLUGIN_COMMAND_REQUEST; append your command and one
 *                terminator character to the text you are given
 *   Setup        runs on a thread of its own when the user picks the
 *                plug-in in the Tools menu; open your settings window here
 *
 * Texts are NUL-terminated Windows-1252 strings. An input text belongs to
 * the client and lives for the duration of the call. A returned text
 * belongs to the plug-in: the client copies it before it calls the plug-in
 * again and never frees it, so a plug-in may return the same static buffer
 * each time. A null result empties the text, except for ProcessRCmd, where
 * it leaves the data unchanged.
 *
 * Build plug-ins with -fvisibility=hidden and export only the entry points
 * (KAVEL_EXPORT below), otherwise every inline function of the plug-in
 * appears in its export table and may match a pattern by accident.
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
 * The client's state record. The client hands its own record to plug-ins
 * by address; read any field. The only write the client expects is setting
 * KAVEL_PLUGIN_COMMAND_REQUEST in options, which must be done atomically
 * (__atomic_fetch_or on the 16-bit field), since the client's main thread
 * clears the bit in the same word.
 *
 * Colours are 24-bit values red | green << 8 | blue << 16.
 * Packed, little-endian, 64-bit Linux: text references and mainWindow are
 * pointer-sized.
 *
 *   offset  width  field
 *        0      8  profileName     login name
 *        8      8  nick            name the server currently knows us by
 *       16      8  password
 *       24      4  nameColour
 *       28      4  textColour      colour of the user's own messages
 *       32      4  urlColour
 *       36      4  backgroundColour
 *       40      4  rank
 *       44      8  lastLogin
 *       52      4  chatPoints
 *       56      8  infoFields      five entries joined by byte 11
 *       64      8  ownRemarks
 *       72      8  adminRemarks
 *       80      2  options
 *       82      4  connection      0 while not connected
 *       86      4  focusedInput    input field that gets the focus; 0 if none
 *       90      8  mainWindow      main window handle (owner for plug-in windows)
 *       98         (size)
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
