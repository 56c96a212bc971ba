#include "network/ThreadPool.h"

#include "foundation/Exception.h"
#include "foundation/Socket.h"

#include <cxxabi.h>
#include <memory>

namespace orvane {

// ---------------------------------------------------------------------------------------
// PoolWorker

PoolWorker::PoolWorker(ThreadPool* owner) : pool(owner) {}

PoolWorker::~PoolWorker() = default;

bool PoolWorker::deleteWhenDone()
{
    MonitorLock guard(workerMonitor);
    return !keep;
}

void PoolWorker::assign(IRunnable* next)
{
    MonitorLock guard(workerMonitor);
    job.store(next);
    workerMonitor.notify();
}

void PoolWorker::dismiss(bool ownerDeletes)
{
    // The stop request is raised while the worker's monitor is held, and the worker tests
    // it under the same monitor just before it waits: either it sees the request, or it is
    // already waiting when the notify below comes. A wake-up cannot fall in between.
    MonitorLock guard(workerMonitor);
    keep = ownerDeletes;
    Thread::stop(false);
    workerMonitor.notify();
}

void PoolWorker::runJob(IRunnable* current)
{
    // Whatever the job throws stays here: the worker is still listed in its pool, so it
    // must live on and take the next job.
    try {
        current->run();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
    bool dispose = false;
    try {
        dispose = current->deleteWhenDone();
    } catch (...) {
    }
    if (dispose)
        delete current;
}

void PoolWorker::run()
{
    // The start-up only makes sure that SIGPIPE cannot end the process; the sends of the
    // jobs guard against it themselves, so a refusal here does not keep the worker from work.
    try {
        socketStartup();
    } catch (const Exception&) {
    }
    for (;;) {
        IRunnable* current;
        {
            MonitorLock guard(workerMonitor);
            // A job handed over is run even when a stop request came with it: the worker
            // owns it, and nobody else would run or delete it.
            while (!(current = job.load()) && !stopRequested.load())
                workerMonitor.wait(-1);
        }
        if (!current)
            break;
        runJob(current);
        job.store(nullptr);
        {
            // A worker that its own job took out of the pool ends on its own: the pool may
            // be gone by now.
            MonitorLock guard(workerMonitor);
            if (stopRequested.load() && !keep)
                break;
        }
        pool->workerFreed();
    }
    socketCleanup();
}

// ---------------------------------------------------------------------------------------
// ThreadPool

ThreadPool::ThreadPool(int n) : limit(n < 0 ? 0 : n) {}

ThreadPool::~ThreadPool()
{
    resize(0);
}

bool ThreadPool::execute(IRunnable* job)
{
    MonitorLock guard(poolMonitor);
    for (;;) {
        for (PoolWorker* w : workers) {
            if (!w->isBusy()) {
                w->assign(job);
                return true;
            }
        }
        if (workers.count() < limit) {
            try {
                PoolWorker* w = addWorker();
                w->assign(job);
                return true;
            } catch (const ThreadCreateException&) {
                // The job must not go to a worker that never runs. With workers left, one
                // of them takes it once it is free; without any, nobody ever would.
                if (workers.isEmpty())
                    throw;
            }
        }
        Thread* caller = Thread::currentThread();
        if (caller && caller->isStopRequested())
            return false;
        poolMonitor.wait(-1);
    }
}

PoolWorker* ThreadPool::addWorker()
{
    std::unique_ptr<PoolWorker> w(new PoolWorker(this));
    w->init();
    workers.add(w.get());
    try {
        w->start();
    } catch (...) {
        workers.removeAt(workers.count() - 1);
        throw;
    }
    return w.release();
}

void ThreadPool::workerFreed()
{
    poolMonitor.notify();
}

void ThreadPool::interruptWait()
{
    poolMonitor.notify();
}

void ThreadPool::setLimit(int n)
{
    if (n < 0)
        n = 0;
    int surplus;
    {
        MonitorLock guard(poolMonitor);
        limit = n;
        surplus = workers.count() - n;
        if (surplus <= 0)
            poolMonitor.notify(); // a caller waiting in execute may now add a worker
    }
    if (surplus > 0)
        resize(n);
}

void ThreadPool::resize(int n)
{
    if (n < 0)
        n = 0;
    int surplus = 0;
    {
        MonitorLock guard(poolMonitor);
        if (n > limit)
            limit = n;
        if (n > workers.count()) {
            while (workers.count() < n)
                addWorker();
            poolMonitor.notify(); // idle workers appeared for a caller waiting in execute
        } else {
            surplus = workers.count() - n;
        }
    }
    if (surplus > 0)
        removeWorkers(surplus);
}

void ThreadPool::removeWorkers(int k)
{
    Array<PoolWorker*> removed;
    {
        MonitorLock guard(poolMonitor);
        int count = workers.count();
        if (k > count)
            k = count;
        for (int i = count - k; i < count; ++i)
            removed.add(workers[i]);
        workers.setSize(count - k);
    }
    // Joining happens with poolMonitor released: a worker that finishes its job takes the
    // monitor to announce that it is free, and would otherwise never get to its end.
    Thread* caller = Thread::currentThread();
    for (PoolWorker* w : removed)
        w->dismiss(w != caller);
    for (PoolWorker* w : removed) {
        // A job that shrinks its own pool cannot wait for its own worker: that worker ends
        // after the job and deletes itself.
        if (w == caller)
            continue;
        w->stop(true);
        delete w;
    }
}

int ThreadPool::getLimit()
{
    MonitorLock guard(poolMonitor);
    return limit;
}

int ThreadPool::getWorkerCount()
{
    MonitorLock guard(poolMonitor);
    return workers.count();
}

PoolWorker* ThreadPool::getWorker(int i)
{
    MonitorLock guard(poolMonitor);
    return i >= 0 && i < workers.count() ? workers[i] : nullptr;
}

} // namespace orvane
