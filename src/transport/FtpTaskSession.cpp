// Opening and closing the FTP session of a task run.

#include "log/Log.h"
#include "model/DatePattern.h"
#include "transport/FtpSession.h"

namespace corvane {

namespace {

// An address may carry "user:password@" before the host; the password is not for the
// log.
QString AddressForLog(const QString& address) {
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    const qsizetype hostStart = scheme < 0 ? 0 : scheme + 3;
    qsizetype hostEnd = address.indexOf(QLatin1Char('/'), hostStart);
    if (hostEnd < 0) {
        hostEnd = address.size();
    }
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'), hostEnd - 1);
    if (at < hostStart) {
        return address;
    }
    const qsizetype colon = address.indexOf(QLatin1Char(':'), hostStart);
    if (colon < 0 || colon > at) {
        return address;
    }
    return address.left(colon + 1) + QStringLiteral("***") + address.mid(at);
}

}  // namespace

std::unique_ptr<FtpSession> OpenFtpSessionForTask(const TaskRecord& task,
                                                  const CalendarTime* moment) {
    Log("  Connect to %s via FTP...", qUtf8Printable(AddressForLog(task.destination.path)));
    auto session = std::make_unique<FtpSession>();
    const QString address = ExpandDatePattern(task.destination.path, moment);
    if (!session->Connect(address, task.destination.userName, task.destination.password,
                          task.destination.ftpPort)) {
        return nullptr;
    }
    return session;
}

void CloseFtpSessionForTask(std::unique_ptr<FtpSession>& session) {
    if (!session) {
        return;
    }
    session->Disconnect();
    session.reset();
    Log("  Disconnect");
}

}  // namespace corvane
