#include "net/net_session.h"

#include <algorithm>
#include <cstdio>

#include "ars/ars_subarea.h"
#include "ars/ars_train.h"
#include "ars/ars_train_info.h"
#include "interlocking/state_message.h"
#include "interlocking/track_circuit.h"
#include "sim/sim.h"

namespace kestra::net {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Eight hexadecimal digits, or -1 when any is not one.
std::int64_t ParseHex8(std::string_view text) {
    if (text.size() < 8) return -1;
    std::int64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        const int d = HexDigitValue(text[static_cast<std::size_t>(i)]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

bool Is(std::string_view code, const char* name) {
    return code == name;
}

// Chat text as the panel can show it: printable characters only.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c >= 32 && c < 127) out.push_back(c);
    }
    return out;
}

// The longest field of a record is cut, one character at a time, until the record
// fits in one frame; tabs end the fields, so none may stand inside one.
std::string FittedRecord(std::string_view head, std::vector<std::string> fields) {
    for (std::string& f : fields) std::replace(f.begin(), f.end(), '\t', ' ');
    while (true) {
        std::string payload(head);
        for (const std::string& f : fields) payload += f + '\t';
        if (Frame(payload)) return payload;
        auto longest =
            std::max_element(fields.begin(), fields.end(),
                             [](const auto& a, const auto& b) { return a.size() < b.size(); });
        if (longest == fields.end() || longest->empty()) return std::string(head);
        longest->pop_back();
    }
}

// The tab-terminated fields of text, at most count of them; missing ones are empty.
std::vector<std::string> TabFields(std::string_view text, std::size_t count) {
    std::vector<std::string> out;
    while (out.size() < count) {
        const std::size_t tab = text.find('\t');
        if (tab == std::string_view::npos) break;
        out.emplace_back(text.substr(0, tab));
        text.remove_prefix(tab + 1);
    }
    out.resize(count);
    return out;
}

// A server sends at most this many timetable rows; more from a server are not kept.
constexpr std::size_t MaxARSInformationRows = 64;

// FNV-1a over bytes.
void Mix(std::uint64_t& h, std::string_view bytes) {
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
}

template <class List>
void MixList(std::uint64_t& h, const List& list) {
    Mix(h, std::to_string(list.Count()));
    Mix(h, "#");
    for (int i = 0; i < list.Count(); ++i) {
        const auto* o = list.At(i);
        Mix(h, o ? std::string_view(o->ID) : std::string_view("?"));
        Mix(h, "\n");
    }
}

}  // namespace

NetSession::NetSession(Sim& sim, NetTransport& transport) : sim_(sim), transport_(transport) {
    transport_.SetEvents(this);
}

NetSession::~NetSession() {
    transport_.SetEvents(nullptr);
    if (sim_.Broadcaster == this) sim_.Broadcaster = nullptr;
    if (sim_.Messages().Requester == this) sim_.Messages().Requester = nullptr;
    if (role_ == NetRole::Client) sim_.ServerLink = nullptr;
}

void NetSession::Post(const std::string& text) {
    sim_.PostEventMessage(text, EvGeneral);
}

std::string NetSession::AreaFingerprint() const {
    std::uint64_t h = 14695981039346656037ULL;
    MixList(h, sim_.Berths);
    MixList(h, sim_.Points);
    MixList(h, sim_.Routes);
    MixList(h, sim_.Signals);
    MixList(h, sim_.TrackCircuits);
    MixList(h, sim_.Subroutes);
    MixList(h, sim_.Overlaps);
    MixList(h, sim_.Flags);
    MixList(h, sim_.LevelCrossings);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(h));
    return sim_.SimData.AreaID + ":" + buf;
}

std::size_t NetSession::ClientCount() const {
    return static_cast<std::size_t>(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& p) { return p->Open; }));
}

std::size_t NetSession::BufferedBytes() const {
    std::size_t n = server_.Entry.Buffer.capacity();
    for (const auto& p : clients_) n += p->Entry.Buffer.capacity();
    return n;
}

// ---------------------------------------------------------------- server

