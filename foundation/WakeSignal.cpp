#include "foundation/WakeSignal.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace orvane {

WakeSignal::WakeSignal() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void WakeSignal::signal()
{
    const uint64_t one = 1;
    ssize_t ignored = ::write(fd_, &one, sizeof one);
    (void)ignored; // a full counter is already a pending wake-up
}

void WakeSignal::drain()
{
    uint64_t count;
    ssize_t ignored = ::read(fd_, &count, sizeof count);
    (void)ignored; // nothing pending reads as EAGAIN
}

} // namespace orvane
