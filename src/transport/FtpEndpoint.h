#pragma once

// Where a remote session goes: the protocol, the server, the account and the session
// folder. Callers build it from whatever names the place (a task's destination, an
// address typed by a user); the session needs nothing else.

#include <QString>

namespace corvane {

// How data connections are opened. Active is what a run asks for; a server that
// refuses active mode is served in passive mode instead (logged once per session).
enum class FtpMode { kActive, kPassive };

// The protocols of remote destinations, named by the scheme of their address.
enum class RemoteProtocol {
    kFtp,   // "ftp://"
    kFtps,  // "ftps://": FTP with explicit TLS (AUTH TLS), the certificate checked
    kSftp,  // "sftp://": SSH, the host key checked against the user's known hosts
    kS3,    // "s3://bucket/prefix": an S3-compatible object store
};

// What an address cannot say about its place: the pinned certificate of an FTPS server
// and the address and region of an S3 service. A task keeps them beside its address; a
// search by address alone takes them from the user.
struct RemoteAccess {
    // FTPS: the SHA-256 fingerprint of a certificate accepted although no authority the
    // system trusts vouches for it (a self-signed one); empty: only trusted ones.
    QString certificatePin;
    // S3: the service's address ("https://s3.example.net", "http://127.0.0.1:4568") and
    // region; the endpoint's `host` holds the bucket and `folder` the key prefix.
    QString serviceUrl;
    QString region;
};

struct FtpEndpoint {
    QString host;  // a name, an IPv4 address or an IPv6 literal (without brackets)
    int port = 21;
    QString user;      // empty: anonymous
    QString password;  // never logged
    QString folder;    // the session folder, below the login folder, "/" separated
    FtpMode mode = FtpMode::kActive;
    RemoteProtocol protocol = RemoteProtocol::kFtp;
    RemoteAccess access;
};

}  // namespace corvane