bool NetSession::Listen(const std::string& address, int port) {
    if (role_ != NetRole::None) return false;
    if (!transport_.Listen(address, port)) {
        Post("Error setting up listening port");
        return false;
    }
    role_ = NetRole::Server;
    sim_.Broadcaster = this;
    return true;
}

void NetSession::StopListening() {
    if (role_ != NetRole::Server) return;
    transport_.StopListening();
    for (auto& p : clients_) Drop(*p);
    resends_.clear();
    Sweep();
    if (sim_.Broadcaster == this) sim_.Broadcaster = nullptr;
    role_ = NetRole::None;
}

void NetSession::SendFullStateToAll() {
    if (role_ != NetRole::Server) return;
    for (auto& p : clients_) {
        if (p->Open) QueueResend(p->Entry.Socket);
    }
}

void NetSession::QueueResend(ConnectionId id) {
    if (std::find(resends_.begin(), resends_.end(), id) == resends_.end()) resends_.push_back(id);
}

void NetSession::Pump() {
    if (busy_ > 0) return;
    while (!resends_.empty()) {
        const ConnectionId id = resends_.front();
        resends_.pop_front();
        Peer* peer = FindClient(id);
        if (peer == nullptr || !peer->Open) continue;
        SendFullState(*peer);
        break;
    }
    Sweep();
}

template <class F>
void NetSession::ForEachStateObject(F&& send) {
    int slot = 0;
    auto each = [&](auto& list, auto state) {
        for (int i = 0; i < list.Count(); ++i, ++slot) {
            if (auto* o = list.At(i)) send(slot, [&] { state(*o); });
        }
    };
    each(sim_.ARSSubAreas, [](TARS& a) { a.SendState(); });
    each(sim_.Berths, [](TBER& b) { b.SendBerthState(); });
    each(sim_.Flags, [](TFLG& f) { f.SendState(); });
    each(sim_.Points, [](TPTS& p) { p.SendState(); });
    each(sim_.Routes, [](TROU& r) { r.SendState(); });
    each(sim_.Signals, [](TSIG& s) { s.SendState(); });
    each(sim_.TrackCircuits, [](TTCS& t) { t.SendState(); });
    each(sim_.Subroutes, [](TULC& u) { u.SendState(); });
    each(sim_.LevelCrossings, [](TLevelCrossing& lx) { lx.SendState(); });
}

void NetSession::SendFullState(Peer& peer) {
    ++busy_;
    Post("Sending client initialisation data...");
    resendTarget_ = &peer;
    // Each list's state messages, in the order the clients build them, while the
    // client is still there.
    ForEachStateObject([&](int, auto send) {
        if (peer.Open) send();
    });
    if (peer.Open) SendClock();
    resendTarget_ = nullptr;
    SendTo(peer, "IA");
    Post("...done");
    --busy_;
}

// ---------------------------------------------------------------- client

bool NetSession::Connect(const std::string& host, int port) {
    if (role_ != NetRole::None) return false;
    ResetOwnSimulation();
    Post("Attempting to connect to server");
    sim_.ClientMode = true;
    role_ = NetRole::Client;
    initialised_ = false;
    linkUp_ = false;
    arsInfoOpen_ = false;
    server_ = Peer{};
    server_.Address = host;
    server_.Entry.Socket = transport_.Connect(host, port);
    if (server_.Entry.Socket == NoConnection) {
        Disconnect();
        Post("Failed to connect to server");
        return false;
    }
    server_.Open = true;
    sim_.ServerLink = [this](const std::string& payload) {
        if (Connected()) SendTo(server_, payload);
    };
    return true;
}

void NetSession::Disconnect() {
    if (role_ != NetRole::Client) return;
    if (server_.Open) transport_.Close(server_.Entry.Socket);
    server_ = Peer{};
    sim_.ServerLink = nullptr;
    sim_.ClientMode = false;
    initialised_ = false;
    role_ = NetRole::None;
    // The mirrored panel must not start simulating on its own: start afresh.
    ResetOwnSimulation();
    Post("Disconnected from server");
}

void NetSession::Refresh() {
    if (Connected()) SendTo(server_, "IC");
}

