#pragma once
// The connection to the chat server: connect, login, commands, polling,
// keep-alive with reconnection, disconnect; the dispatch of received data
// and the flood guard; the HTTP form upload.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/data.h"

namespace kavel {

inline constexpr int ServerPort = 1998;
inline constexpr uint32_t KeepAliveInterval = 30000;  // ms
inline constexpr int ReadLimit = 1024;                // bytes per poll

// The chat server host: prefs.ini key "server" of [General], else localhost.
const std::string& chatServerHost();
void setChatServerHost(std::string host);
int chatServerPort();  // ServerPort unless a test moved it
void setChatServerPort(int port);

// --- session (NET_Methods.cpp) ---
int Connect(ClientState& state, const std::string& host, int port);
void Login(std::string_view name, std::string_view password);
void JoinRoom(std::string_view roomText);
void SendCommand(std::string_view text);
void PollServer();
void KeepAlive();  // main-loop step while Connected
void Disconnect();
void ProfileUploadStep();  // main-loop step: pending profile upload / connect question
extern uint32_t lastKeepAlive;
// Restarts the keep-alive period (after a connect from the menu).
void restartKeepAlive();

// PollServer reassembles the stream: a message cut by the read limit or by
// TCP waits for its rest, a carriage return or a NUL ends a message, empty
// messages are dropped. Each read with at least one complete message makes
// one call of the sink with those messages joined by carriage returns (no
// trailing one); the incomplete rest waits for the next read.
using DataSink = void (*)(const std::string& data);
// nullptr restores DispatchServerData.
void setDataSink(DataSink sink);
// Bytes kept back because their message is not complete yet.
std::size_t pendingServerBytes();

// --- dispatch and flood guard (NET_Methods_Dispatch.cpp) ---
// One complete piece of server data: messages separated by carriage returns.
void DispatchServerData(const std::string& data);

}  // namespace kavel
