#pragma once

// Where an FTP session goes: the server, the account and the session folder. Callers
// build it from whatever names the place (a task's destination, an address typed by a
// user); the session needs nothing else.

#include <QString>

namespace corvane {

// How data connections are opened. Active is what a run asks for; a server that
// refuses active mode is served in passive mode instead (logged once per session).
enum class FtpMode { kActive, kPassive };

struct FtpEndpoint {
    QString host;  // a name, an IPv4 address or an IPv6 literal (without brackets)
    int port = 21;
    QString user;      // empty: anonymous
    QString password;  // never logged
    QString folder;    // the session folder, below the login folder, "/" separated
    FtpMode mode = FtpMode::kActive;
};

}  // namespace corvane
