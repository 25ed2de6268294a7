#pragma once
// The network port on Qt's sockets: one QTcpServer for a server's listening socket,
// QTcpSockets for the connections, all on the GUI thread (or the dedicated server's
// event loop), so the engine hears of every event on the simulation's thread.

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>

#include "core/net_transport.h"

namespace kestra::app {

class QtNetTransport final : public QObject, public NetTransport {
    Q_OBJECT
  public:
    explicit QtNetTransport(QObject* parent = nullptr);
    ~QtNetTransport() override;

    void SetEvents(NetEvents* events) override { events_ = events; }
    bool Listen(const std::string& address, int port) override;
    void StopListening() override;
    ConnectionId Connect(const std::string& host, int port) override;
    void Send(ConnectionId id, const std::string& bytes) override;
    std::size_t Pending(ConnectionId id) const override;
    void Close(ConnectionId id) override;

    // The port actually listened on (useful with port 0).
    int ListeningPort() const;

  private:
    ConnectionId Adopt(QTcpSocket* socket, bool accepted);
    QTcpSocket* Find(ConnectionId id) const;

    QTcpServer server_;
    std::map<ConnectionId, QPointer<QTcpSocket>> sockets_;
    NetEvents* events_ = nullptr;
    ConnectionId next_ = 1;
};

}  // namespace kestra::app
