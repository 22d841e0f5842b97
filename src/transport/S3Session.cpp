// The S3 session over one libcurl easy handle: every request resets the handle and sets
// it up anew, which keeps the connection to the service open between requests.
//
// libcurl signs each request (CURLOPT_AWS_SIGV4) and takes the payload hash from the
// "x-amz-content-sha256" header we send: the SHA-256 of a body held in memory (an empty
// body, one part, the completion document), "UNSIGNED-PAYLOAD" for a file streamed from
// the disk. It signs the query exactly as the URL holds it, so every query is built in
// canonical form: names sorted, names and values percent-encoded, "=" after each name.

#include "transport/S3Session.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "io/DescriptorIo.h"
#include "log/Log.h"
#include "transport/CurlDriver.h"
#include "transport/LocalFiles.h"
#include "transport/S3KeyNames.h"
#include "transport/S3Xml.h"

namespace corvane {

namespace {

const char kEmptyPayloadHash[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char kUnsignedPayload[] = "UNSIGNED-PAYLOAD";
// Error documents and listing pages are small; a longer answer is cut here.
const qsizetype kMaxAnswer = 8 * 1024 * 1024;
const qint64 kMaxParts = 10000;
const qint64 kMinPartSize = 5LL * 1024 * 1024;
// A service that keeps answering "truncated" is not followed past this many pages.
const int kMaxListPages = 100000;

QByteArray Sha256Hex(const char* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
        .toHex();
}

// The levels of a "/" separated name ("\" read as "/"), empty levels dropped.
QStringList LevelsOf(QString text) {
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return text.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool HasDotLevel(const QStringList& levels) {
    return levels.contains(QLatin1String(".")) || levels.contains(QLatin1String(".."));
}

using QueryPairs = std::vector<std::pair<QByteArray, QString>>;

// The query as the signature needs it: sorted by name, every name and value encoded.
QByteArray CanonicalQuery(QueryPairs pairs) {
    std::sort(pairs.begin(), pairs.end());
    QByteArray query;
    for (const auto& [name, value] : pairs) {
        if (!query.isEmpty()) {
            query += '&';
        }
        query += name.toPercentEncoding() + '=' + value.toUtf8().toPercentEncoding();
    }
    return query;
}

// A request's payload: bytes in memory or `size` bytes streamed from a file.
struct Payload {
    const char* data = nullptr;
    int fd = -1;
    qint64 size = 0;
    qint64 sent = 0;
    bool readFailed = false;
};

size_t ReadPayload(char* buffer, size_t size, size_t count, void* user) {
    auto* payload = static_cast<Payload*>(user);
    const size_t wanted =
        static_cast<size_t>(std::min<qint64>(payload->size - payload->sent, size * count));
    if (wanted == 0) {
        return 0;
    }
    if (payload->fd < 0) {
        std::memcpy(buffer, payload->data + payload->sent, wanted);
        payload->sent += static_cast<qint64>(wanted);
        return wanted;
    }
    const ssize_t got = ReadSome(payload->fd, buffer, wanted);
    if (got < 0) {
        payload->readFailed = true;
        return CURL_READFUNC_ABORT;
    }
    payload->sent += got;
    return static_cast<size_t>(got);
}

// What came back: the status, the ETag, and the body, which goes to `fd` when that is
// set and the status is a success, and is kept (up to kMaxAnswer) otherwise.
struct Answer {
    CURL* curl = nullptr;
    long status = 0;
    QByteArray etag;
    QByteArray body;
    int fd = -1;
    bool writeFailed = false;

    bool Succeeded() const { return status >= 200 && status < 300; }
};

size_t TakeBody(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    const size_t total = size * count;
    curl_easy_getinfo(answer->curl, CURLINFO_RESPONSE_CODE, &answer->status);
    if (answer->fd >= 0 && answer->Succeeded()) {
        if (!WriteAll(answer->fd, data, total)) {
            answer->writeFailed = true;
            return 0;  // libcurl ends the transfer with a write error
        }
    } else if (answer->body.size() < kMaxAnswer) {
        answer->body.append(data, static_cast<qsizetype>(total));
    }
    return total;
}

size_t TakeHeader(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    const QByteArray line(data, static_cast<qsizetype>(size * count));
    // Header names are case-insensitive ("ETag", "etag", "ETAG").
    if (line.size() > 5 && qstrnicmp(line.constData(), "etag:", 5) == 0) {
        answer->etag = line.mid(5).trimmed();
    }
    return size * count;
}

// A bucket name as services accept it in a path: no "/", no blank, nothing escaped.
bool IsUsableBucket(const QString& bucket) {
    static const QRegularExpression usable(QStringLiteral("^[A-Za-z0-9._-]{1,255}$"));
    return usable.match(bucket).hasMatch() && bucket != QLatin1String(".") &&
           bucket != QLatin1String("..");
}

}  // namespace

class S3Session::Impl {
  public:
    ~Impl() { Close(); }

    void Close() {
        if (m_curl) {
            curl_easy_cleanup(m_curl);
            m_curl = nullptr;
        }
        m_connected = false;
    }

    // The object key of a name below the session's key prefix.
    QString KeyOf(const QString& name) const {
        return LevelsOf(m_folder + QLatin1Char('/') + name).join(QLatin1Char('/'));
    }

    // Sends one request for `key` (empty: the bucket) and collects the answer. The key
    // goes into the URL level by level, each level percent-encoded.
    CURLcode Send(const char* method, const QString& key, const QByteArray& query, Payload* payload,
                  Answer& answer) {
        curl_easy_reset(m_curl);
        QByteArray url = m_bucketUrl;
        const QStringList levels = key.split(QLatin1Char('/'), Qt::KeepEmptyParts);
        if (!key.isEmpty() && HasDotLevel(levels)) {
            // Such a key would name an object outside the prefix, even in another bucket.
            qstrncpy(m_error, "the name holds a \".\" or \"..\" level", sizeof m_error);
            return CURLE_URL_MALFORMAT;
        }
        for (const QString& level : key.isEmpty() ? QStringList() : levels) {
            url += '/' + S3KeyOfName(level).toUtf8().toPercentEncoding();
        }
        if (!query.isEmpty()) {
            url += '?' + query;
        }
        const QByteArray hash = !payload ? QByteArray(kEmptyPayloadHash)
                                : payload->fd >= 0
                                    ? QByteArray(kUnsignedPayload)
                                    : Sha256Hex(payload->data, static_cast<size_t>(payload->size));
        curl_slist* headers =
            curl_slist_append(nullptr, ("x-amz-content-sha256: " + hash).constData());
        // libcurl's default form type would be sent (and signed) with a POST.
        headers = curl_slist_append(headers, "Content-Type:");
        curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
        // The key as it stands: libcurl would merge "//" and signs what it sends.
        curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, 60L);
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
        curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
        if (!m_user.isEmpty()) {
            // Never in the URL: libcurl's texts may quote the URL, they never quote these.
            curl_easy_setopt(m_curl, CURLOPT_AWS_SIGV4, m_signature.constData());
            curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.constData());
            curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_secret.constData());
        }
        const QByteArray verb(method);
        Payload none;
        Payload* body = payload ? payload : &none;
        if (verb == "PUT") {
            curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body->size));
        } else if (verb == "POST") {
            curl_easy_setopt(m_curl, CURLOPT_POST, 1L);
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body->size));
        } else if (verb == "DELETE") {
            curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, "DELETE");
        }
        curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &ReadPayload);
        curl_easy_setopt(m_curl, CURLOPT_READDATA, body);
        answer.curl = m_curl;
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &TakeBody);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &answer);
        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &TakeHeader);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &answer);
        m_error[0] = '\0';
        const CURLcode code = curl_easy_perform(m_curl);
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &answer.status);
        curl_slist_free_all(headers);
        return code;
    }

    // The reason of a failed request: the service's error code and message when it
    // answered, else libcurl's text. Neither holds the secret.
    QString FailureText(CURLcode code, const Answer& answer) const {
        if (code != CURLE_OK && (answer.status == 0 || answer.Succeeded())) {
            return QString::fromUtf8(m_error[0] != '\0' ? m_error : curl_easy_strerror(code));
        }
        const QString service = S3ErrorText(answer.body);
        const QString status = QStringLiteral("HTTP %1").arg(answer.status);
        return service.isEmpty() ? status
                                 : service + QLatin1String(" (") + status + QLatin1Char(')');
    }

    bool TransferFailed(const QString& reason) {
        Log("  FTP transfer error: %s", qUtf8Printable(reason));
        return false;
    }

    // One request whose failure is logged as a transfer error.
    bool Request(const char* method, const QString& key, const QByteArray& query, Payload* payload,
                 Answer& answer) {
        const CURLcode code = Send(method, key, query, payload, answer);
        if (code == CURLE_OK && answer.Succeeded()) {
            return true;
        }
        return TransferFailed(FailureText(code, answer));
    }

    // The keys below `prefix`; with a delimiter the "folders" one level down go to
    // `prefixes` instead. `limit` > 0 asks for one page of that many keys only. False
    // (logged) when the service refused a page.
    bool ListKeys(const QString& prefix, const QString& delimiter, QStringList& keys,
                  QStringList& prefixes, int limit = 0) {
        QString token;
        for (int page = 0; page < kMaxListPages; ++page) {
            QueryPairs query = {{"list-type", QStringLiteral("2")},
                                {"max-keys", QString::number(limit > 0 ? limit : m_pageKeys)},
                                {"prefix", S3KeyOfName(prefix)}};
            if (!delimiter.isEmpty()) {
                query.emplace_back("delimiter", delimiter);
            }
            if (!token.isEmpty()) {
                query.emplace_back("continuation-token", token);
            }
            Answer answer;
            if (!Request("GET", QString(), CanonicalQuery(query), nullptr, answer)) {
                return false;
            }
            S3ListPage result;
            if (!ParseS3ListPage(answer.body, result)) {
                return TransferFailed(QStringLiteral("the service's listing cannot be read"));
            }
            for (const QString& key : std::as_const(result.keys)) {
                keys << S3NameOfKey(key);
            }
            for (const QString& folder : std::as_const(result.prefixes)) {
                prefixes << S3NameOfKey(folder);
            }
            if (limit > 0 || !result.truncated) {
                return true;
            }
            if (result.nextToken.isEmpty() || result.nextToken == token) {
                return TransferFailed(QStringLiteral("the service's listing does not go on"));
            }
            token = result.nextToken;
        }
        return TransferFailed(QStringLiteral("the service's listing does not end"));
    }

    bool DeleteKey(const QString& key) {
        Answer answer;
        return Request("DELETE", key, QByteArray(), nullptr, answer);
    }

    // Puts the zero-byte marker "<key>/" that keeps a folder with nothing in it listed;
    // putting it again changes nothing. Logs a warning when the service refuses.
    void PutFolderMarker(const QString& key) {
        if (key.isEmpty()) {
            return;  // the bucket itself
        }
        Payload empty;
        Answer answer;
        const CURLcode code = Send("PUT", key + QLatin1Char('/'), QByteArray(), &empty, answer);
        if (code != CURLE_OK || !answer.Succeeded()) {
            Log("  Warning: cannot create folder %s", qUtf8Printable(QLatin1Char('/') + key));
        }
    }

    bool UploadWhole(int fd, qint64 size, const QString& key) {
        Payload payload;
        payload.fd = fd;
        payload.size = size;
        Answer answer;
        const CURLcode code = Send("PUT", key, QByteArray(), &payload, answer);
        if (payload.readFailed) {
            return TransferFailed(LocalError("cannot read the local file"));
        }
        if (code != CURLE_OK || !answer.Succeeded()) {
            return TransferFailed(FailureText(code, answer));
        }
        return true;
    }

    // Creates a multipart upload, sends the file part by part through one buffer and
    // completes it; any failure aborts the upload, so the service drops the parts.
    bool UploadInParts(int fd, qint64 size, const QString& key) {
        Answer created;
        Payload empty;
        if (!Request("POST", key, CanonicalQuery({{"uploads", QString()}}), &empty, created)) {
            return false;
        }
        const QString uploadId = S3ElementText(created.body, u"UploadId");
        if (uploadId.isEmpty()) {
            return TransferFailed(QStringLiteral("the service gave no upload id"));
        }
        auto abort = [&](const QString& reason) {
            Answer aborted;
            const CURLcode code =
                Send("DELETE", key, CanonicalQuery({{"uploadId", uploadId}}), nullptr, aborted);
            const bool failed = TransferFailed(reason);
            if (code != CURLE_OK || !aborted.Succeeded()) {
                // Its parts stay stored (and billed) until the bucket's own rules drop them.
                Log("  Warning: the unfinished upload of %s could not be cancelled: %s",
                    qUtf8Printable(key), qUtf8Printable(FailureText(code, aborted)));
            }
            return failed;
        };
        const qint64 partSize =
            std::max({m_partSize, kMinPartSize, (size + kMaxParts - 1) / kMaxParts});
        QByteArray buffer(static_cast<qsizetype>(partSize), Qt::Uninitialized);
        QString completion = QStringLiteral("<CompleteMultipartUpload>");
        int number = 0;
        for (qint64 offset = 0; offset < size; offset += partSize) {
            const qint64 length = std::min(partSize, size - offset);
            if (!ReadAllAt(fd, buffer.data(), static_cast<size_t>(length),
                           static_cast<quint64>(offset))) {
                return abort(errno != 0
                                 ? LocalError("cannot read the local file")
                                 : QStringLiteral("the local file shrank while it was sent"));
            }
            ++number;
            Payload part;
            part.data = buffer.constData();
            part.size = length;
            Answer answer;
            const CURLcode code = Send(
                "PUT", key,
                CanonicalQuery({{"partNumber", QString::number(number)}, {"uploadId", uploadId}}),
                &part, answer);
            if (code != CURLE_OK || !answer.Succeeded() || answer.etag.isEmpty()) {
                return abort(FailureText(code, answer));
            }
            completion += QStringLiteral("<Part><PartNumber>%1</PartNumber><ETag>%2</ETag></Part>")
                              .arg(number)
                              .arg(QString::fromLatin1(answer.etag).toHtmlEscaped());
        }
        struct stat after {};
        if (::fstat(fd, &after) != 0 || after.st_size != size) {
            return abort(QStringLiteral("the local file grew while it was sent"));
        }
        completion += QLatin1String("</CompleteMultipartUpload>");
        const QByteArray document = completion.toUtf8();
        Payload payload;
        payload.data = document.constData();
        payload.size = document.size();
        Answer done;
        const CURLcode code =
            Send("POST", key, CanonicalQuery({{"uploadId", uploadId}}), &payload, done);
        // A completion can fail after the status line: the error then is the body of a 200.
        if (code != CURLE_OK || !done.Succeeded() || !S3ErrorText(done.body).isEmpty()) {
            return abort(FailureText(code, done));
        }
        return true;
    }

    // Adds the names below `start` (relative to the session folder) from the keys and
    // folder prefixes of a listing of `prefix`, folders synthesised from key levels.
    void AddNames(const QString& start, const QString& prefix, const QStringList& keys,
                  const QStringList& folderPrefixes, bool recursive, QStringList& names) {
        std::map<QString, std::set<QString>> subFolders;  // folder -> its sub-folders
        std::map<QString, QStringList> files;             // folder -> its files
        int unusable = 0;
        auto addFolders = [&subFolders](const QStringList& levels, qsizetype count) {
            QString parent;
            for (qsizetype i = 0; i < count; ++i) {
                const QString path =
                    parent.isEmpty() ? levels[i] : parent + QLatin1Char('/') + levels[i];
                subFolders[parent].insert(path);
                subFolders[path];
                parent = path;
            }
        };
        for (const QString& key : keys) {
            QStringList levels = key.mid(prefix.size()).split(QLatin1Char('/'));
            const bool marker = levels.last().isEmpty();  // "a/b/" stands for a folder
            if (marker) {
                levels.removeLast();
            }
            if (levels.isEmpty() || (levels.size() == 1 && levels.first().isEmpty())) {
                continue;  // the marker of the listed folder itself
            }
            if (levels.contains(QString()) || HasDotLevel(levels)) {
                ++unusable;
                continue;
            }
            addFolders(levels, marker ? levels.size() : levels.size() - 1);
            if (!marker) {
                const QStringList parents = levels.mid(0, levels.size() - 1);
                files[parents.join(QLatin1Char('/'))] << levels.last();
            }
        }
        for (const QString& folder : folderPrefixes) {
            const QString name = folder.mid(prefix.size()).chopped(folder.endsWith('/') ? 1 : 0);
            if (name.isEmpty() || name.contains(QLatin1Char('/')) || HasDotLevel({name})) {
                ++unusable;
                continue;
            }
            addFolders({name}, 1);
        }
        if (unusable > 0) {
            Log("  Warning: the FTP listing of %s holds %d unusable names, they are skipped",
                qUtf8Printable(QLatin1Char('/') + prefix), unusable);
        }
        std::function<void(const QString&)> addBelow = [&](const QString& folder) {
            const QString base = folder.isEmpty() ? start : start + QLatin1Char('/') + folder;
            for (const QString& file : std::as_const(files[folder])) {
                names << base + QLatin1Char('/') + file;
            }
            const std::set<QString> below = subFolders[folder];
            for (const QString& sub : below) {
                names << start + QLatin1Char('/') + sub + QLatin1Char('/');
            }
            if (recursive) {
                for (const QString& sub : below) {
                    addBelow(sub);
                }
            }
        };
        addBelow(QString());
    }

    CURL* m_curl = nullptr;
    FtpNameEncoder m_encodeName = nullptr;
    qint64 m_singleLimit = 0;
    qint64 m_partSize = 0;
    int m_pageKeys = 1000;
    QByteArray m_bucketUrl;  // "<service>/<bucket>"
    QByteArray m_signature;  // "aws:amz:<region>:s3"
    QByteArray m_user;
    QByteArray m_secret;
    QString m_folder;
    bool m_connected = false;
    char m_error[CURL_ERROR_SIZE] = {};
    QString m_connectError;
};

