#pragma once
// Columns of a light map spread over worker threads. Each column's result depends only on its own inputs,
// so which thread computes it does not change a bit of the map; progress and the stop request stay on the
// calling thread.

#include <atomic>
#include <chrono>
#include <functional>

namespace vex::texlight {

/// Longest wait of the calling thread between two reports while workers compute: short enough that a stop
/// request ends the computation within about a tenth of a second.
inline constexpr std::chrono::milliseconds kColumnReportInterval{50};

/// Computes column x on worker `worker` (0 to threads - 1). Returns false when it saw `stop` raised and gave
/// the column up unfinished (its texels untouched); true when the column is done.
using ColumnTask = std::function<bool(int worker, int x, const std::atomic<bool>& stop)>;
/// Called on the calling thread with the number of finished columns; false asks every worker to stop.
using ColumnReport = std::function<bool(int doneColumns)>;

/// Computes columns 0 to count - 1, handed out in order. threads <= 1: every column on the calling thread,
/// with a report after each. Otherwise min(threads, count) workers compute while the calling thread reports
/// whenever columns were finished and at least every kColumnReportInterval; all workers have ended when it
/// returns. True when every column was finished; false when a report asked to stop.
bool ComputeColumns(int count, int threads, const ColumnTask& compute, const ColumnReport& report);

} // namespace vex::texlight
