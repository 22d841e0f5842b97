// The FTP session over one libcurl easy handle.
//
// Every request names an absolute remote path in its URL ("ftp://host/%2Fhome/u/x") and
// libcurl is told not to change folders (CURLFTPMETHOD_NOCWD), so each request sends one
// command with the full path and the server's current folder never matters. Reusing
// the one handle keeps the control connection open between requests; libcurl opens a
// new one by itself only when the server has dropped it.

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QRandomGenerator>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "log/Log.h"
#include "model/FileName.h"
#include "transport/FtpListing.h"
#include "transport/FtpSession.h"

namespace corvane {

namespace {

// Deeper folder chains than this are not listed (a server-side link loop would
// otherwise never end).
const int kMaxListDepth = 256;
// A listing line longer than this is not a listing line; it is dropped.
const qsizetype kMaxListingLine = 64 * 1024;
// Reply lines kept per request: enough for a FEAT answer and a login.
const size_t kMaxReplyLines = 256;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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

// The URL path of an absolute remote path: "%2F" keeps the leading "/" (libcurl drops
// the first "/" of a URL path), each segment percent-encoded as the bytes of its name
// (UTF-8, or the raw bytes of a name that is not). A folder URL ends in "/", which is
// how libcurl tells a listing from a file.
QByteArray UrlPathOf(const QString& remotePath, bool folder) {
    QByteArray path = "%2F";
    const QStringList segments = remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0) {
            path += '/';
        }
        path += FileNameToBytes(segments.at(i)).toPercentEncoding();
    }
    if (folder) {
        path += '/';
    }
    return path;
}

// The host part of an address may carry "user:password@" and ":port"; only the host
// name goes into the URL, the rest is returned separately.
struct HostPart {
    QString host;  // ready for a URL (IPv6 literals in brackets, names in ASCII form)
    QString user;
    QString password;
    int port = 0;
};

bool SplitHostPart(QString text, HostPart& part, QString& whyNot) {
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = text.left(at);
        text = text.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        part.user =
            QUrl::fromPercentEncoding(userInfo.left(colon < 0 ? userInfo.size() : colon).toUtf8());
        if (colon >= 0) {
            part.password = QUrl::fromPercentEncoding(userInfo.mid(colon + 1).toUtf8());
        }
    }
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            whyNot = QStringLiteral("bad host name");
            return false;
        }
        portText = text.mid(close + 1);
        text = text.left(close + 1);
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        portText = text.mid(colon);
        text = text.left(colon);
    } else if (text.count(QLatin1Char(':')) > 1) {
        text = QLatin1Char('[') + text + QLatin1Char(']');  // a bare IPv6 literal
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        part.port = portText.mid(1).toInt(&ok);
        if (!portText.startsWith(QLatin1Char(':')) || !ok || part.port < 1 || part.port > 65535) {
            whyNot = QStringLiteral("bad port in the address");
            return false;
        }
    }
    if (text.isEmpty()) {
        whyNot = QStringLiteral("no host name in the address");
        return false;
    }
    if (!text.startsWith(QLatin1Char('['))) {
        text = QString::fromLatin1(QUrl::toAce(text));
    }
    static const QLatin1String kHostCharacters(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._[]:");
    for (const QChar c : text) {
        if (!QString(kHostCharacters).contains(c)) {
            text.clear();
            break;
        }
    }
    if (text.isEmpty()) {
        whyNot = QStringLiteral("bad host name");
        return false;
    }
    part.host = text;
    return true;
}

// The read side of an upload: the local file, read in the pieces libcurl asks for.
struct UploadSource {
    int fd = -1;
    bool failed = false;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* source = static_cast<UploadSource*>(data);
    for (;;) {
        const ssize_t got = ::read(source->fd, buffer, size * count);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            source->failed = true;
            return CURL_READFUNC_ABORT;
        }
        return static_cast<size_t>(got);
    }
}

