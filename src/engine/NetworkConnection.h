#pragma once

// The network connection a folder destination may need: a task whose destination is a
// Windows share ("//server/share/folder" or "smb://server/share/folder") and names a
// user and a password has the share mounted before the run and unmounted after it; the
// run reads and writes the share through ShareLocalPath. Tasks without a user name and
// password (every local, removable and already mounted destination) pass untouched.
//
// Called on the worker thread by the backup and restore runs.

#include "model/TaskRecord.h"

namespace corvane {

// True when the destination's user name and password are both empty and it is no share
// or a share that is mounted (nothing to do, no log line). Otherwise logs "  Apply network
// connection...", mounts the share (a share mounted already is used as it is) and logs "
// ...Success", or "  ...Error: %s" with the reason and answers false, which stops the run.
bool ApplyNetworkConnection(const TaskRecord& task);

// Unmounts the share ApplyNetworkConnection mounted for the task, never one it found
// mounted. Logs "  Cancel network connection" for a task with a user name, and
// "  ...Warning: cannot abort network connection - %s" when the unmount fails.
void CancelNetworkConnection(const TaskRecord& task);

}  // namespace corvane