void NetSession::ResetOwnSimulation() {
    sim_.ResetSimulation();
    sim_.Display().RedrawPanel();
}

void NetSession::SendChatMessage(const std::string& text) {
    char head[8];
    std::snprintf(head, sizeof head, "MA%02X", static_cast<unsigned>(EvTelephone));
    const std::string clean = Printable(text);
    const std::string payload = head + clean.substr(0, FittingLength(head, clean));
    if (role_ == NetRole::Client) {
        if (Connected()) SendTo(server_, payload);
    } else if (role_ == NetRole::Server) {
        Broadcast(payload);
    }
}

// ---------------------------------------------------------------- transport events

NetSession::Peer* NetSession::FindClient(ConnectionId id) {
    for (auto& p : clients_) {
        if (p->Entry.Socket == id) return p.get();
    }
    return nullptr;
}

void NetSession::OnConnected(ConnectionId id, const std::string& address) {
    if (role_ == NetRole::Client) {
        if (server_.Open && id == server_.Entry.Socket)
            Post("Connected to server at " + server_.Address);
        return;
    }
    if (role_ != NetRole::Server || ClientCount() >= MaxClients) {
        transport_.Close(id);
        return;
    }
    Sweep();
    auto peer = std::make_unique<Peer>();
    peer->Entry.Socket = id;
    peer->Address = address;
    peer->Open = true;
    Peer& p = *peer;
    clients_.push_back(std::move(peer));
    Post("Client " + address + " connecting");
    SendTo(p, "IB" + AreaFingerprint());
}

void NetSession::OnData(ConnectionId id, const char* data, std::size_t size) {
    Peer* peer = nullptr;
    if (role_ == NetRole::Server) {
        peer = FindClient(id);
    } else if (role_ == NetRole::Client && server_.Open && id == server_.Entry.Socket) {
        peer = &server_;
    }
    if (peer == nullptr || !peer->Open) return;
    ++busy_;
    peer->Entry.Feed(data, size, [&](const std::string& payload) {
        Dispatch(*peer, payload);
        return peer->Open;
    });
    // A frame that never ends keeps no more than the frame limit.
    if (peer->Entry.InFrame == 0) peer->Entry.Buffer.shrink_to_fit();
    --busy_;
    Pump();
}

void NetSession::OnDisconnected(ConnectionId id) {
    if (role_ == NetRole::Client) {
        if (server_.Open && id == server_.Entry.Socket) {
            if (!linkUp_) {
                // The server never answered: back to playing alone.
                server_.Open = false;
                Disconnect();
                Post("Failed to connect to server");
                return;
            }
            server_.Open = false;
            server_.Entry = TSocketEntry{};
            initialised_ = false;
            // ClientMode stays: the panel keeps the last state until Disconnect.
            Post("Disconnected from server at " + server_.Address);
        }
        return;
    }
    Peer* peer = FindClient(id);
    if (peer == nullptr || !peer->Open) return;
    peer->Open = false;
    Post("Client " + peer->Address + " disconnecting");
    Sweep();
}

void NetSession::Drop(Peer& peer) {
    if (!peer.Open) return;
    peer.Open = false;
    transport_.Close(peer.Entry.Socket);
    if (&peer != &server_) Post("Client " + peer.Address + " disconnecting");
}

void NetSession::Sweep() {
    if (busy_ > 0 || current_ != nullptr) return;
    std::erase_if(clients_, [](const auto& p) { return !p->Open; });
}

// ---------------------------------------------------------------- sending

void NetSession::SendTo(Peer& peer, std::string_view payload) {
    if (!peer.Open) return;
    const std::optional<std::string> frame = Frame(payload);
    if (!frame) return;
    transport_.Send(peer.Entry.Socket, *frame);
    if (&peer != &server_ && transport_.Pending(peer.Entry.Socket) > MaxPendingOutput) Drop(peer);
}

void NetSession::Broadcast(const std::string& payload) {
    if (role_ != NetRole::Server) return;
    if (resendTarget_ != nullptr) {
        SendTo(*resendTarget_, payload);
        return;
    }
    ++busy_;
    for (std::size_t i = 0; i < clients_.size(); ++i) SendTo(*clients_[i], payload);
    --busy_;
}

