// The FTP, FTPS and SFTP session over one libcurl easy handle.
//
// Every request names an absolute remote path in its URL ("ftp://host/%2Fhome/u/x",
// "sftp://host/home/u/x") and libcurl is told not to change folders
// (CURLFTPMETHOD_NOCWD), so each request sends one command with the full path and the
// server's current folder never matters. Reusing the one handle keeps the control
// connection (or the SSH connection) open between requests; libcurl opens a new one by
// itself only when the server has dropped it.

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "io/DescriptorIo.h"
#include "log/Log.h"
#include "transport/CurlDriver.h"
#include "transport/FtpAddress.h"
#include "transport/FtpListing.h"
#include "transport/FtpSession.h"
#include "transport/LocalFiles.h"
#include "transport/SshHostKeyCheck.h"
#include "transport/TlsCertificateCheck.h"

namespace corvane {

namespace {

// Deeper folder chains than this are not listed (a server-side link loop would
// otherwise never end).
const int kMaxListDepth = 256;
// A listing line longer than this is not a listing line; it is dropped.
const qsizetype kMaxListingLine = 64 * 1024;
// Reply lines kept per request: enough for a FEAT answer and a login.
const size_t kMaxReplyLines = 256;

// "\" read as "/", runs of "/" as one.
QString CleanSlashes(QString text) {
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (text.contains(QLatin1String("//"))) {
        text.replace(QLatin1String("//"), QLatin1String("/"));
    }
    return text;
}

QString StripLeading(QString text) {
    while (text.startsWith(QLatin1Char('/'))) {
        text.remove(0, 1);
    }
    return text;
}

QString StripSlashes(QString text) {
    text = StripLeading(text);
    while (text.endsWith(QLatin1Char('/'))) {
        text.chop(1);
    }
    return text;
}

QString JoinBelow(const QString& base, const QString& relative) {
    return base.endsWith(QLatin1Char('/')) ? base + relative : base + QLatin1Char('/') + relative;
}

bool HasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

// The URL path of an absolute remote path, to follow a base URL ending in "/": for FTP
// "%2F" keeps the leading "/" (libcurl drops the first "/" of an FTP URL path), SFTP
// keeps it as it stands. Each segment is percent-encoded as the bytes of its name (UTF-8,
// or the raw bytes of a name that is not). A folder URL ends in "/", which is how
// libcurl tells a listing from a file.
QByteArray UrlPathOf(const QString& remotePath, bool folder, FtpNameEncoder encodeName,
                     RemoteProtocol protocol) {
    QByteArray path = protocol == RemoteProtocol::kSftp ? "" : "%2F";
    const QStringList segments = remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            path += '/';
        }
        path += encodeName(segments.at(i)).toPercentEncoding();
    }
    if (folder && !path.isEmpty()) {
        path += '/';
    }
    return path;
}

// What the session asks of the server beside transfers.
enum class RemoteAction { kMakeFolder, kDeleteFile, kRemoveFolder };

// The quote line of an action on an absolute remote path: an FTP command, or one of
// libcurl's SFTP commands with the path in double quotes (its own escapes for '"' and
// '\').
QString ActionLine(RemoteAction action, const QString& remotePath, RemoteProtocol protocol) {
    if (protocol != RemoteProtocol::kSftp) {
        const char* verb = action == RemoteAction::kMakeFolder   ? "MKD "
                           : action == RemoteAction::kDeleteFile ? "DELE "
                                                                 : "RMD ";
        return QLatin1String(verb) + remotePath;
    }
    const char* verb = action == RemoteAction::kMakeFolder   ? "mkdir \""
                       : action == RemoteAction::kDeleteFile ? "rm \""
                                                             : "rmdir \"";
    QString quoted = remotePath;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1String(verb) + quoted + QLatin1Char('"');
}

// The read side of an upload: the local file, read in the pieces libcurl asks for.
struct UploadSource {
    int fd = -1;
    bool failed = false;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* source = static_cast<UploadSource*>(data);
    const ssize_t got = ReadSome(source->fd, buffer, size * count);
    if (got < 0) {
        source->failed = true;
        return CURL_READFUNC_ABORT;
    }
    return static_cast<size_t>(got);
}

// The write side of a download: a file descriptor, written completely or failed.
struct DownloadSink {
    int fd = -1;
    bool failed = false;
};