S3Session::S3Session(FtpNameEncoder encodeName, S3Tuning tuning)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->m_encodeName = encodeName;
    m_impl->m_singleLimit = tuning.singleLimit;
    m_impl->m_partSize = tuning.partSize;
    m_impl->m_pageKeys = std::clamp(tuning.listPageKeys, 1, 1000);
}

S3Session::~S3Session() = default;

bool S3Session::Connect(const FtpEndpoint& endpoint) {
    Disconnect();
    Impl& d = *m_impl;
    d.m_connectError.clear();
    auto fail = [&d](const QString& reason) {
        d.m_connectError = reason.left(255);
        Log("  FTP connection error: %s", qUtf8Printable(d.m_connectError));
        d.Close();
        return false;
    };
    const QUrl service(endpoint.access.serviceUrl.trimmed(), QUrl::StrictMode);
    const QString scheme = service.scheme().toLower();
    if (!service.isValid() || service.host().isEmpty() || !service.userInfo().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        service.hasQuery() || service.hasFragment()) {
        return fail(QStringLiteral("bad service address"));
    }
    if (!IsUsableBucket(endpoint.host)) {
        return fail(QStringLiteral("bad bucket name"));
    }
    const QString region = endpoint.access.region.trimmed().isEmpty()
                               ? QStringLiteral("us-east-1")
                               : endpoint.access.region.trimmed();
    if (region.contains(QLatin1Char(':')) || region.contains(QLatin1Char(' '))) {
        return fail(QStringLiteral("bad region"));
    }
    InitCurlOnce();
    d.m_curl = curl_easy_init();
    if (!d.m_curl) {
        return fail(QStringLiteral("cannot start the transfer library"));
    }
    d.m_bucketUrl = service.toString(QUrl::StripTrailingSlash | QUrl::FullyEncoded).toUtf8() + '/' +
                    endpoint.host.toUtf8();
    d.m_signature = "aws:amz:" + region.toUtf8() + ":s3";
    d.m_user = endpoint.user.toUtf8();
    d.m_secret = endpoint.password.toUtf8();
    d.m_folder = endpoint.folder;
    // One key of the bucket: proves the address, the bucket and the keys at once.
    Answer answer;
    const CURLcode code = d.Send(
        "GET", QString(),
        CanonicalQuery({{"list-type", QStringLiteral("2")}, {"max-keys", QStringLiteral("1")}}),
        nullptr, answer);
    if (code != CURLE_OK || !answer.Succeeded()) {
        return fail(d.FailureText(code, answer));
    }
    d.m_connected = true;
    return true;
}

