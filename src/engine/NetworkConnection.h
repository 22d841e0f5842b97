#pragma once

// The network connection a folder destination may need: a task that names a user and
// a password for its destination asks for a connection to the server before the run
// and drops it after. This build has no network layer yet, so such a task is refused
// before anything is written; tasks without a user name and password (every local,
// removable and already mounted destination) pass untouched.
//
// Called on the worker thread by the backup and restore runs.

#include "model/TaskRecord.h"

namespace corvane {

// True when the destination's user name and password are both empty (nothing to do,
// no log line). Otherwise logs "  Apply network connection..." and
// "  ...Error: network connections are not supported yet" and answers false, which
// stops the run.
bool ApplyNetworkConnection(const TaskRecord& task);

// Drops the connection ApplyNetworkConnection made for the task. Nothing for a task
// without a user name (a password alone makes no connection to drop); since no
// connection can be made yet, nothing for the others either.
void CancelNetworkConnection(const TaskRecord& task);

}  // namespace corvane
