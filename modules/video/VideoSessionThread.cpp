#include "modules/video/VideoSessionThread.h"

#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "modules/video/VideoFrameSource.h"
#include "modules/video/VideoPacket.h"
#include "modules/video/VideoSessionWindow.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

namespace orvane {

VideoSessionThread::VideoSessionThread() : VideoSessionThread(Settings{}) {}

VideoSessionThread::VideoSessionThread(const Settings& settings)
    : settings_(settings), packet_(1000)
{
    packet_.setCapacity(1000);
}

VideoSessionThread::~VideoSessionThread()
{
    endSession();
    stop(true);
    // A channel handed over to a thread that never ran is still ours.
    if (IModuleConnection* connection = connection_.exchange(nullptr))
        connection->close();
}

void VideoSessionThread::run()
{
    try {
        loop();
    } catch (const ThreadStopException&) {
        end(EndReason::Ended);
    } catch (const Exception&) {
        end(EndReason::Failed);
    } catch (const IModuleConnection::ConnectionException&) {
        end(EndReason::ChannelClosed);
    } catch (const std::exception&) {
        end(EndReason::Failed);
    }
    // However the session ended, the channel is closed and the window told.
    running_.store(false);
    closeConnection();
}

void VideoSessionThread::end(EndReason reason)
{
    EndReason none = EndReason::None;
    endReason_.compare_exchange_strong(none, reason);
}

void VideoSessionThread::loop()
{
    running_.store(true);
    if (window_)
        window_->OnSessionStarted();
    if (!connection_.load()) {
        IContact* contact = window_ ? window_->getContact() : nullptr;
        // The contact's name is copied now: the record may go with the next sign-in.
        const std::string name = contact ? contact->getDisplayName() : "";
        IModuleConnection* opened = host_ && contact ? host_->openTcpConnection(contact->getId()) : nullptr;
        if (!opened) {
            if (window_) {
                char text[512];
                std::snprintf(text, sizeof text, CantConnectFormat, name.c_str());
                window_->SetStatusLine(text);
            }
            end(EndReason::NoConnection);
            return;
        }
        connection_.store(opened);
    }
    try {
        exchange(*connection_.load());
    } catch (const IModuleConnection::ConnectionException&) {
        end(EndReason::ChannelClosed);
    }
}

void VideoSessionThread::exchange(IModuleConnection& connection)
{
    sendRequest(connection);
    while (!endRequested_.load()) {
        Thread::checkStop();
        if (peerAsked_) {
            answerRequest(connection);
            peerAsked_ = false;
        }
        int waitMs = settings_.receiveWaitMs;
        if (peerReplied_)
            waitMs = static_cast<int>(std::clamp<int64_t>(nextRequestAt_ - monotonicMillis(), 0, waitMs));
        int length = 0;
        try {
            length = connection.receive(waitMs);
        } catch (const TimeoutException&) {
            length = 0;
        }
        // A closed datagram channel answers -1 at once, for ever.
        if (length < 0) {
            end(EndReason::ChannelClosed);
            return;
        }
        if (length > 0 && !handlePacket(connection.data(), length)) {
            end(EndReason::MalformedPacket);
            return;
        }
        if (peerReplied_ && monotonicMillis() >= nextRequestAt_)
            sendRequest(connection);
    }
    end(EndReason::Ended);
}

void VideoSessionThread::closeConnection()
{
    IModuleConnection* connection = connection_.exchange(nullptr);
    if (!connection)
        return;
    connection->close();
    if (window_)
        window_->OnConnectionClosed();
}

void VideoSessionThread::sendRequest(IModuleConnection& connection)
{
    VideoPacket::writeFrameRequest(packet_);
    connection.send(packet_.data(), packet_.count());
    peerReplied_ = false;
}

bool VideoSessionThread::handlePacket(const uint8_t* bytes, int length)
{
    const int64_t now = monotonicMillis();
    switch (remote_.take(bytes, length, highlight_.load(), settings_.highlightMask)) {
    case RemotePicture::Taken::Request:
        peerAsked_ = true;
        break;
    case RemotePicture::Taken::Picture:
        if (window_) {
            const VideoImage& image = remote_.image();
            window_->ShowRemote(image.pixels(), image.width(), image.height());
        }
        peerReplied_ = true;
        nextRequestAt_ = now;
        break;
    case RemotePicture::Taken::Answer:
        peerReplied_ = true;
        nextRequestAt_ = now;
        break;
    case RemotePicture::Taken::NoFrame:
        peerReplied_ = true;
        nextRequestAt_ = now + settings_.noFramePauseMs;
        break;
    case RemotePicture::Taken::Ignored:
        break;
    case RemotePicture::Taken::Refused:
        return false;
    }
    return true;
}

void VideoSessionThread::answerRequest(IModuleConnection& connection)
{
    localImage_.clear();
    if (frameSource_) {
        const int width = window_ ? window_->getSendWidth() : 0;
        const int height = window_ ? window_->getSendHeight() : 0;
        frameSource_->getFrame(&localImage_, width, height);
    }
    // Without a picture of our own the peer gets its own last one back, framed in yellow.
    if (localImage_.isEmpty() && !remote_.image().isEmpty()) {
        localImage_ = remote_.image();
        VideoImage::drawCornerBrackets(localImage_);
    }
    sendFrame(connection, localImage_);
}

void VideoSessionThread::sendFrame(IModuleConnection& connection, VideoImage& image)
{
    const ByteArray& packet = sender_.packetFor(image);
    connection.send(packet.data(), packet.count());
    if (!image.isEmpty() && window_)
        window_->ShowLocal(image.pixels(), image.width(), image.height());
}

} // namespace orvane
