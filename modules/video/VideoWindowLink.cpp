#include "modules/video/VideoWindowLink.h"

#include <algorithm>
#include <utility>

namespace orvane {

VideoWindowLink::VideoWindowLink(Clock clock) : clock_(std::move(clock)) {}

void VideoWindowLink::attach(RepaintHook hook)
{
    std::lock_guard<std::mutex> guard(hookLock_);
    hook_ = std::move(hook);
    closing_.store(false);
}

void VideoWindowLink::detach()
{
    closing_.store(true);
    std::lock_guard<std::mutex> guard(hookLock_);
    hook_ = nullptr;
}

void VideoWindowLink::Repaint()
{
    if (closing_.load() || repaintPending_.exchange(true))
        return;
    std::lock_guard<std::mutex> guard(hookLock_);
    if (hook_ && !closing_.load())
        hook_();
    else
        repaintPending_.store(false);
}

void VideoWindowLink::SetStatusLine(const char* text)
{
    {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.clear();
    }
    AddLine(text ? text : "");
}

void VideoWindowLink::OnSessionStarted()
{
    {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.assign(1, SessionStartedText);
        lines_.insert(lines_.end(), sessionLines_.begin(), sessionLines_.end());
        linesClearTime_ = clock_() + LineSeconds;
    }
    Repaint();
}

void VideoWindowLink::AddSessionLine(const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(linesLock_);
        sessionLines_.push_back(text);
    }
    AddLine(text);
}

void VideoWindowLink::AddLine(const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.push_back(text);
        linesClearTime_ = clock_() + LineSeconds;
    }
    Repaint();
}

void VideoWindowLink::ClearLines()
{
    {
        std::lock_guard<std::mutex> guard(linesLock_);
        lines_.clear();
    }
    Repaint();
}

std::vector<std::string> VideoWindowLink::linesToDraw(bool connected)
{
    std::lock_guard<std::mutex> guard(linesLock_);
    if (connected && clock_() >= linesClearTime_)
        lines_.clear();
    return lines_;
}

std::vector<std::string> VideoWindowLink::lines()
{
    std::lock_guard<std::mutex> guard(linesLock_);
    return lines_;
}

void VideoWindowLink::ShowRemote(const uint32_t* pixels, int width, int height)
{
    if (closing_.load())
        return;
    {
        std::lock_guard<std::mutex> guard(remoteLock_);
        remoteImage_.setPixels(pixels, width, height);
        remoteDirty_ = true;
    }
    placeholderShown_.store(false);
    Repaint();
}

void VideoWindowLink::ShowLocal(const uint32_t* pixels, int width, int height)
{
    if (closing_.load())
        return;
    {
        std::lock_guard<std::mutex> guard(localLock_);
        localImage_.setPixels(pixels, width, height);
        localDirty_ = true;
    }
    // A still peer answers "no frame" and sends no picture that would repaint for ours.
    Repaint();
}

void VideoWindowLink::setPlaceholder(const VideoImage& picture)
{
    std::lock_guard<std::mutex> guard(remoteLock_);
    remoteImage_ = picture;
    remoteDirty_ = true;
}

bool VideoWindowLink::takeRemote(VideoImage& into)
{
    std::lock_guard<std::mutex> guard(remoteLock_);
    if (!remoteDirty_)
        return false;
    into = remoteImage_;
    remoteDirty_ = false;
    return true;
}

bool VideoWindowLink::takeLocal(VideoImage& into)
{
    std::lock_guard<std::mutex> guard(localLock_);
    if (!localDirty_)
        return false;
    into = localImage_;
    localDirty_ = false;
    return true;
}

void VideoWindowLink::SetSendQuality(int quality)
{
    const int q = std::clamp(quality, 1, 100);
    sendWidth_.store(static_cast<int>(q * 0.01 * 120));
    sendHeight_.store(static_cast<int>(q * 0.01 * 90));
}

} // namespace orvane
