#pragma once

// The end of every page's Leave: a refused value shows its message and takes the focus
// to its field; an accepted one lets the page go.

#include "app/TaskDraft.h"

namespace corvane {

class CTaskPage;

// `passed` is the answer of the page's Check function, which filled `problem` when false.
bool ShowCheckResult(CTaskPage& page, bool passed, const DraftProblem& problem);

}  // namespace corvane