size_t WriteDownload(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<DownloadSink*>(user);
    const size_t total = size * count;
    if (!WriteAll(sink->fd, data, total)) {
        sink->failed = true;
        return 0;  // libcurl ends the transfer with a write error
    }
    return total;
}

size_t DiscardData(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The listing of one folder, parsed line by line as the data arrives.
struct ListingSink {
    bool mlsd = false;
    FtpNameDecoder decodeName = nullptr;
    QByteArray partial;
    std::vector<std::pair<QString, bool>> entries;  // name, is a folder
    int refused = 0;

    void Reset() {
        partial.clear();
        entries.clear();
        refused = 0;
    }
    void TakeLine(QByteArray line) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            return;
        }
        QString name;
        const QString text = decodeName ? decodeName(line) : QString::fromUtf8(line);
        switch (mlsd ? ParseMlsdLine(text, name) : ParseListLine(text, name)) {
            case FtpListingLine::kFile:
                entries.emplace_back(name, false);
                break;
            case FtpListingLine::kFolder:
                entries.emplace_back(name, true);
                break;
            case FtpListingLine::kRefused:
                ++refused;
                break;
            case FtpListingLine::kIgnored:
                break;
        }
    }
    void Finish() {
        if (!partial.isEmpty()) {
            TakeLine(partial);
            partial.clear();
        }
    }
};

size_t WriteListing(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<ListingSink*>(user);
    const size_t total = size * count;
    sink->partial.append(data, static_cast<qsizetype>(total));
    qsizetype start = 0;
    for (qsizetype end = sink->partial.indexOf('\n'); end >= 0;
         end = sink->partial.indexOf('\n', start)) {
        sink->TakeLine(sink->partial.mid(start, end - start));
        start = end + 1;
    }
    sink->partial.remove(0, start);
    if (sink->partial.size() > kMaxListingLine) {
        sink->partial.clear();
        ++sink->refused;
    }
    return total;
}

}  // namespace

class FtpSession::Impl {
  public:
    ~Impl() { Close(); }

    void Close() {
        m_driver.Close();  // sends QUIT on a live connection
        if (m_curl) {
            curl_easy_cleanup(m_curl);
            m_curl = nullptr;
        }
        m_connected = false;
    }