// Closes a file descriptor when the scope ends.
struct ScopedFd {
    int fd = -1;
    ~ScopedFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// The write side of a download: a file descriptor, written completely or failed.
struct DownloadSink {
    int fd = -1;
    bool failed = false;
};

size_t WriteDownload(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<DownloadSink*>(user);
    const size_t total = size * count;
    size_t done = 0;
    while (done < total) {
        const ssize_t written = ::write(sink->fd, data + done, total - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            sink->failed = true;
            return 0;  // libcurl ends the transfer with a write error
        }
        done += static_cast<size_t>(written);
    }
    return total;
}

size_t DiscardData(char*, size_t size, size_t count, void*) {
    return size * count;
}

// The listing of one folder, parsed line by line as the data arrives.
struct ListingSink {
    bool mlsd = false;
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
        const QString text = QString::fromUtf8(line);
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
        if (m_curl) {
            curl_easy_cleanup(m_curl);  // sends QUIT on a live connection
            m_curl = nullptr;
        }
        m_connected = false;
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
        const QByteArray url = m_baseUrl + UrlPathOf(remotePath, folder);
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
        CURLcode code = curl_easy_perform(m_curl);
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
            code = curl_easy_perform(m_curl);
        }
        const bool refusedTransfer =
            code == CURLE_UPLOAD_FAILED || code == CURLE_REMOTE_FILE_NOT_FOUND ||
            code == CURLE_FTP_COULDNT_RETR_FILE || code == CURLE_REMOTE_ACCESS_DENIED;
        if (refusedTransfer && m_mode == FtpMode::kActive) {
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

    // The reason of a failed request: the server's refusal when it sent one, else
    // libcurl's own text. Neither holds the password (it is never part of the URL).
    QString FailureText(CURLcode code) const {
        QString reply;
        if (LastReply(&reply) >= 400) {
            return reply;
        }
        if (m_error[0] != '\0') {
            return QString::fromUtf8(m_error);
        }
        return QString::fromUtf8(curl_easy_strerror(code));
    }

    // Sends one command that needs no data connection; true on a 2xx reply.
    bool Command(const QString& command) {
        if (HasControlCharacter(command)) {
            return false;  // would split into two commands on the control connection
        }
        BeginRequest(QStringLiteral("/"), true);
        // "*": a refusal is an answer here, not a failure that drops the connection. A
        // path in the command goes as the bytes of its name.
        const QByteArray line = "*" + FileNameToBytes(command);
        curl_slist* commands = curl_slist_append(nullptr, line.constData());
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, commands);
        curl_easy_setopt(m_curl, CURLOPT_NOBODY, 1L);
        const CURLcode code = curl_easy_perform(m_curl);
        curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(commands);
        const int reply = LastReply();
        return code == CURLE_OK && reply >= 200 && reply < 300;
    }

    bool MakeFolder(const QString& remotePath) {
        return Command(QStringLiteral("MKD ") + remotePath);
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
    CURL* m_curl = nullptr;
    QByteArray m_baseUrl;  // "ftp://host/"
    QString m_loginFolder;
    QString m_folder;
    bool m_connected = false;
    FtpMode m_mode = FtpMode::kActive;
    bool m_mlsd = false;
    char m_error[CURL_ERROR_SIZE] = {};
    std::vector<QByteArray> m_replies;
};

FtpSession::FtpSession() : m_impl(std::make_unique<Impl>()) {
    m_impl->m_owner = this;
}

FtpSession::~FtpSession() {
    Disconnect();
}

bool FtpSession::Connect(const QString& address, const QString& user, const QString& password,
                         int port, FtpMode mode) {
    Disconnect();
    Impl& d = *m_impl;

    QString rest = address;
    const qsizetype scheme = rest.indexOf(QLatin1String("ftp://"), 0, Qt::CaseInsensitive);
    if (scheme >= 0) {
        rest = rest.mid(scheme + 6);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString hostText = slash < 0 ? rest : rest.left(slash);
    d.m_folder = slash < 0 ? QString() : rest.mid(slash + 1);
    d.m_folder.replace(QLatin1Char('\\'), QLatin1Char('/'));

    HostPart host;
    QString whyNot;
    if (!SplitHostPart(hostText, host, whyNot)) {
        Log("  FTP connection error: %s", qUtf8Printable(whyNot));
        return false;
    }
    // Credentials and port written in the address serve when the task gives none.
    const QString userName = user.isEmpty() ? host.user : user;
    const QString secret = user.isEmpty() ? host.password : password;
    if ((port == 0 || port == 21) && host.port != 0) {
        port = host.port;
    }
    if (port <= 0 || port > 65535) {
        port = 21;
    }

    InitCurlOnce();
    d.m_curl = curl_easy_init();
    if (!d.m_curl) {
        Log("  FTP connection error: %s", "cannot start the FTP library");
        return false;
    }
    d.m_baseUrl = "ftp://" + host.host.toLatin1() + "/";
    d.m_mode = mode;
    CURL* curl = d.m_curl;
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, d.m_error);
    curl_easy_setopt(curl, CURLOPT_PORT, static_cast<long>(port));
    if (!userName.isEmpty()) {
        // Never in the URL: libcurl's texts may quote the URL, they never quote these.
        curl_easy_setopt(curl, CURLOPT_USERNAME, userName.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, secret.toUtf8().constData());
    }
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(curl, CURLOPT_FTPPORT, mode == FtpMode::kActive ? "-" : nullptr);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnReply);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &d);

    // Log in (libcurl asks PWD right after) and ask for the features in the same go.
    d.BeginRequest(QStringLiteral("/"), true);
    curl_slist* commands = curl_slist_append(nullptr, "*FEAT");
    curl_easy_setopt(curl, CURLOPT_QUOTE, commands);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(commands);
    if (code != CURLE_OK) {
        Log("  FTP connection error: %s", qUtf8Printable(d.FailureText(code).left(255)));
        d.Close();
        return false;
    }

    char* entryPath = nullptr;
    curl_easy_getinfo(curl, CURLINFO_FTP_ENTRY_PATH, &entryPath);
    d.m_loginFolder = entryPath && *entryPath ? QString::fromUtf8(entryPath) : QStringLiteral("/");

    // The FEAT answer: "211-..." then one feature a line, "211 End".
    d.m_mlsd = false;
    bool inFeatures = false;
    for (const QByteArray& line : d.m_replies) {
        if (line.startsWith("211-")) {
            inFeatures = true;
        } else if (line.startsWith("211 ")) {
            inFeatures = false;
        } else if (inFeatures) {
            const QByteArray feature = line.trimmed().toUpper();
            if (feature.startsWith("MLST") || feature.startsWith("MLSD")) {
                d.m_mlsd = true;
            }
        }
    }
    d.m_connected = true;
    return true;
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
        if (!d.MakeFolder(JoinBelow(d.m_loginFolder, level))) {
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
        d.MakeFolder(JoinBelow(d.m_loginFolder, StripSlashes(CleanSlashes(remote))));
    }
}

