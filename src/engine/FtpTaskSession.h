#pragma once

// Opening and closing the remote session of a task's destination (FTP, FTPS, SFTP or
// S3, as the scheme of its address says): the bridge from the task model to the
// transport, which knows only endpoints.
//
// Runs on the thread that uses the session.

#include <memory>

#include "model/CalendarTime.h"
#include "model/TaskRecord.h"
#include "transport/RemoteSession.h"

namespace corvane {

// A session of the protocol whose names reach the file system and the server as their
// exact bytes.
std::unique_ptr<RemoteSession> NewRemoteSession(RemoteProtocol protocol);

// Logs "  Connect to %s via FTP..." with the destination path (a password in it shown as
// "***"), fills the date patterns of the address from `moment` (none: the path as it
// stands), and connects in active mode with the destination's user name, password and
// FTP port. Answers null when the connection failed (the reason is logged as
// "  FTP connection error: %s").
std::unique_ptr<RemoteSession> OpenFtpSession(const TaskDestination& destination,
                                              const CalendarTime* moment);

// Disconnects, deletes the session and logs "  Disconnect". Null does nothing.
void CloseFtpSession(std::unique_ptr<RemoteSession>& session);

}  // namespace corvane
