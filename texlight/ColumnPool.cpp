#include "texlight/ColumnPool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vex::texlight {

namespace {

bool ComputeSerially(int count, const ColumnTask& compute, const ColumnReport& report)
{
    const std::atomic<bool> never{false};
    for (int x = 0; x < count; ++x) {
        compute(0, x, never);
        if (!report(x + 1))
            return false;
    }
    return true;
}

/// What workers and the reporting thread share; the counters under the mutex.
struct PoolState {
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    int finishedWorkers = 0;
};

void Work(PoolState& state, int worker, int count, const ColumnTask& compute)
{
    while (!state.stop.load(std::memory_order_relaxed)) {
        const int x = state.next.fetch_add(1, std::memory_order_relaxed);
        if (x >= count || !compute(worker, x, state.stop))
            break;
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.done;
        state.changed.notify_one();
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.finishedWorkers;
    state.changed.notify_one();
}

/// The calling thread's part: reports until every worker has ended or a report asks to stop.
bool Supervise(PoolState& state, int workers, const ColumnReport& report)
{
    int reported = 0;
    std::unique_lock<std::mutex> lock(state.mutex);
    for (;;) {
        state.changed.wait_for(lock, kColumnReportInterval,
                               [&] { return state.done != reported || state.finishedWorkers == workers; });
        const int done = state.done;
        const bool allEnded = state.finishedWorkers == workers;
        lock.unlock();
        // Also with nothing new finished: the report checks the stop request.
        reported = done;
        if (!report(done)) {
            state.stop.store(true, std::memory_order_relaxed);
            return false;
        }
        if (allEnded)
            return true;
        lock.lock();
    }
}

} // namespace

bool ComputeColumns(int count, int threads, const ColumnTask& compute, const ColumnReport& report)
{
    if (count <= 0)
        return true;
    const int workers = std::min(threads, count);
    if (workers <= 1)
        return ComputeSerially(count, compute, report);

    PoolState state;
    bool finished = false;
    {
        std::vector<std::jthread> pool;
        pool.reserve(static_cast<size_t>(workers));
        try {
            for (int w = 0; w < workers; ++w)
                pool.emplace_back([&state, w, count, &compute] { Work(state, w, count, compute); });
        } catch (const std::system_error&) {
            // The system gave fewer threads than asked: those that started share the columns.
            if (pool.empty())
                return ComputeSerially(count, compute, report);
        }
        try {
            finished = Supervise(state, static_cast<int>(pool.size()), report);
        } catch (...) {
            state.stop.store(true, std::memory_order_relaxed); // a failed report must not wait for every column
            throw;
        }
    } // the jthreads join here: no worker outlives the call
    return finished;
}

} // namespace vex::texlight