QString S3Session::ConnectError() const {
    return m_impl->m_connectError;
}

void S3Session::Disconnect() {
    m_impl->Close();
}

bool S3Session::IsConnected() const {
    return m_impl->m_connected;
}

QString S3Session::LoginFolder() const {
    return QStringLiteral("/");
}

QString S3Session::Folder() const {
    return m_impl->m_folder;
}

QString S3Session::RemotePath(const QString& name) const {
    return QLatin1Char('/') + m_impl->KeyOf(name);
}

void S3Session::CreateFolders(const QString& path) {
    Impl& d = *m_impl;
    // The session folder itself receives the run's files, which make it.
    if (d.m_connected && !LevelsOf(path).isEmpty()) {
        d.PutFolderMarker(d.KeyOf(path));
    }
}

void S3Session::CreateFolderTree(const QStringList& folders, const QString& remoteFolder) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return;
    }
    QStringList keys;
    QSet<QString> withSubFolder;
    for (const QString& folder : folders) {
        const QStringList levels = LevelsOf(remoteFolder + QLatin1Char('/') + folder);
        keys << levels.join(QLatin1Char('/'));
        for (qsizetype depth = 1; depth < levels.size(); ++depth) {
            withSubFolder.insert(levels.mid(0, depth).join(QLatin1Char('/')));
        }
    }
    // A folder with a sub-folder is made by the sub-folder's marker.
    for (const QString& key : std::as_const(keys)) {
        if (!withSubFolder.contains(key)) {
            d.PutFolderMarker(key);
        }
    }
}

