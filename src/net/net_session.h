#pragma once
// One copy's part in a shared game: a server that serves its simulation to clients,
// or a client that mirrors a server's simulation and sends its signaller's commands
// there. It speaks through the NetTransport port and plugs into the simulation as its
// state broadcaster, its link to the server and the replier of a client's messages.
//
// What no client may do, however it behaves: change a state the server owns (state
// records go from the server only; the assessor's failure codes are taken from an
// assessor connection only), hold more than a bounded amount of memory (frames are
// bounded, a client that does not read is dropped when its output passes a bound,
// and the number of clients is bounded), or stall the others (a full-state resend is
// queued and sent to the asking client alone, outside the handling of any message).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/net_transport.h"
#include "core/ports.h"
#include "net/framing.h"
#include "panel/messages.h"

namespace kestra {
class Sim;
}

namespace kestra::net {

inline constexpr int DefaultPort = 4321;
// A server listens on the loopback address unless told otherwise.
inline constexpr const char* DefaultBindAddress = "127.0.0.1";
inline constexpr std::size_t MaxClients = 32;
// Output queued to one client beyond this, and the client is dropped.
inline constexpr std::size_t MaxPendingOutput = 256 * 1024;
// The clock message's timer interval must be one the speed control can give.
inline constexpr std::int32_t FastestCycleInterval = 25;
inline constexpr std::int32_t SlowestCycleInterval = 500;

enum class NetRole : std::uint8_t { None, Server, Client };

class NetSession final : public NetEvents, public StateBroadcaster, public RequestingClient {
  public:
    NetSession(Sim& sim, NetTransport& transport);
    ~NetSession() override;
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    // --- server
    // Opens the listening socket; false (with the message shown) when that fails or
    // this copy is a client.
    bool Listen(const std::string& address = DefaultBindAddress, int port = DefaultPort);
    // Closes the listening socket and every client's connection.
    void StopListening();
    // Queues the whole state for every client (after a new game or a load).
    void SendFullStateToAll();

    // --- client
    // Resets this copy's simulation and connects; false when the connection cannot be
    // started, or this copy is listening or already connected.
    bool Connect(const std::string& host, int port = DefaultPort);
    // Closes the connection and resets this copy's simulation to run on its own.
    void Disconnect();
    // Asks the server for its whole state again.
    void Refresh();

    // Chat: a client sends to the server, a server to every client; not shown here.
    void SendChatMessage(const std::string& text);

    // Sends one queued full-state resend. Call after network events and every cycle.
    void Pump();

    NetRole Role() const { return role_; }
    bool Listening() const { return role_ == NetRole::Server; }
    // A client whose connection to the server is open.
    bool Connected() const { return role_ == NetRole::Client && server_.Open; }
    // A client that has had the server's whole state.
    bool Initialised() const { return initialised_; }
    std::size_t ClientCount() const;
    // Received bytes held in frame buffers, over every connection.
    std::size_t BufferedBytes() const;
    std::size_t QueuedResends() const { return resends_.size(); }
    // The area's identity and a fingerprint of its objects, as the handshake sends it.
    std::string AreaFingerprint() const;

    // --- NetEvents
    void OnConnected(ConnectionId id, const std::string& address) override;
    void OnData(ConnectionId id, const char* data, std::size_t size) override;
    void OnDisconnected(ConnectionId id) override;
    // --- StateBroadcaster: every client, or only the one a resend is going to.
    void Broadcast(const std::string& payload) override;
    // --- RequestingClient: the client whose message is being handled.
    void Reply(const std::string& payload) override;

  private:
    struct Peer {
        TSocketEntry Entry;
        std::string Address;
        bool Open = false;
        // An assessor's connection may fail equipment; no client connection is one.
        bool Assessor = false;
    };

    Peer* FindClient(ConnectionId id);
    void Dispatch(Peer& peer, std::string_view payload);
    void DispatchFromClient(Peer& peer, std::string_view payload);
    void DispatchFromServer(std::string_view payload);
    void HandleClock(std::string_view payload);
    // "LA" with the clock and the timer interval, to the clients.
    void SendClock();
    void HandleChat(std::string_view payload, bool fromClient);
    // Frames and sends; drops a client whose output has passed the bound.
    void SendTo(Peer& peer, std::string_view payload);
    void SendFullState(Peer& peer);
    void QueueResend(ConnectionId id);
    // Closes a client's connection; its record goes at the next safe point.
    void Drop(Peer& peer);
    // Frees closed clients' records when no message or resend is under way.
    void Sweep();
    void ResetOwnSimulation();
    // Calls send(object) for every object with a state record, in resend order, with
    // the record's place in that order.
    template <class F>
    void ForEachStateObject(F&& send);
    // "AO" from a client: the ARS information of a train, as "AL", "AM" rows and "AN"
    // to that client alone.
    void AnswerARSInformation(std::string_view payload);
    // "AL", "AM" and "AN" from the server: collected, and shown once complete.
    void TakeARSInformation(std::string_view payload);
    void Post(const std::string& text);

    Sim& sim_;
    NetTransport& transport_;
    NetRole role_ = NetRole::None;
    std::vector<std::unique_ptr<Peer>> clients_;
    Peer server_;
    bool initialised_ = false;
    // The server has greeted us: a close before that is a failure to connect.
    bool linkUp_ = false;
    // The client whose message is being handled, or none.
    Peer* current_ = nullptr;
    // While a resend runs, state messages go to this client alone.
    Peer* resendTarget_ = nullptr;
    std::deque<ConnectionId> resends_;
    int busy_ = 0;
    // The ARS information being received, and whether an "AL" has begun it.
    ARSInformation arsInfo_;
    bool arsInfoOpen_ = false;
};

}  // namespace kestra::net
