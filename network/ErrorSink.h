#pragma once

#include "foundation/Exception.h"

#include <cxxabi.h>
#include <exception>
#include <functional>

namespace orvane {

// Where a thread that runs other code's work (an event loop, a work queue) tells what that
// work threw, so that nothing ends quietly; the thread itself goes on.
using ErrorSink = std::function<void(const char* what)>;

// Runs the work and tells the sink, when there is one, what escaped it. A thread being
// cancelled unwinds on.
template <class Work> void runReportingErrors(const ErrorSink& sink, Work&& work)
{
    try {
        work();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::exception& e) {
        if (sink)
            sink(e.what());
    } catch (const Exception&) {
        if (sink)
            sink("a failure its code did not catch");
    } catch (...) {
        if (sink)
            sink("an unknown exception");
    }
}

} // namespace orvane
