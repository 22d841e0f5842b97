#include "engine/FtpTaskSession.h"

#include "log/Log.h"
#include "model/DatePattern.h"
#include "model/FileName.h"
#include "transport/FtpAddress.h"
#include "transport/FtpSession.h"
#include "transport/S3Session.h"

namespace corvane {

std::unique_ptr<RemoteSession> NewRemoteSession(RemoteProtocol protocol) {
    switch (protocol) {
        case RemoteProtocol::kFtp:
        case RemoteProtocol::kFtps:
        case RemoteProtocol::kSftp:
            break;
        case RemoteProtocol::kS3:
            return std::make_unique<S3Session>(&FileNameToBytes);
    }
    return std::make_unique<FtpSession>(&FileNameToBytes, &FileNameFromBytes);
}

std::unique_ptr<RemoteSession> OpenFtpSession(const TaskDestination& destination,
                                              const CalendarTime* moment) {
    Log("  Connect to %s via FTP...", qUtf8Printable(FtpAddressForLog(destination.path)));
    FtpEndpoint endpoint;
    QString whyNot;
    if (!FtpEndpointOf(ExpandDatePattern(destination.path, moment), destination.userName,
                       destination.password, destination.ftpPort, endpoint, &whyNot)) {
        Log("  FTP connection error: %s", qUtf8Printable(whyNot));
        return nullptr;
    }
    endpoint.access = {destination.certificatePin, destination.serviceUrl, destination.region};
    std::unique_ptr<RemoteSession> session = NewRemoteSession(endpoint.protocol);
    if (!session->Connect(endpoint)) {
        return nullptr;
    }
    return session;
}

void CloseFtpSession(std::unique_ptr<RemoteSession>& session) {
    if (!session) {
        return;
    }
    session->Disconnect();
    session.reset();
    Log("  Disconnect");
}

}  // namespace corvane