bool FtpSession::Upload(const QString& localPath, const QString& name) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return false;
    }
    // Opened by the exact bytes of its name; O_NONBLOCK keeps a FIFO that took the
    // file's place from hanging the run before the type check refuses it.
    ScopedFd file;
    file.fd = ::open(FileNameToBytes(localPath).constData(),
                     O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        ::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        return false;
    }
    UploadSource source{file.fd, false};
    d.BeginRequest(RemotePath(name), false);
    curl_easy_setopt(d.m_curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(d.m_curl, CURLOPT_READFUNCTION, &ReadUpload);
    curl_easy_setopt(d.m_curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(d.m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    const CURLcode code = d.Perform([&source] {
        source.failed = false;
        return ::lseek(source.fd, 0, SEEK_SET) == 0;
    });
    // libcurl stops at the announced size: the file must not have grown past it.
    const off_t sent = ::lseek(file.fd, 0, SEEK_CUR);
    struct stat after {};
    return code == CURLE_OK && !source.failed && ::fstat(file.fd, &after) == 0 &&
           sent >= after.st_size;
}

bool FtpSession::Download(const QString& name, const QString& localPath) {
    Impl& d = *m_impl;
    if (!d.m_connected || localPath.isEmpty()) {
        return false;
    }
    const QString absolute = QDir::isAbsolutePath(localPath)
                                 ? localPath
                                 : QDir::currentPath() + QLatin1Char('/') + localPath;
    const QByteArray targetName = FileNameToBytes(absolute);
    const QByteArray folderName =
        targetName.left(std::max<qsizetype>(targetName.lastIndexOf('/'), 1));

    // A unique name beside the target, so the rename below stays on one file system.
    QByteArray temporaryName;
    DownloadSink sink;
    for (int attempt = 0; attempt < 100 && sink.fd < 0; ++attempt) {
        temporaryName = folderName + "/.corvane-download-" +
                        QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        sink.fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (sink.fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (sink.fd < 0) {
        return false;
    }

    d.BeginRequest(RemotePath(name), false);
    curl_easy_setopt(d.m_curl, CURLOPT_WRITEFUNCTION, &WriteDownload);
    curl_easy_setopt(d.m_curl, CURLOPT_WRITEDATA, &sink);
    const CURLcode code = d.Perform([&sink] {
        sink.failed = false;
        return ::ftruncate(sink.fd, 0) == 0 && ::lseek(sink.fd, 0, SEEK_SET) == 0;
    });
    bool ok = code == CURLE_OK && !sink.failed;
    if (ok) {
        // A replaced file keeps its permissions; a new one gets the umask's.
        struct stat old {};
        if (::stat(targetName.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::fchmod(sink.fd, old.st_mode & 07777);
        }
    }
    ok = ::close(sink.fd) == 0 && ok;
    if (ok) {
        ok = ::rename(temporaryName.constData(), targetName.constData()) == 0;
    }
    if (!ok) {
        ::unlink(temporaryName.constData());
    }
    return ok;
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

}  // namespace corvane
