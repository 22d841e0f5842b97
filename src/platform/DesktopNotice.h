#pragma once

// A short notice on the user's desktop, shown by the session's notification service
// (org.freedesktop.Notifications). Where no session bus exists or no such service runs
// (a server, cron without a desktop, a test) nothing is shown and nothing is reported:
// a notice is a courtesy, never a reason for a run to fail or wait.
//
// Any thread; the process needs a QCoreApplication.

#include <QString>

namespace corvane {

// Longest wait for the notification service's answer, in ms.
inline constexpr int kNoticeReplyTimeoutMs = 1000;

// Shows `summary` with `body` (plain text). True when the service took the notice.
bool ShowDesktopNotice(const QString& summary, const QString& body);

}  // namespace corvane