void NetSession::Reply(const std::string& payload) {
    if (current_ != nullptr) SendTo(*current_, payload);
}

void NetSession::SendClock() {
    char buf[24];
    std::snprintf(buf, sizeof buf, "LA%08X%08X", static_cast<std::uint32_t>(sim_.SimTime),
                  static_cast<std::uint32_t>(sim_.MajorCycleInterval));
    Broadcast(buf);
}

// ---------------------------------------------------------------- dispatch

void NetSession::Dispatch(Peer& peer, std::string_view payload) {
    if (payload.size() < 2) return;
    if (role_ == NetRole::Server) {
        current_ = &peer;
        sim_.Messages().Requester = this;
        DispatchFromClient(peer, payload);
        sim_.Messages().Requester = nullptr;
        current_ = nullptr;
    } else if (role_ == NetRole::Client) {
        DispatchFromServer(payload);
    }
}

void NetSession::DispatchFromClient(Peer& peer, std::string_view payload) {
    const std::string_view code = payload.substr(0, 2);
    if (Is(code, "IC")) {
        QueueResend(peer.Entry.Socket);
    } else if (Is(code, "MA")) {
        HandleChat(payload, true);
    } else if (Is(code, "PB") || Is(code, "PC") || Is(code, "PD") || Is(code, "PE")) {
        sim_.Points.HandleClientMessage(payload);
    } else if (Is(code, "CA")) {
        if (peer.Assessor) sim_.Points.HandleClientMessage(payload);
    } else if (Is(code, "CB")) {
        if (peer.Assessor) sim_.Signals.HandleClientMessage(payload);
    } else if (Is(code, "CC")) {
        if (peer.Assessor) sim_.TrackCircuits.HandleClientMessage(payload);
    } else if (Is(code, "QC") || Is(code, "QD") ||
               (code[0] == 'S' && code[1] >= 'B' && code[1] <= 'U')) {
        sim_.Signals.HandleClientMessage(payload);
    } else if (Is(code, "BB") || Is(code, "BC")) {
        sim_.Berths.HandleClientMessage(payload);
    } else if (Is(code, "AG") || Is(code, "AH") || Is(code, "AI") || Is(code, "AJ")) {
        // A refusal goes back to this client alone.
        const std::string refusal = sim_.ARSSubAreas.HandleClientMessage(payload);
        if (!refusal.empty()) sim_.PostEventMessage(refusal, EvARSMessage);
    } else if (Is(code, "AA") || Is(code, "AB") || Is(code, "AC") || Is(code, "AE") ||
               Is(code, "AF")) {
        // The ARS train commands' answers go back to this client alone.
        sim_.ARSTrains().HandleClientMessage(payload);
    } else if (Is(code, "AO")) {
        AnswerARSInformation(payload);
    }
    // "AK" (a run to a timing pattern without the pattern's name) cannot be carried
    // out and is ignored. Every other code (state records, handshake, clock) is the server's to
    // send.
}

void NetSession::DispatchFromServer(std::string_view payload) {
    const std::string_view code = payload.substr(0, 2);
    if (Is(code, "IB")) {
        // The server has taken us on.
        linkUp_ = true;
        if (payload.substr(2) != AreaFingerprint()) {
            Post("Server is running different Kestra!");
            return;
        }
        Post("Connected to server");
        SendTo(server_, "IC");
    } else if (Is(code, "IA")) {
        initialised_ = true;
        Post("Initialisation from server complete");
    } else if (Is(code, "LA")) {
        HandleClock(payload);
    } else if (Is(code, "MA")) {
        HandleChat(payload, false);
    } else if (Is(code, "AD")) {
        sim_.ARSSubAreas.HandleClientMessage(payload);
    } else if (Is(code, "AL") || Is(code, "AM") || Is(code, "AN")) {
        TakeARSInformation(payload);
    } else if (Is(code, "BA")) {
        sim_.Berths.HandleClientMessage(payload);
    } else if (Is(code, "PA")) {
        sim_.Points.HandleClientMessage(payload);
    } else if (Is(code, "RA")) {
        sim_.Routes.HandleClientMessage(payload);
    } else if (Is(code, "SA")) {
        sim_.Signals.HandleClientMessage(payload);
    } else if (Is(code, "TA")) {
        sim_.TrackCircuits.HandleClientMessage(payload);
    } else if (Is(code, "UA")) {
        sim_.Subroutes.HandleClientMessage(payload);
    } else if (Is(code, "FA")) {
        sim_.Flags.HandleClientMessage(payload);
    } else if (Is(code, "LX")) {
        sim_.LevelCrossings.HandleClientMessage(payload);
    }
}

