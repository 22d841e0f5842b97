#include "engine/NetworkConnection.h"

#include "log/Log.h"

namespace corvane {

bool ApplyNetworkConnection(const TaskRecord& task) {
    if (task.destination.userName.isEmpty() && task.destination.password.isEmpty()) {
        return true;
    }
    // The connection would be made here with the task's user name and password; until
    // the network layer exists the run must not go on as if the share were reachable.
    Log("  Apply network connection...");
    Log("  ...Error: network connections are not supported yet");
    return false;
}

void CancelNetworkConnection(const TaskRecord& task) {
    if (task.destination.userName.isEmpty()) {
        return;
    }
    // ApplyNetworkConnection never connects yet, so there is nothing to drop.
}

}  // namespace corvane
