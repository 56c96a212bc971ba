#include "modules/video/CFrameGrabber.h"

#include "foundation/Clock.h"

namespace orvane {

std::atomic<CFrameGrabber*> CFrameGrabber::current_{nullptr};

CFrameGrabber::CFrameGrabber()
    : clock_([] { return static_cast<uint32_t>(monotonicMillis()); })
{
}

CFrameGrabber::~CFrameGrabber() { Destroy(); }

bool CFrameGrabber::Create(std::unique_ptr<CaptureSource> source)
{
    if (!source || source_)
        return false;
    CFrameGrabber* none = nullptr;
    if (!current_.compare_exchange_strong(none, this))
        return false;
    if (!source->open()) {
        current_.store(nullptr);
        return false;
    }
    source_ = std::move(source);
    hasFrame_ = false;
    return true;
}

const ByteArray* CFrameGrabber::GrabFrame()
{
    if (!source_)
        return hasFrame_ ? &buffer_ : nullptr;
    uint32_t now = clock_();
    if (hasFrame_ && now - lastFrameTime_ <= MinGrabSpacingMs)
        return &buffer_;
    ++grabCount_;
    // A failed grab may leave half a frame behind: the last whole one stays.
    if (source_->grab(incoming_)) {
        buffer_.swap(incoming_);
        hasFrame_ = true;
        lastFrameTime_ = now;
    }
    return hasFrame_ ? &buffer_ : nullptr;
}

void CFrameGrabber::Destroy()
{
    if (!source_)
        return;
    source_->close();
    source_.reset();
    CFrameGrabber* self = this;
    current_.compare_exchange_strong(self, nullptr);
}

} // namespace orvane
