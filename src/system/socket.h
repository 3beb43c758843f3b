#pragma once
// TCP client sockets on POSIX. A handle is a small positive number; 0 means
// "no connection", matching ClientState::connection.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "system/resolve.h"

namespace kavel::platform {

inline constexpr int kConnectTimeoutMs = 10000;

// Prepares the process for sockets (a peer that goes away must not kill us
// with SIGPIPE). Returns false when no TCP/IP stack is usable.
bool initNetwork();

// The file descriptor behind a handle, -1 for "no connection".
int fdOf(uint32_t handle);

// Connects to the addresses in turn; gives up when timeoutMs have passed in
// all. Returns the handle or 0.
uint32_t tcpConnect(const ResolvedHost& to, int timeoutMs = kConnectTimeoutMs);
// Both in one, blocking the caller (tools and tests).
uint32_t tcpConnect(const std::string& host, int port, int timeoutMs = kConnectTimeoutMs);
// True only when bytes can be read at once; a connection the peer closed
// reports false (nothing to read), so a closed peer costs no busy loop.
bool dataWaiting(uint32_t handle);
// What a non-blocking look at the connection finds: nothing yet, bytes to
// read, or a peer that has closed (or an error): the end of the session.
enum class SocketState { Idle, Readable, Closed };
SocketState socketState(uint32_t handle);
// Waits at most timeoutMs (0: just looks) until the connection can be read
// without blocking: data is waiting or the peer has closed (the next read
// then returns 0). False on time-out or a bad handle.
bool tcpReadable(uint32_t handle, int timeoutMs);
// Reads at most size bytes of what is waiting; returns the count, 0 when
// the peer has closed, -1 on error.
int tcpRead(uint32_t handle, char* buffer, int size);
// Sends all of data (blocking until the kernel took it); false on error.
bool tcpSend(uint32_t handle, std::string_view data);
void tcpClose(uint32_t handle);

}  // namespace kavel::platform
