// Rows of a box shared out over a few threads: a small pool started on first
// use and kept, the calling thread working alongside it. Only for work whose
// rows do not depend on each other, so that the result is the same bytes
// whatever the number of threads.
#pragma once

#include <functional>

namespace qv {

// The threads row work may use: the "Threads" setting, 0 meaning every core.
int RowThreads();

// Runs work(first, end) over the rows [0, rows) in small bands, on the pool
// and on this thread. After each band this thread finishes, report(rowsDone)
// runs here (never on the pool): a non-zero result stops the handing out of
// bands, and is returned once the bands already started have finished.
// With one thread (or one band) everything runs here in order.
int RunRowBands(int rows, int threads, const std::function<void(int, int)>& work,
                const std::function<int(int)>& report);

}  // namespace qv