    // A fresh handle set up for the endpoint: binary transfers by absolute path, the
    // credentials apart from the URL, every reply line collected.
    bool Open(const FtpEndpoint& endpoint) {
        InitCurlOnce();
        m_curl = curl_easy_init();
        if (!m_curl) {
            return false;
        }
        const QString host = endpoint.host.contains(QLatin1Char(':'))
                                 ? QLatin1Char('[') + endpoint.host + QLatin1Char(']')
                                 : QString::fromLatin1(QUrl::toAce(endpoint.host));
        const bool sftp = endpoint.protocol == RemoteProtocol::kSftp;
        m_protocol = endpoint.protocol;
        // FTPS is explicit TLS: an "ftp://" URL whose connection must turn to TLS.
        m_baseUrl = (sftp ? "sftp://" : "ftp://") + host.toLatin1() + "/";
        m_folder = endpoint.folder;
        // libcurl 7.88 (Debian 12) starts no TLS on an active data connection; passive
        // ones are protected.
        m_mode = endpoint.protocol == RemoteProtocol::kFtps ? FtpMode::kPassive : endpoint.mode;
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, sftp ? "sftp" : "ftp");
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
        m_tls.reset();
        m_ssh.reset();
        if (sftp) {
            m_ssh = std::make_unique<SshHostKeyCheck>(endpoint.host);
            m_ssh->Install(m_curl, !endpoint.password.isEmpty());
        } else if (endpoint.protocol == RemoteProtocol::kFtps) {
            const QByteArray pin = NormalizedFingerprint(endpoint.access.certificatePin);
            if (pin.isEmpty() && !endpoint.access.certificatePin.trimmed().isEmpty()) {
                m_openError = QStringLiteral("the certificate fingerprint is no SHA-256 one");
                return false;
            }
            m_tls = std::make_unique<TlsCertificateCheck>(pin, host.toLatin1());
            if (!m_tls->Install(m_curl, &m_openError)) {
                return false;
            }
        }
        curl_easy_setopt(m_curl, CURLOPT_PORT, static_cast<long>(endpoint.port));
        // Without one, libcurl would offer an SSH server an empty user name, which no
        // key or password fits.
        const QString user = sftp && endpoint.user.isEmpty() ? LocalAccountName() : endpoint.user;
        if (!user.isEmpty()) {
            // Never in the URL: libcurl's texts may quote the URL, they never quote these.
            curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.toUtf8().constData());
            curl_easy_setopt(m_curl, CURLOPT_PASSWORD, endpoint.password.toUtf8().constData());
        }
        curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(m_curl, CURLOPT_FTPPORT, m_mode == FtpMode::kActive ? "-" : nullptr);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Impl::OnReply);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
        return true;
    }

    // Logs in (libcurl asks PWD right after) and asks for the features in the same go;
    // an SSH login asks for the home folder by itself.
    CURLcode LogIn() {
        BeginRequest(QStringLiteral("/"), true);
        if (m_protocol == RemoteProtocol::kSftp) {
            curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
            return m_driver.Perform(m_curl);
        }
        curl_slist* commands = curl_slist_append(nullptr, "*FEAT");
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, commands);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        const CURLcode code = m_driver.Perform(m_curl);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(commands);
        return code;
    }

    QString EntryPath() const {
        char* entryPath = nullptr;
        curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entryPath);
        return entryPath && *entryPath ? QString::fromUtf8(entryPath) : QStringLiteral("/");
    }

    // Whether the FEAT answer ("211-..." then one feature a line, "211 End") of the
    // login names MLSD or MLST.
    bool OffersMlsd() const {
        bool inFeatures = false;
        for (const QByteArray& line : m_replies) {
            if (line.startsWith("211-")) {
                inFeatures = true;
            } else if (line.startsWith("211 ")) {
                inFeatures = false;
            } else if (inFeatures) {
                const QByteArray feature = line.trimmed().toUpper();
                if (feature.startsWith("MLST") || feature.startsWith("MLSD")) {
                    return true;
                }
            }
        }
        return false;
    }

    // Logs why a transfer failed; answers false for the caller to return.
    bool TransferFailed(const QString& reason) const {
        Log("  FTP transfer error: %s", qUtf8Printable(reason.left(255)));
        return false;
    }

    static size_t OnReply(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Impl*>(user);
        QByteArray line(data, static_cast<qsizetype>(size * count));
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        if (self->m_replies.size() >= kMaxReplyLines) {
            self->m_replies.erase(self->m_replies.begin());
        }
        self->m_replies.push_back(line);
        return size * count;
    }

    // Resets what one request may have set and points the handle at a remote path.
    void BeginRequest(const QString& remotePath, bool folder) {
        const QByteArray url = m_baseUrl + UrlPathOf(remotePath, folder, m_encodeName, m_protocol);
        curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &DiscardData);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, nullptr);
        curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
        m_replies.clear();
        m_error[0] = '\0';
    }

    // Runs the request. A server that refuses active mode is asked again in passive
    // mode, for this and every later request; `restart` puts the request's source or
    // sink back to its beginning first.
    CURLcode Perform(const std::function<bool()>& restart) {
        CURLcode code = m_driver.Perform(m_curl);
        if (m_mode == FtpMode::kActive &&
            (code == CURLE_FTP_PORT_FAILED || code == CURLE_FTP_ACCEPT_FAILED ||
             code == CURLE_FTP_ACCEPT_TIMEOUT)) {
            m_mode = FtpMode::kPassive;
            curl_easy_setopt(m_curl, CURLOPT_FTPPORT, nullptr);
            Log("  Warning: the FTP server refused active mode, passive mode is used");
            if (restart && !restart()) {
                return code;
            }
            m_replies.clear();
            m_error[0] = '\0';
            code = m_driver.Perform(m_curl);
        }
        const bool refusedTransfer =
            code == CURLE_UPLOAD_FAILED || code == CURLE_REMOTE_FILE_NOT_FOUND ||
            code == CURLE_FTP_COULDNT_RETR_FILE || code == CURLE_REMOTE_ACCESS_DENIED;
        if (refusedTransfer && m_mode == FtpMode::kActive && m_protocol != RemoteProtocol::kSftp) {
            // A server that opens the data connection when it gets PORT still holds it
            // after refusing the transfer, and some wait for it to close before they
            // answer QUIT. ABOR closes it; the caller still sees this request's reply.
            const std::vector<QByteArray> replies = m_replies;
            const std::string error = m_error;
            Command(QStringLiteral("ABOR"));
            m_replies = replies;
            qstrncpy(m_error, error.c_str(), sizeof m_error);
        }
        return code;
    }

    // The code and text of the last complete reply of the request; 0 when none came.
    int LastReply(QString* text = nullptr) const {
        for (auto it = m_replies.rbegin(); it != m_replies.rend(); ++it) {
            const QByteArray& line = *it;
            if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
                std::isdigit(static_cast<unsigned char>(line[1])) &&
                std::isdigit(static_cast<unsigned char>(line[2])) &&
                (line.size() == 3 || line[3] == ' ')) {
                if (text) {
                    *text = QString::fromUtf8(line);
                }
                return line.left(3).toInt();
            }
        }
        return 0;
    }

    // The reason of a failed request: the server's refusal when it sent one, with
    // libcurl's own text. Neither holds the password (it is never part of the URL).
    QString FailureText(CURLcode code) const {
        const QString library =
            QString::fromUtf8(m_error[0] != '\0' ? m_error : curl_easy_strerror(code));
        QString reply;
        if (LastReply(&reply) >= 400) {
            return reply == library || library.contains(reply)
                       ? reply
                       : reply + QLatin1String(" (") + library + QLatin1Char(')');
        }
        return library;
    }

    // Sends one command that needs no data connection; true on a 2xx reply (FTP) or
    // when libcurl carried the SFTP command out. `answerNeeded` false: the result does
    // not matter, so an SFTP refusal need not cost the connection.
    bool Command(const QString& command, bool answerNeeded = true) {
        if (HasControlCharacter(command)) {
            return false;  // would split into two commands on the control connection
        }
        const bool sftp = m_protocol == RemoteProtocol::kSftp;
        BeginRequest(QStringLiteral("/"), true);
        // "*": a refusal is an answer here, not a failure that drops the connection; SFTP
        // gives no answer to read then. A path in the command goes as the bytes of its
        // name.
        const QByteArray line = (sftp && answerNeeded ? "" : "*") + m_encodeName(command);
        curl_slist* commands = curl_slist_append(nullptr, line.constData());
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, commands);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        const CURLcode code = m_driver.Perform(m_curl);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(commands);
        if (sftp) {
            return code == CURLE_OK;
        }
        const int reply = LastReply();
        return code == CURLE_OK && reply >= 200 && reply < 300;
    }

    bool Act(RemoteAction action, const QString& remotePath, bool answerNeeded = true) {
        return Command(ActionLine(action, remotePath, m_protocol), answerNeeded);
    }

    // Lists one remote folder into `sink`; false when the server refused the listing.
    bool ListFolder(const QString& remotePath, ListingSink& sink) {
        for (;;) {
            BeginRequest(remotePath, true);
            sink.mlsd = m_mlsd;
            sink.Reset();
            if (m_mlsd) {
                curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "MLSD");
            }
            curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &WriteListing);
            curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &sink);
            const CURLcode code = Perform([&sink] {
                sink.Reset();
                return true;
            });
            if (code == CURLE_OK) {
                sink.Finish();
                return true;
            }
            const int reply = LastReply();
            if (m_mlsd && (reply == 500 || reply == 502 || reply == 504)) {
                m_mlsd = false;  // announced but not understood: use LIST from now on
                continue;
            }
            sink.Reset();
            return false;
        }
    }

    void ListInto(const QString& folder, QStringList& names, bool recursive, int depth) {
        ListingSink sink;
        sink.decodeName = m_decodeName;
        const QString remotePath = m_owner->RemotePath(folder);
        if (!ListFolder(remotePath, sink)) {
            return;
        }
        if (sink.refused > 0) {
            Log("  Warning: the FTP listing of %s holds %d unusable names, they are skipped",
                qUtf8Printable(remotePath), sink.refused);
        }
        QStringList subFolders;
        for (const auto& [name, isFolder] : sink.entries) {
            const QString path = folder + QLatin1Char('/') + name;
            if (isFolder) {
                names << path + QLatin1Char('/');
                subFolders << path;
            } else {
                names << path;
            }
        }
        if (!recursive) {
            return;
        }
        if (depth >= kMaxListDepth && !subFolders.isEmpty()) {
            Log("  Warning: FTP folders below %s are nested too deep to be listed",
                qUtf8Printable(remotePath));
            return;
        }
        for (const QString& subFolder : std::as_const(subFolders)) {
            ListInto(subFolder, names, true, depth + 1);
        }
    }

    FtpSession* m_owner = nullptr;
    FtpNameEncoder m_encodeName = nullptr;
    FtpNameDecoder m_decodeName = nullptr;
    CURL* m_curl = nullptr;
    CurlDriver m_driver;
    QByteArray m_baseUrl;  // "ftp://host/", "sftp://host/"
    RemoteProtocol m_protocol = RemoteProtocol::kFtp;
    std::unique_ptr<TlsCertificateCheck> m_tls;  // FTPS only
    std::unique_ptr<SshHostKeyCheck> m_ssh;      // SFTP only
    QString m_openError;                         // why Open refused the endpoint
    QString m_loginFolder;
    QString m_folder;
    bool m_connected = false;
    FtpMode m_mode = FtpMode::kActive;
    bool m_mlsd = false;
    char m_error[CURL_ERROR_SIZE] = {};
    QString m_connectError;  // the reason of the last failed Connect
    std::vector<QByteArray> m_replies;
};

