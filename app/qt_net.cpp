#include "qt_net.h"

namespace kestra::app {

QtNetTransport::QtNetTransport(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            const ConnectionId id = Adopt(s, true);
            if (events_) events_->OnConnected(id, s->peerAddress().toString().toStdString());
        }
    });
}

QtNetTransport::~QtNetTransport() {
    events_ = nullptr;
    for (auto& [id, s] : sockets_) {
        if (s) {
            s->disconnect(this);
            s->abort();
            delete s.data();
        }
    }
}

bool QtNetTransport::Listen(const std::string& address, int port) {
    QHostAddress host;
    if (!host.setAddress(QString::fromStdString(address))) return false;
    if (port < 0 || port > 65535) return false;
    return server_.listen(host, static_cast<quint16>(port));
}

void QtNetTransport::StopListening() {
    server_.close();
}

int QtNetTransport::ListeningPort() const {
    return server_.isListening() ? server_.serverPort() : -1;
}

ConnectionId QtNetTransport::Connect(const std::string& host, int port) {
    if (host.empty() || port <= 0 || port > 65535) return NoConnection;
    auto* s = new QTcpSocket(this);
    const ConnectionId id = Adopt(s, false);
    connect(s, &QTcpSocket::connected, this, [this, id, s] {
        if (events_) events_->OnConnected(id, s->peerAddress().toString().toStdString());
    });
    s->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    return id;
}

ConnectionId QtNetTransport::Adopt(QTcpSocket* s, bool accepted) {
    const ConnectionId id = next_++;
    if (accepted) s->setParent(this);
    sockets_[id] = s;
    connect(s, &QTcpSocket::readyRead, this, [this, id, s] {
        // Read in bounded pieces: the session's frames are small and a flood must not
        // be gathered in one piece.
        char buf[4096];
        while (Find(id) == s && s->bytesAvailable() > 0) {
            const qint64 n = s->read(buf, sizeof buf);
            if (n <= 0) break;
            if (events_) events_->OnData(id, buf, static_cast<std::size_t>(n));
        }
    });
    auto gone = [this, id, s] {
        if (Find(id) != s) return;
        sockets_.erase(id);
        s->deleteLater();
        if (events_) events_->OnDisconnected(id);
    };
    connect(s, &QTcpSocket::disconnected, this, gone);
    connect(s, &QTcpSocket::errorOccurred, this, gone);
    return id;
}

QTcpSocket* QtNetTransport::Find(ConnectionId id) const {
    auto it = sockets_.find(id);
    return it == sockets_.end() ? nullptr : it->second.data();
}

void QtNetTransport::Send(ConnectionId id, const std::string& bytes) {
    if (QTcpSocket* s = Find(id)) s->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::size_t QtNetTransport::Pending(ConnectionId id) const {
    const QTcpSocket* s = Find(id);
    return s ? static_cast<std::size_t>(s->bytesToWrite()) : 0;
}

void QtNetTransport::Close(ConnectionId id) {
    QTcpSocket* s = Find(id);
    if (!s) return;
    sockets_.erase(id);
    s->disconnect(this);
    s->abort();
    s->deleteLater();
}

}  // namespace kestra::app
