#pragma once

#include "core/channels/Packet.h"
#include "core/module/ModuleInterfaces.h"
#include "foundation/Containers.h"
#include "foundation/Socket.h"

namespace orvane {

// A module's channel over a connected TCP socket, one Packet frame per unit. It owns the
// socket from construction; close shuts it down and destroys the object. No lock: one
// module thread at a time sends and receives. Every failure of the link, a frame that is
// not a frame included, is a ConnectionException; a time-out is not a failure.
class TcpModuleConnection : public IModuleConnection {
public:
    // The reader's time-out until a receive sets its own.
    static constexpr int DefaultTimeoutMs = 250;

    explicit TcpModuleConnection(SocketHandle socket);
    virtual ~TcpModuleConnection();
    TcpModuleConnection(const TcpModuleConnection&) = delete;
    TcpModuleConnection& operator=(const TcpModuleConnection&) = delete;

    void send(const void* data, int length) override;
    // The length of the next frame; 0 when none was complete in time (the partial frame is
    // kept for the next call).
    int receive(int timeoutMs) override;
    const uint8_t* data() override { return received_.data(); }
    int size() override { return received_.count(); }
    void close() override;

    SocketHandle socket() const { return socket_; }

private:
    SocketHandle socket_;
    Packet packet_;
    ByteArray received_;
};

} // namespace orvane