FtpSession::FtpSession(FtpNameEncoder encodeName, FtpNameDecoder decodeName)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->m_decodeName = decodeName;
    m_impl->m_owner = this;
    m_impl->m_encodeName = encodeName;
}

FtpSession::~FtpSession() {
    Disconnect();
}

bool FtpSession::Connect(const FtpEndpoint& endpoint) {
    Disconnect();
    Impl& d = *m_impl;
    d.m_connectError.clear();
    auto fail = [&d](const QString& reason) {
        d.m_connectError = reason.left(255);
        Log("  FTP connection error: %s", qUtf8Printable(d.m_connectError));
        return false;
    };
    if (!IsUsableFtpHost(endpoint.host)) {
        return fail(QStringLiteral("bad host name"));
    }
    d.m_openError.clear();
    if (!d.Open(endpoint)) {
        d.Close();
        return fail(d.m_openError.isEmpty() ? QStringLiteral("cannot start the FTP library")
                                            : d.m_openError);
    }
    const CURLcode code = d.LogIn();
    if (code != CURLE_OK) {
        // A refused certificate or host key says more than the library's text.
        const QString refusal = d.m_tls   ? d.m_tls->RefusalText()
                                : d.m_ssh ? d.m_ssh->RefusalText()
                                          : QString();
        const QString reason = refusal.isEmpty() ? d.FailureText(code) : refusal;
        d.Close();
        return fail(reason);
    }
    d.m_loginFolder = d.EntryPath();
    d.m_mlsd = d.OffersMlsd();
    d.m_connected = true;
    return true;
}

