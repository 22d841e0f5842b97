#include "engine/NetworkConnection.h"

#include "log/Log.h"
#include "platform/NetworkShare.h"

namespace corvane {

bool ApplyNetworkConnection(const TaskRecord& task) {
    const TaskDestination& destination = task.destination;
    const std::optional<ShareAddress> address = ShareAddressOf(destination.path);
    const bool noLogon = destination.userName.isEmpty() && destination.password.isEmpty();
    // Without a logon a share is only a folder once mounted: "//server/share" would
    // otherwise be "/server/share" on this computer, and the backup would land there.
    if (noLogon && (!address || ShareLocalPath(destination.path) != destination.path)) {
        return true;
    }
    // A share found mounted is left alone here and at the end: unmounting it first
    // would pull it from under whoever mounted it.
    Log("  Apply network connection...");
    QString error;
    if (noLogon) {
        error = QStringLiteral("%1 is not mounted and the task has no user name and password")
                    .arg(address->ShareUri());
    } else if (!address) {
        error = QStringLiteral("%1 is not a network share (//server/share or smb://server/share)")
                    .arg(destination.path);
    } else if (MountShare(*address, destination.userName, destination.password, error)) {
        Log("  ...Success");
        return true;
    }
    Log("  ...Error: %s", qUtf8Printable(error));
    return false;
}

void CancelNetworkConnection(const TaskRecord& task) {
    const std::optional<ShareAddress> address = ShareAddressOf(task.destination.path);
    if (!task.destination.userName.isEmpty()) {
        Log("  Cancel network connection");
    }
    // Also without a user name: a password alone mounted the share, which must not
    // outlive the run.
    QString error;
    if (address && !UnmountShare(*address, error)) {
        Log("  ...Warning: cannot abort network connection - %s", qUtf8Printable(error));
    }
}

}  // namespace corvane
