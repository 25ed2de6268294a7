#pragma once
// An in-memory network for multiplayer tests: several transports (one per simulation)
// and raw peers (a test's hand-made hostile client) joined by byte pipes. Nothing moves
// until Deliver, so a test decides when each side hears the other. A raw peer that does
// not read leaves its bytes queued, which the sender sees as pending output.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/net_transport.h"

namespace kestra::test {

class PipeNetwork;

// One copy's transport.
class PipeTransport final : public NetTransport {
  public:
    PipeTransport(PipeNetwork& net, std::string address)
        : net_(net), address_(std::move(address)) {}
    void SetEvents(NetEvents* events) override { events_ = events; }
    bool Listen(const std::string& address, int port) override;
    void StopListening() override;
    ConnectionId Connect(const std::string& host, int port) override;
    void Send(ConnectionId id, const std::string& bytes) override;
    std::size_t Pending(ConnectionId id) const override;
    void Close(ConnectionId id) override;

    const std::string& Address() const { return address_; }
    NetEvents* Events() const { return events_; }
    // Called after every Send (a test may report a disconnect from inside a send).
    std::function<void(ConnectionId)> AfterSend;
    // Refuses the next Listen, as an address in use would.
    bool FailListen = false;
    std::string ListenAddress;
    int ListenPort = -1;

  private:
    PipeNetwork& net_;
    std::string address_;
    NetEvents* events_ = nullptr;
};

class PipeNetwork {
  public:
    PipeTransport& AddTransport(const std::string& address);

    // A raw peer connected to the listener on port; -1 when nobody listens there.
    int RawConnect(int port, bool reads = true);
    void RawSend(int raw, const std::string& bytes);
    // What the raw peer has received so far (taken), when it reads.
    std::string RawTake(int raw);
    void RawClose(int raw);
    bool RawOpen(int raw) const;

    // Moves every queued byte and event to its receiver, until nothing is left to move
    // (at most rounds times over).
    void Deliver(int rounds = 50);

    // Bytes waiting, over every pipe.
    std::size_t QueuedBytes() const;

    // --- used by the transports
    struct Side {
        PipeTransport* Owner = nullptr;  // none for a raw peer
        ConnectionId Id = NoConnection;
        bool Reads = true;
        std::string Inbox;  // bytes sent to this side, not yet read
        bool ConnectPending = false;
        std::string PeerAddress;
        std::string Received;  // what a raw peer has read
    };
    struct Pipe {
        Side A, B;
        bool Open = true;
        bool CloseNoticePending[2] = {false, false};  // A, B to be told
    };
    ConnectionId Open(PipeTransport& owner, const std::string& host, int port);
    Pipe* FindPipe(const PipeTransport* owner, ConnectionId id, int* which);
    const Pipe* FindPipe(const PipeTransport* owner, ConnectionId id, int* which) const;
    void ClosePipe(Pipe& pipe, int closer);
    ConnectionId NextId() { return nextId_++; }

  private:
    PipeTransport* Listener(int port);
    std::vector<std::unique_ptr<PipeTransport>> transports_;
    std::vector<std::unique_ptr<Pipe>> pipes_;
    // Raw peers are the B sides of their pipes.
    std::map<int, Pipe*> raws_;
    ConnectionId nextId_ = 100;
    int nextRaw_ = 1;
};

}  // namespace kestra::test