QString FtpSession::ConnectError() const {
    return m_impl->m_connectError;
}

void FtpSession::Disconnect() {
    m_impl->Close();
}

bool FtpSession::IsConnected() const {
    return m_impl->m_connected;
}

QString FtpSession::LoginFolder() const {
    return m_impl->m_loginFolder;
}

QString FtpSession::Folder() const {
    return m_impl->m_folder;
}

FtpMode FtpSession::Mode() const {
    return m_impl->m_mode;
}

QString FtpSession::RemotePath(const QString& name) const {
    const QString joined = StripLeading(CleanSlashes(m_impl->m_folder + QLatin1Char('/') + name));
    return JoinBelow(m_impl->m_loginFolder, joined);
}

void FtpSession::CreateFolders(const QString& path) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return;
    }
    QString joined = CleanSlashes(d.m_folder + QLatin1Char('/') + path + QLatin1Char('/'));
    for (qsizetype i = 1; i < joined.size(); ++i) {
        if (joined.at(i) != QLatin1Char('/')) {
            continue;
        }
        const QString level = StripSlashes(joined.left(i));
        if (level.isEmpty()) {
            continue;
        }
        if (!d.Act(RemoteAction::kMakeFolder, JoinBelow(d.m_loginFolder, level))) {
            Log("  Warning: cannot create folder %s", qUtf8Printable(level));
        }
    }
}

void FtpSession::CreateFolderTree(const QStringList& folders, const QString& remoteFolder) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return;
    }
    for (const QString& folder : folders) {
        const QString remote = remoteFolder + QLatin1Char('/') + folder;
        // A folder that exists already is what a repeated run finds: no warning.
        d.Act(RemoteAction::kMakeFolder,
              JoinBelow(d.m_loginFolder, StripSlashes(CleanSlashes(remote))), false);
    }
}

