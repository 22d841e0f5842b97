#pragma once

// The progress of one item's stage: range 0..10, at 0 when made and at 10 when it goes,
// whichever way the stage ends; and how the backup stage of a settings-key or contacts
// item ended.

#include "log/Log.h"

namespace corvane {

enum class StageResult {
    kStored,
    kNotExported,  // the data could not be exported (logged): the run fails
    kNotUploaded,  // logged "  Error: cannot upload file": the other items go on
};

class StageProgress {
  public:
    StageProgress() {
        SetProgressRange(0, 10);
        SetProgressPos(0);
    }
    ~StageProgress() { SetProgressPos(10); }
    StageProgress(const StageProgress&) = delete;
    StageProgress& operator=(const StageProgress&) = delete;
};

}  // namespace corvane
