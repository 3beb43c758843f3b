#pragma once
// The connection to the chat server: connect, login, commands, polling,
// keep-alive with reconnection, disconnect; the dispatch of received data
// and the flood guard; the HTTP form upload.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/data.h"

namespace kavel {

inline constexpr int ServerPort = 1998;
inline constexpr uint32_t KeepAliveInterval = 30000;  // ms
inline constexpr int ReadLimit = 1024;                // bytes per poll

// The chat server host: prefs.ini key "server" of [General], else localhost.
const std::string& chatServerHost();
void setChatServerHost(std::string host);
// ServerPort, or TlsServerPort with TLS, unless the setting names a port.
int chatServerPort();
void setChatServerPort(int port);

// --- session (NET_Methods.cpp) ---
int Connect(ClientState& state, const std::string& host, int port);
void Login(std::string_view name, std::string_view password);
void JoinRoom(std::string_view roomText);
void SendCommand(std::string_view text);
void PollServer();
// One read from the server: the messages it completed, in order (empty when
// none). PollServer is this read followed by the dispatch.
std::vector<std::string> readServerMessages();
void KeepAlive();  // main-loop step while Connected
void Disconnect();
void ProfileUploadStep();  // main-loop step: pending profile upload / connect question
extern uint32_t lastKeepAlive;
// Restarts the keep-alive period (after a connect from the menu).
void restartKeepAlive();

// PollServer reassembles the stream: a message cut by the read limit or by
// TCP waits for its rest, a carriage return or a NUL ends a message, empty
// messages are dropped, a message longer than MaxMessage is dropped whole.
// Each read that completes at least one message hands those messages, in
// order, to the dispatcher. A peer that has closed the connection is
// noticed at once: the session breaks and is repaired once.
inline constexpr std::size_t MaxMessage = 64 * 1024;
// Bytes kept back because their message is not complete yet.
std::size_t pendingServerBytes();

// A session that broke (keep-alive time-out or closed peer) is repaired
// RepairDelay later: the main loop waits for that moment as for the
// keep-alive, with the windows served meanwhile. Any connect cancels it.
inline constexpr uint32_t RepairDelay = 500;  // ms
inline constexpr uint32_t NoRepairPending = UINT32_MAX;
// Milliseconds until the pending repair is due (0: now), or NoRepairPending.
uint32_t repairWait();
// Main-loop step while offline: the pending repair once it is due.
void RepairStep();
// Reconnects at once: one attempt, then the open rooms are joined again. A
// failed attempt leaves the client offline with its rooms open.
void repairSession();
// Opens a session from the menu or after the profile question: connect,
// login, and join again the rooms that are still open.
bool openSession();
// Sends the public profile of a registered user; false for a guest.
bool uploadProfile();

// --- dispatch and flood guard (NET_Methods_Dispatch.cpp) ---
// The complete messages of one read, in order.
void DispatchServerData(const std::vector<std::string>& messages);
// How many complete room lists arrived so far: a count that moves after a
// login tells that the server's answer to its ROOMLIST is in.
uint32_t roomListsReceived();

}  // namespace kavel