void NetSession::HandleClock(std::string_view payload) {
    if (payload.size() != 18) return;
    const std::int64_t time = ParseHex8(payload.substr(2, 8));
    const std::int64_t interval = ParseHex8(payload.substr(10, 8));
    if (time < 0 || time > 0x7FFFFFFF) return;
    if (interval < FastestCycleInterval || interval > SlowestCycleInterval) return;
    sim_.SimTime = static_cast<std::int32_t>(time);
    sim_.MajorCycleInterval = static_cast<std::int32_t>(interval);
    sim_.Display().RedrawStatus();
}

void NetSession::HandleChat(std::string_view payload, bool fromClient) {
    if (payload.size() < 4) return;
    const int hi = HexDigitValue(payload[2]);
    const int lo = HexDigitValue(payload[3]);
    if (hi < 0 || lo < 0) return;
    const int type = hi * 16 + lo;
    if (fromClient) {
        // A client may only talk: no other type (some open a box on the server).
        if (type != EvTelephone) return;
        // Shown here and not passed back to the client.
        RequestingClient* saved = sim_.Messages().Requester;
        sim_.Messages().Requester = nullptr;
        sim_.PostEventMessage(Printable(payload.substr(4)), EvTelephone);
        sim_.Messages().Requester = saved;
        return;
    }
    sim_.Messages().HandleClientMessage(payload);
}

void NetSession::AnswerARSInformation(std::string_view payload) {
    // "AO", the description as the client saw it, the berth's position.
    if (payload.size() != 10) return;
    const int index = ParseHex4(payload.substr(6, 4));
    if (index < 0 || index >= sim_.Berths.Count()) return;
    TBER* berth = sim_.Berths.At(index);
    if (berth == nullptr) return;
    const std::string description(payload.substr(2, 4));
    const TARSTrain* t = sim_.ARSTrains().FindForCommand(berth, description);
    if (t == nullptr) return;
    if (!t->HasTimetable || !t->Timetable) {
        sim_.PostEventMessage(t->Description + " has no/invalid timetable data", EvARSMessage);
        return;
    }
    const ARSInformation info = BuildARSInformation(*t);
    const std::string shown = TBER::FormatDescription(t->Description);
    Reply(FittedRecord("AL" + shown, {info.Description, info.Status, info.Delay}));
    for (const auto& row : info.Rows) Reply(FittedRecord("AM", row));
    Reply("AN");
}

void NetSession::TakeARSInformation(std::string_view payload) {
    const std::string_view code = payload.substr(0, 2);
    if (code == "AL") {
        if (payload.size() < 6) return;
        arsInfo_ = ARSInformation{};
        arsInfo_.Caption = "ARS Information for train " + std::string(payload.substr(2, 4));
        const std::vector<std::string> f = TabFields(payload.substr(6), 3);
        arsInfo_.Description = f[0];
        arsInfo_.Status = f[1];
        arsInfo_.Delay = f[2];
        arsInfoOpen_ = true;
    } else if (code == "AM") {
        if (!arsInfoOpen_ || arsInfo_.Rows.size() >= MaxARSInformationRows) return;
        arsInfo_.Rows.push_back(TabFields(payload.substr(2), 7));
    } else if (code == "AN") {
        if (!arsInfoOpen_) return;
        arsInfoOpen_ = false;
        sim_.Dialog().ShowARSInformation(arsInfo_);
        arsInfo_ = ARSInformation{};
    }
}

}  // namespace kestra::net
