#include "log/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "log/LogLine.h"
#include "log/LogTarget.h"
#include "log/ProgressTarget.h"

namespace corvane {

namespace {

// Registered before worker threads start and cleared after they end; the atomics make
// a registration made on one thread visible to the threads that log.
std::atomic<LogTarget*> g_logTarget{nullptr};
std::atomic<ProgressTarget*> g_progressTarget{nullptr};

// The range of the progress indicator and the last position reported in it, in tenths
// of a percent. Loops report a position per file; only positions that move the
// indicator by a tenth of a percent or more are handed on, so a copy of 20,000
// unchanged files does not wake the window 20,000 times.
std::atomic<int> g_rangeLower{0};
std::atomic<int> g_rangeUpper{100};
std::atomic<int> g_lastPermille{-1};

// Tenths of a percent of a position; -1 when the range shows nothing.
int Permille(int position) {
    const qint64 lower = g_rangeLower.load(std::memory_order_relaxed);
    const qint64 upper = g_rangeUpper.load(std::memory_order_relaxed);
    if (upper <= lower) {
        return -1;
    }
    const qint64 clamped = std::clamp<qint64>(position, lower, upper);
    return static_cast<int>((clamped - lower) * 1000 / (upper - lower));
}

// Formats into a buffer that grows to the whole result, so no argument is cut by a
// fixed C buffer in the middle of a UTF-8 sequence; the line is cut on characters later.
// A format the C library cannot apply yields the format text itself, so the line is not
// lost.
QString FormatText(const char* format, va_list args) {
    char small[512];
    va_list first;
    va_copy(first, args);
    const int length = std::vsnprintf(small, sizeof small, format, first);
    va_end(first);
    if (length < 0) {
        return QString::fromUtf8(format);
    }
    if (static_cast<size_t>(length) < sizeof small) {
        return QString::fromUtf8(small, length);
    }
    std::string large(static_cast<size_t>(length) + 1, '\0');
    va_list second;
    va_copy(second, args);
    std::vsnprintf(large.data(), large.size(), format, second);
    va_end(second);
    return QString::fromUtf8(large.data(), length);
}

}  // namespace

void Log(const char* format, ...) {
    LogTarget* target = g_logTarget.load(std::memory_order_acquire);
    if (target == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    const QString text = FormatText(format, args);
    va_end(args);
    target->AppendLine(MakeLogLine(text, std::time(nullptr)));
}

void ClearLog() {
    if (LogTarget* target = g_logTarget.load(std::memory_order_acquire)) {
        target->Clear();
    }
}

void ShowProgress() {
    g_lastPermille.store(0, std::memory_order_relaxed);  // showing sets the position to 0
    if (ProgressTarget* target = g_progressTarget.load(std::memory_order_acquire)) {
        target->Show();
    }
}

void SetProgressLabel(const QString& label) {
    if (ProgressTarget* target = g_progressTarget.load(std::memory_order_acquire)) {
        target->SetLabel(label);
    }
}

void SetProgressRange(int lower, int upper) {
    g_rangeLower.store(lower, std::memory_order_relaxed);
    g_rangeUpper.store(upper, std::memory_order_relaxed);
    g_lastPermille.store(-1, std::memory_order_relaxed);
    if (ProgressTarget* target = g_progressTarget.load(std::memory_order_acquire)) {
        target->SetRange(lower, upper);
    }
}

void SetProgressPos(int position) {
    const int permille = Permille(position);
    if (permille >= 0 && g_lastPermille.exchange(permille, std::memory_order_relaxed) == permille) {
        return;  // the indicator would not move
    }
    if (ProgressTarget* target = g_progressTarget.load(std::memory_order_acquire)) {
        target->SetPosition(position);
    }
}

void HideProgress() {
    if (ProgressTarget* target = g_progressTarget.load(std::memory_order_acquire)) {
        target->Hide();
    }
}

void SetLogTarget(LogTarget* target) {
    g_logTarget.store(target, std::memory_order_release);
}

void SetProgressTarget(ProgressTarget* target) {
    g_progressTarget.store(target, std::memory_order_release);
}

}  // namespace corvane
