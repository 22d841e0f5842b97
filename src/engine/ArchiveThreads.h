#pragma once

// How many threads deflate an archive or write a restore: a process-wide choice (the
// command line's --threads), else the user setting "Main"/"ArchiveThreads", else the
// number of cores.

namespace corvane {

// 0 (the default) or less stands for the number of cores.
void SetArchiveThreads(int threads);

// The count WriteArchive uses when its caller names none: always at least 1.
int ArchiveThreads();

}  // namespace corvane
