#include "fakes/pipe_network.h"

namespace kestra::test {

bool PipeTransport::Listen(const std::string& address, int port) {
    if (FailListen) return false;
    ListenAddress = address;
    ListenPort = port;
    return true;
}

void PipeTransport::StopListening() {
    ListenPort = -1;
}

ConnectionId PipeTransport::Connect(const std::string& host, int port) {
    return net_.Open(*this, host, port);
}

void PipeTransport::Send(ConnectionId id, const std::string& bytes) {
    int which = 0;
    PipeNetwork::Pipe* p = net_.FindPipe(this, id, &which);
    if (p == nullptr || !p->Open) return;
    (which == 0 ? p->B : p->A).Inbox += bytes;
    if (AfterSend) AfterSend(id);
}

std::size_t PipeTransport::Pending(ConnectionId id) const {
    int which = 0;
    const PipeNetwork::Pipe* p = net_.FindPipe(this, id, &which);
    if (p == nullptr || !p->Open) return 0;
    return (which == 0 ? p->B : p->A).Inbox.size();
}

void PipeTransport::Close(ConnectionId id) {
    int which = 0;
    if (PipeNetwork::Pipe* p = net_.FindPipe(this, id, &which)) net_.ClosePipe(*p, which);
}

PipeTransport& PipeNetwork::AddTransport(const std::string& address) {
    transports_.push_back(std::make_unique<PipeTransport>(*this, address));
    return *transports_.back();
}

PipeTransport* PipeNetwork::Listener(int port) {
    for (auto& t : transports_) {
        if (t->ListenPort == port) return t.get();
    }
    return nullptr;
}

ConnectionId PipeNetwork::Open(PipeTransport& owner, const std::string& host, int port) {
    PipeTransport* server = Listener(port);
    if (server == nullptr || (host != server->ListenAddress && host != server->Address()))
        return NoConnection;
    auto pipe = std::make_unique<Pipe>();
    pipe->A = {&owner, NextId(), true, {}, true, server->Address(), {}};
    pipe->B = {server, NextId(), true, {}, true, owner.Address(), {}};
    const ConnectionId id = pipe->A.Id;
    pipes_.push_back(std::move(pipe));
    return id;
}

int PipeNetwork::RawConnect(int port, bool reads) {
    PipeTransport* server = Listener(port);
    if (server == nullptr) return -1;
    auto pipe = std::make_unique<Pipe>();
    const int raw = nextRaw_++;
    pipe->A = {server, NextId(), true, {}, true, "raw" + std::to_string(raw), {}};
    pipe->B = {nullptr, NextId(), reads, {}, false, server->Address(), {}};
    raws_[raw] = pipe.get();
    pipes_.push_back(std::move(pipe));
    return raw;
}

void PipeNetwork::RawSend(int raw, const std::string& bytes) {
    auto it = raws_.find(raw);
    if (it != raws_.end() && it->second->Open) it->second->A.Inbox += bytes;
}

std::string PipeNetwork::RawTake(int raw) {
    auto it = raws_.find(raw);
    if (it == raws_.end()) return {};
    std::string out;
    out.swap(it->second->B.Received);
    return out;
}

void PipeNetwork::RawClose(int raw) {
    auto it = raws_.find(raw);
    if (it != raws_.end()) ClosePipe(*it->second, 1);
}

bool PipeNetwork::RawOpen(int raw) const {
    auto it = raws_.find(raw);
    return it != raws_.end() && it->second->Open;
}

PipeNetwork::Pipe* PipeNetwork::FindPipe(const PipeTransport* owner, ConnectionId id, int* which) {
    for (auto& p : pipes_) {
        if (p->A.Owner == owner && p->A.Id == id) {
            *which = 0;
            return p.get();
        }
        if (p->B.Owner == owner && p->B.Id == id) {
            *which = 1;
            return p.get();
        }
    }
    return nullptr;
}

const PipeNetwork::Pipe* PipeNetwork::FindPipe(const PipeTransport* owner, ConnectionId id,
                                               int* which) const {
    return const_cast<PipeNetwork*>(this)->FindPipe(owner, id, which);
}

void PipeNetwork::ClosePipe(Pipe& pipe, int closer) {
    if (!pipe.Open) return;
    pipe.Open = false;
    pipe.A.Inbox.clear();
    pipe.B.Inbox.clear();
    // The other side hears of it (a connection refused or reset before it opened too).
    const int other = 1 - closer;
    Side& o = other == 0 ? pipe.A : pipe.B;
    pipe.CloseNoticePending[other] = o.Owner != nullptr;
}

void PipeNetwork::Deliver(int rounds) {
    for (int round = 0; round < rounds; ++round) {
        bool moved = false;
        // Events may open pipes: walk by index over what exists now.
        const std::size_t count = pipes_.size();
        for (std::size_t i = 0; i < count; ++i) {
            Pipe& p = *pipes_[i];
            for (int w = 0; w < 2; ++w) {
                Side& s = w == 0 ? p.A : p.B;
                if (s.Owner == nullptr) {
                    // A raw peer that reads takes what reached it.
                    if (s.Reads && !s.Inbox.empty()) {
                        s.Received += s.Inbox;
                        s.Inbox.clear();
                    }
                    continue;
                }
                NetEvents* ev = s.Owner->Events();
                if (p.CloseNoticePending[w]) {
                    p.CloseNoticePending[w] = false;
                    moved = true;
                    if (ev) ev->OnDisconnected(s.Id);
                    continue;
                }
                if (!p.Open) continue;
                if (s.ConnectPending) {
                    s.ConnectPending = false;
                    moved = true;
                    if (ev) ev->OnConnected(s.Id, s.PeerAddress);
                    continue;
                }
                if (!s.Reads || s.Inbox.empty()) continue;
                std::string bytes;
                bytes.swap(s.Inbox);
                moved = true;
                if (ev) ev->OnData(s.Id, bytes.data(), bytes.size());
            }
        }
        if (!moved) return;
    }
}

std::size_t PipeNetwork::QueuedBytes() const {
    std::size_t n = 0;
    for (const auto& p : pipes_) n += p->A.Inbox.size() + p->B.Inbox.size();
    return n;
}

}  // namespace kestra::test