bool S3Session::Upload(const QString& localPath, const QString& name) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return false;
    }
    const QString key = d.KeyOf(name);
    if (key.isEmpty()) {
        return d.TransferFailed(QStringLiteral("no object name"));
    }
    FileDescriptor file;
    qint64 size = 0;
    QString whyNot;
    if (!OpenLocalSource(d.m_encodeName(localPath), file, size, whyNot)) {
        return d.TransferFailed(whyNot);
    }
    if (size > d.m_singleLimit) {
        return d.UploadInParts(file.Get(), size, key);
    }
    if (!d.UploadWhole(file.Get(), size, key)) {
        return false;
    }
    // libcurl stops at the announced size: the file must not have grown past it.
    struct stat after {};
    if (::fstat(file.Get(), &after) != 0 || after.st_size != size) {
        // What the service holds is not the file: it must not pass for a copy.
        if (!d.DeleteKey(key)) {
            Log("  Warning: cannot delete %s", qUtf8Printable(RemotePath(name)));
        }
        return d.TransferFailed(QStringLiteral("the local file grew while it was sent"));
    }
    return true;
}

bool S3Session::Download(const QString& name, const QString& localPath) {
    Impl& d = *m_impl;
    if (!d.m_connected || localPath.isEmpty()) {
        return false;
    }
    const QString key = d.KeyOf(name);
    if (key.isEmpty()) {
        return d.TransferFailed(QStringLiteral("no object name"));
    }
    DownloadTarget file;
    QString whyNot;
    if (!file.Create(localPath, d.m_encodeName, whyNot)) {
        return d.TransferFailed(whyNot);
    }
    Answer answer;
    answer.fd = file.Fd();
    const CURLcode code = d.Send("GET", key, QByteArray(), nullptr, answer);
    if (answer.writeFailed) {
        return d.TransferFailed(LocalError("cannot write the local file"));
    }
    if (code != CURLE_OK || !answer.Succeeded()) {
        return d.TransferFailed(d.FailureText(code, answer));
    }
    return file.Commit(whyNot) || d.TransferFailed(whyNot);
}

