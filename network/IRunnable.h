#pragma once

namespace orvane {

// A job for a ThreadPool. The worker that runs it deletes it afterwards when
// deleteWhenDone answers true.
class IRunnable {
public:
    virtual ~IRunnable() = default;
    // Should let no exception escape; a worker survives one that does, and drops it.
    virtual void run() = 0;
    virtual bool deleteWhenDone() = 0;
};

} // namespace orvane