bool FtpSession::Upload(const QString& localPath, const QString& name) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return false;
    }
    FileDescriptor file;
    qint64 size = 0;
    QString whyNot;
    if (!OpenLocalSource(d.m_encodeName(localPath), file, size, whyNot)) {
        return d.TransferFailed(whyNot);
    }
    UploadSource source{file.Get(), false};
    d.BeginRequest(RemotePath(name), false);
    curl_easy_setopt(d.m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(d.m_curl, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(d.m_curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(d.m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    const CURLcode code = d.Perform([&source] {
        source.failed = false;
        return ::lseek(source.fd, 0, SEEK_SET) == 0;
    });
    if (source.failed) {
        return d.TransferFailed(QStringLiteral("cannot read the local file"));
    }
    if (code != CURLE_OK) {
        return d.TransferFailed(d.FailureText(code));
    }
    // libcurl stops at the announced size: the file must not have grown past it.
    const off_t sent = ::lseek(file.Get(), 0, SEEK_CUR);
    struct stat after {};
    if (::fstat(file.Get(), &after) != 0 || sent < after.st_size) {
        return d.TransferFailed(QStringLiteral("the local file grew while it was sent"));
    }
    return true;
}

bool FtpSession::Download(const QString& name, const QString& localPath) {
    Impl& d = *m_impl;
    if (!d.m_connected || localPath.isEmpty()) {
        return false;
    }
    DownloadTarget file;
    QString whyNot;
    if (!file.Create(localPath, d.m_encodeName, whyNot)) {
        return d.TransferFailed(whyNot);
    }
    DownloadSink sink;
    sink.fd = file.Fd();

    d.BeginRequest(RemotePath(name), false);
    curl_easy_setopt(d.m_curl, CURLOPT_WRITEFUNCTION, &WriteDownload);
    curl_easy_setopt(d.m_curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = d.Perform([&sink] {
        sink.failed = false;
        return ::ftruncate(sink.fd, 0) == 0 && ::lseek(sink.fd, 0, SEEK_SET) == 0;
    });
    if (sink.failed) {
        return d.TransferFailed(QStringLiteral("cannot write the local file"));
    }
    if (code != CURLE_OK) {
        return d.TransferFailed(d.FailureText(code));
    }
    if (!file.Commit(whyNot)) {
        return d.TransferFailed(whyNot);
    }
    return true;
}

void FtpSession::ListTree(const QString& folder, QStringList& names, bool recursive) {
    if (!m_impl->m_connected) {
        return;
    }
    QString start = folder;
    start.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (start.endsWith(QLatin1Char('/'))) {
        start.chop(1);
    }
    m_impl->ListInto(start, names, recursive, 0);
}

void FtpSession::SetFolder(const QString& folder) {
    m_impl->m_folder = CleanSlashes(folder);
}

bool FtpSession::DeleteFile(const QString& name) {
    Impl& d = *m_impl;
    return d.m_connected && !StripSlashes(CleanSlashes(name)).isEmpty() &&
           d.Act(RemoteAction::kDeleteFile, RemotePath(name));
}

bool FtpSession::RemoveFolder(const QString& folder) {
    Impl& d = *m_impl;
    return d.m_connected && !StripSlashes(CleanSlashes(folder)).isEmpty() &&
           d.Act(RemoteAction::kRemoveFolder, RemotePath(folder));
}

bool FtpSession::RemoveFolderTree(const QString& folder) {
    Impl& d = *m_impl;
    const QString start = StripSlashes(CleanSlashes(folder));
    // An empty name would be the session folder, "." or ".." a place above what was asked.
    if (!d.m_connected || start.isEmpty() ||
        start.split(QLatin1Char('/')).contains(QLatin1String(".")) ||
        start.split(QLatin1Char('/')).contains(QLatin1String(".."))) {
        return false;
    }
    QStringList names;
    ListTree(start, names, true);
    bool removed = true;
    QStringList folders;
    for (const QString& name : std::as_const(names)) {
        if (name.endsWith(QLatin1Char('/'))) {
            folders << name;
        } else if (!d.Act(RemoteAction::kDeleteFile, RemotePath(name))) {
            removed = false;
        }
    }
    // A recursive listing puts every folder before its sub-folders.
    std::reverse(folders.begin(), folders.end());
    folders << start;
    for (const QString& name : std::as_const(folders)) {
        removed = d.Act(RemoteAction::kRemoveFolder, RemotePath(name)) && removed;
    }
    return removed;
}

}  // namespace corvane