void S3Session::ListTree(const QString& folder, QStringList& names, bool recursive) {
    Impl& d = *m_impl;
    if (!d.m_connected) {
        return;
    }
    QString start = folder;
    start.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (start.endsWith(QLatin1Char('/'))) {
        start.chop(1);
    }
    const QString base = d.KeyOf(start);
    const QString prefix = base.isEmpty() ? QString() : base + QLatin1Char('/');
    QStringList keys;
    QStringList folderPrefixes;
    if (d.ListKeys(prefix, recursive ? QString() : QStringLiteral("/"), keys, folderPrefixes)) {
        d.AddNames(start, prefix, keys, folderPrefixes, recursive, names);
    }
}

void S3Session::SetFolder(const QString& folder) {
    m_impl->m_folder = folder;
}

bool S3Session::DeleteFile(const QString& name) {
    Impl& d = *m_impl;
    return d.m_connected && !LevelsOf(name).isEmpty() && d.DeleteKey(d.KeyOf(name));
}

bool S3Session::RemoveFolder(const QString& folder) {
    Impl& d = *m_impl;
    if (!d.m_connected || LevelsOf(folder).isEmpty()) {
        return false;
    }
    const QString prefix = d.KeyOf(folder) + QLatin1Char('/');
    QStringList keys;
    QStringList unused;
    if (!d.ListKeys(prefix, QString(), keys, unused, 2)) {
        return false;
    }
    if (keys.size() > (keys.contains(prefix) ? 1 : 0)) {
        return false;  // something lies below it
    }
    return !keys.contains(prefix) || d.DeleteKey(prefix);
}

bool S3Session::RemoveFolderTree(const QString& folder) {
    Impl& d = *m_impl;
    const QStringList levels = LevelsOf(folder);
    // No levels would be the session folder, "." or ".." a place above what was asked.
    if (!d.m_connected || levels.isEmpty() || HasDotLevel(levels)) {
        return false;
    }
    const QString prefix = d.KeyOf(folder) + QLatin1Char('/');
    QStringList keys;
    QStringList unused;
    if (!d.ListKeys(prefix, QString(), keys, unused)) {
        return false;
    }
    bool removed = true;
    for (const QString& key : std::as_const(keys)) {
        removed = d.DeleteKey(key) && removed;
    }
    QStringList left;
    return d.ListKeys(prefix, QString(), left, unused, 1) && left.isEmpty() && removed;
}

}  // namespace corvane
