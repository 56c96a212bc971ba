#pragma once

#include "core/Message.h"
#include "core/link/SignInReply.h"
#include "core/module/ModuleInterfaces.h"
#include "foundation/Socket.h"
#include "foundation/XmlNode.h"

#include <memory>

namespace orvane {

// One record of the application's event queue: what a worker thread hands to the
// user-interface thread to be run there, in arrival order, under the application lock.
struct AppEvent {
    enum Kind {
        // A frame received from the server; param is the server socket.
        ServerFrame = 100,
        // A peer connection ready for a module; param is its socket, record the hand-over
        // record with "module_id" and "sender_id".
        PeerConnection = 200,
        // A datagram channel ready for a module; channel is the channel, record as for a
        // peer connection.
        PeerChannel = 201,
        // A successful sign-in reply, whose contacts are applied on the user-interface
        // thread ahead of every frame of the link it opens.
        SignInReplyReady = 300,
    };

    AppEvent() = default;
    // A peer socket or channel that no handler took (the program ends with it queued) is
    // closed, not lost.
    ~AppEvent()
    {
        if (kind == PeerConnection)
            closeSocket(param);
        if (channel)
            channel->close();
    }
    AppEvent(const AppEvent&) = delete;
    AppEvent& operator=(const AppEvent&) = delete;

    int kind = 0;
    int param = 0;
    Message frame{250};
    XmlNode record;
    std::unique_ptr<SignInReply> reply;
    IModuleConnection* channel = nullptr;
};

} // namespace orvane
