#pragma once

// Answers a restore's questions as a test tells it to, and remembers what it was shown.

#include <atomic>
#include <functional>
#include <vector>

#include "restore/RestoreRun.h"

namespace corvane::test {

class ScriptedQuestions : public RestoreQuestions {
  public:
    int ChooseBackupCopy(const TaskRecord&) override {
        ++copyQuestions;
        return copyAnswer;
    }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        seen = items;
        if (edit) {
            edit(items);
        }
        return accept;
    }
    void RequestStop() override { stop = true; }

    int copyAnswer = 0;
    int copyQuestions = 0;
    bool accept = true;
    std::function<void(std::vector<RestoreItem>&)> edit;  // changes the checks, say
    std::vector<RestoreItem> seen;
    std::atomic<bool> stop{false};
};

}  // namespace corvane::test
