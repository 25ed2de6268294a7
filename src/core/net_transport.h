#pragma once
// The network port: TCP connections as the engine sees them. The Qt front end
// implements it with QTcpServer and QTcpSocket, the tests with in-memory pipes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestra {

// A connection of the network transport, numbered by the transport; never reused
// while the transport lives.
using ConnectionId = std::int32_t;
inline constexpr ConnectionId NoConnection = -1;

// What the network transport tells the engine, always on the simulation's thread.
class NetEvents {
  public:
    virtual ~NetEvents() = default;
    // A client's connection was accepted (server), or our own connection to a server
    // is open (client). address names the other end.
    virtual void OnConnected(ConnectionId id, const std::string& address) = 0;
    virtual void OnData(ConnectionId id, const char* data, std::size_t size) = 0;
    // The other end closed the connection (or it failed). Not called for Close.
    virtual void OnDisconnected(ConnectionId id) = 0;
};

// TCP connections: one listening socket for a server, outgoing connections for a client.
class NetTransport {
  public:
    virtual ~NetTransport() = default;
    virtual void SetEvents(NetEvents* events) = 0;
    // Opens the listening socket on address:port; false when that fails.
    virtual bool Listen(const std::string& address, int port) = 0;
    virtual void StopListening() = 0;
    // Starts a connection; OnConnected follows when it is open. NoConnection when it
    // cannot even be started.
    virtual ConnectionId Connect(const std::string& host, int port) = 0;
    // Queues bytes for sending; never blocks.
    virtual void Send(ConnectionId id, const std::string& bytes) = 0;
    // Bytes queued on the connection and not yet taken by the other end's network.
    virtual std::size_t Pending(ConnectionId id) const = 0;
    // Closes the connection at once, queued bytes discarded; no event follows.
    virtual void Close(ConnectionId id) = 0;
};

}  // namespace kestra
