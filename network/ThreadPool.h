#pragma once

#include "foundation/Containers.h"
#include "foundation/Monitor.h"
#include "foundation/Thread.h"
#include "network/IRunnable.h"

#include <atomic>

namespace orvane {

class ThreadPool;

// A thread of a ThreadPool: runs the jobs the pool hands it, one at a time, and waits idle
// in between. It leaves its loop only when the pool removes it, and never while it holds a
// job: a job it was given is always run.
class PoolWorker : public Thread {
public:
    explicit PoolWorker(ThreadPool* owner);
    ~PoolWorker() override;

    void run() override;
    // False for a worker the pool removed (the pool deletes it itself).
    bool deleteWhenDone() override;

    // True from the moment the pool hands over a job until the worker has finished it.
    bool isBusy() const { return job.load() != nullptr; }

private:
    friend class ThreadPool;

    void assign(IRunnable* next);
    // Asks an idle or busy worker to end once it is idle; `ownerDeletes` says who deletes it.
    void dismiss(bool ownerDeletes);
    static void runJob(IRunnable* current);

    Monitor workerMonitor; // guards the idle wait, the stop test in it and `keep`
    ThreadPool* pool;
    // Written under workerMonitor, read without it by the pool's scan for an idle worker.
    std::atomic<IRunnable*> job{nullptr};
    bool keep = false;
};

// Runs jobs on worker threads that are created on demand, one at a time, up to a limit and
// reused afterwards. When every worker is busy and the limit is reached, execute waits until
// one becomes free.
class ThreadPool {
public:
    explicit ThreadPool(int limit);
    // Removes every worker, waiting for the jobs that still run.
    virtual ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Hands the job to the first idle worker, or to a new one while the count is below the
    // limit, or waits until a worker is free. True once a worker has the job (it then owns
    // it). False only when the caller is a Thread whose stop was requested while it would
    // have to wait: the job was not taken and stays the caller's. ThreadCreateException when
    // no worker exists and none can be created (the job stays the caller's).
    bool execute(IRunnable* job);
    // Sets the limit; the workers beyond it are removed and waited for (their jobs finish
    // first). Raising the limit creates no worker. A negative limit counts as 0.
    void setLimit(int n);
    // Makes the worker count n, raising the limit to n when needed; removed workers are
    // waited for. ThreadCreateException when a new worker cannot be created (the workers
    // made before it stay).
    void resize(int n);
    // Wakes a caller waiting in execute so that it looks at its stop request again: the
    // owner of a Thread that may wait here raises the stop request, then calls this.
    void interruptWait();

    int getLimit();
    int getWorkerCount();
    // The worker at index i in creation order, or NULL.
    PoolWorker* getWorker(int i);

private:
    friend class PoolWorker;

    // Under poolMonitor. Answers the started worker, already in `workers`.
    PoolWorker* addWorker();
    // Takes the last k workers out under poolMonitor, then, with the monitor released, stops
    // them, waits for them and deletes them.
    void removeWorkers(int k);
    // Called by a worker that has just finished a job.
    void workerFreed();

    int limit;
    Array<PoolWorker*> workers;
    Monitor poolMonitor;
};

} // namespace orvane
