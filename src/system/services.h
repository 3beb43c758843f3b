#pragma once
// Everything a test may replace, in one record: the clocks, sleeping, the
// answers to the standard dialogs, where sounds, attention requests and
// desktop notifications go, and the seed of random numbers; and where the
// program reports what it cannot show otherwise (the way of a notification,
// a control number two windows claim). A field left empty (or at its
// default) is the real thing. Tests install a whole record with
// replaceServices; the reset before every test puts back the real one.

#include <cstdint>
#include <functional>
#include <string>

struct addrinfo;  // <netdb.h>

namespace kavel::platform {

struct DialogRequest {
    enum Kind { Message, YesNo, Input, Colour } kind;
    std::string title;
    std::string text;  // prompt for Input
};
struct DialogAnswer {
    bool yes = false;
    std::string text;
    bool cancelled = false;  // Input: the dialog was cancelled
    int32_t colour = -1;
};

// Where sounds go. Device: the system's default output. Recorder: an output
// that plays nothing and only records each start (a sound counts as playing
// for its length), so the play rules can be checked on machines without a
// sound card. None: a system without any output.
enum class SoundBackEnd { Device, Recorder, None };

// The way of a desktop notification: its request went out on the bus, the
// service showed it (answered with an id) or refused it, and a click on it
// (its default action) brought its window forward.
enum class NotificationStep { Sent, Shown, Failed, Clicked };

struct Services {
    // A monotonic 32-bit millisecond tick.
    std::function<uint32_t()> ticks;
    // Sleeping for so many milliseconds.
    std::function<void(uint32_t)> sleep;
    // The local time in whole seconds (the flood guard's clock).
    std::function<uint32_t()> seconds;
    // Answers every standard dialog instead of showing it.
    std::function<DialogAnswer(const DialogRequest&)> dialogs;
    SoundBackEnd sound = SoundBackEnd::Device;
    // The Recorder's record: each start of a sound, with its handle and
    // whether the start cut off the same sound still playing.
    std::function<void(int handle, bool cutOff)> soundStarted;
    // Where a window's request for the user's attention goes instead of the
    // window system.
    std::function<void(int window)> attention;
    // The bus desktop notifications go to instead of the session bus (tests
    // run private buses). Without it, a program on the offscreen platform
    // sends none: nobody would see them.
    std::string notificationBus;
    // Told of every step of every notification, with the window it is for.
    std::function<void(int window, NotificationStep step)> notificationSteps;
    // Whether the desktop shows a tray for the program's icon; unset, Qt is
    // asked (tray.h).
    std::function<bool()> trayAvailable;
    // The folder holding the spelling dictionary (de_DE.aff and .dic)
    // instead of the system's.
    std::string dictionaryFolder;
    // Seeds for random numbers (the about box's particles).
    std::function<uint32_t()> seed;
    // The certificates TLS trusts instead of the system's store (a PEM file).
    std::string trustedCertificates;
    // Looks a host name up as getaddrinfo does, whose results it must hand
    // back (they are freed with freeaddrinfo). Tests make the name server
    // slow or make it fail.
    std::function<int(const char* host, const char* service, const addrinfo* hints,
                      addrinfo** found)>
        resolver;
    // Told when a window makes a control under a number that a control of
    // another open window holds (the older control goes: two windows never
    // share a number). Unset, a build with assertions ends the program
    // there; one without says so on stderr and goes on.
    std::function<void(int control, int holder, int taker)> controlClash;
};

const Services& services();
void replaceServices(Services replacement);

// The local time in whole seconds, and a seed for random numbers.
uint32_t localSeconds();
uint32_t randomSeed();

}  // namespace kavel::platform
