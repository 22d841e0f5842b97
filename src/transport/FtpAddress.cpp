#include "transport/FtpAddress.h"

#include <QUrl>
#include <cctype>

#include "transport/FtpEndpoint.h"

namespace corvane {
namespace {

struct Scheme {
    QLatin1String prefix;
    RemoteProtocol protocol;
};

const Scheme kSchemes[] = {
    {QLatin1String("ftp://"), RemoteProtocol::kFtp},
    {QLatin1String("ftps://"), RemoteProtocol::kFtps},
    {QLatin1String("sftp://"), RemoteProtocol::kSftp},
    {QLatin1String("s3://"), RemoteProtocol::kS3},
};

// The scheme the text begins with; null for none (a plain "host/folder").
const Scheme* SchemeOf(const QString& text) {
    for (const Scheme& scheme : kSchemes) {
        if (text.startsWith(scheme.prefix, Qt::CaseInsensitive)) {
            return &scheme;
        }
    }
    return nullptr;
}

// Where the host part of an address lies: after an optional scheme, up to the first
// "/" (or the end).
struct Authority {
    qsizetype begin = 0;
    qsizetype end = 0;
};

Authority AuthorityOf(const QString& text) {
    Authority authority;
    const Scheme* scheme = SchemeOf(text);
    authority.begin = scheme ? scheme->prefix.size() : 0;
    authority.end = text.indexOf(QLatin1Char('/'), authority.begin);
    if (authority.end < 0) {
        authority.end = text.size();
    }
    return authority;
}

QString Decode(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

QString Encode(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

bool ParsePort(const QString& text, int& port) {
    bool ok = !text.isEmpty();
    for (const QChar c : text) {
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    port = ok ? text.toInt(&ok) : 0;
    return ok && port >= 1 && port <= 65535;
}

const qsizetype kFingerprintDigits = 64;

bool Refuse(QString* whyNot, const char* reason) {
    if (whyNot) {
        *whyNot = QString::fromLatin1(reason);
    }
    return false;
}

}  // namespace

bool IsFtpAddress(const QString& text) {
    return SchemeOf(text) != nullptr;
}

RemoteProtocol ProtocolOfAddress(const QString& text) {
    const Scheme* scheme = SchemeOf(text.trimmed());
    return scheme != nullptr ? scheme->protocol : RemoteProtocol::kFtp;
}

int DefaultPort(RemoteProtocol protocol) {
    switch (protocol) {
        case RemoteProtocol::kSftp:
            return 22;
        case RemoteProtocol::kS3:
            return 443;
        case RemoteProtocol::kFtp:
        case RemoteProtocol::kFtps:
            break;
    }
    return 21;
}

bool IsUsableFtpHost(const QString& host) {
    if (host.isEmpty()) {
        return false;
    }
    const bool ipv6 = host.contains(QLatin1Char(':'));
    const QString checked = ipv6 ? host : QString::fromLatin1(QUrl::toAce(host));
    if (checked.isEmpty()) {
        return false;
    }
    for (const QChar c : checked) {
        const bool ascii = c.unicode() < 0x80;
        const bool usable = ipv6 ? ascii && (std::isxdigit(c.unicode()) || c == QLatin1Char(':') ||
                                             c == QLatin1Char('.'))
                                 : ascii && (std::isalnum(c.unicode()) || c == QLatin1Char('-') ||
                                             c == QLatin1Char('.') || c == QLatin1Char('_'));
        if (!usable) {
            return false;
        }
    }
    return true;
}

bool ParseFtpAddress(const QString& text, FtpAddress& address, QString* whyNot) {
    const Authority authority = AuthorityOf(text);
    QString hostPort = text.mid(authority.begin, authority.end - authority.begin);
    FtpAddress parsed;
    parsed.path = text.mid(authority.end);
    const Scheme* scheme = SchemeOf(text);
    parsed.protocol = scheme ? scheme->protocol : RemoteProtocol::kFtp;

    const qsizetype at = hostPort.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = hostPort.left(at);
        hostPort = hostPort.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        parsed.user = Decode(colon < 0 ? userInfo : userInfo.left(colon));
        parsed.password = colon < 0 ? QString() : Decode(userInfo.mid(colon + 1));
    }

    QString portText;
    bool hasPort = false;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const qsizetype close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return Refuse(whyNot, "bad host name");
        }
        parsed.host = hostPort.mid(1, close - 1);
        const QString after = hostPort.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':'))) {
            return Refuse(whyNot, "bad port in the address");
        }
        hasPort = !after.isEmpty();
        portText = after.mid(1);
    } else if (hostPort.count(QLatin1Char(':')) > 1) {
        parsed.host = hostPort;  // a bare IPv6 literal: no port can follow it
    } else {
        const qsizetype colon = hostPort.indexOf(QLatin1Char(':'));
        parsed.host = colon < 0 ? hostPort : hostPort.left(colon);
        hasPort = colon >= 0;
        portText = hostPort.mid(colon + 1);
    }
    if (parsed.host.isEmpty()) {
        return Refuse(whyNot, "no host name in the address");
    }
    if (hasPort && !ParsePort(portText, parsed.port)) {
        return Refuse(whyNot, "bad port in the address");
    }
    if (!IsUsableFtpHost(parsed.host)) {
        return Refuse(whyNot, "bad host name");
    }
    address = parsed;
    return true;
}

QString FtpAddressText(const FtpAddress& address) {
    QString text = kSchemes[0].prefix;
    for (const Scheme& scheme : kSchemes) {
        if (scheme.protocol == address.protocol) {
            text = scheme.prefix;
        }
    }
    if (!address.user.isEmpty()) {
        text += Encode(address.user);
        if (!address.password.isEmpty()) {
            text += QLatin1Char(':') + Encode(address.password);
        }
        text += QLatin1Char('@');
    }
    text += address.host.contains(QLatin1Char(':'))
                ? QLatin1Char('[') + address.host + QLatin1Char(']')
                : address.host;
    if (address.port != 0 && address.port != DefaultPort(address.protocol)) {
        text += QLatin1Char(':') + QString::number(address.port);
    }
    return text + address.path;
}

QString FtpAddressForLog(const QString& text) {
    const Authority authority = AuthorityOf(text);
    if (authority.end <= authority.begin) {
        return text;
    }
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'), authority.end - 1);
    if (at < authority.begin) {
        return text;
    }
    const qsizetype colon = text.indexOf(QLatin1Char(':'), authority.begin);
    if (colon < 0 || colon > at) {
        return text;
    }
    return text.left(colon + 1) + QStringLiteral("***") + text.mid(at);
}

FtpEndpoint FtpEndpointOfAddress(const FtpAddress& address) {
    FtpEndpoint endpoint;
    endpoint.host = address.host;
    endpoint.protocol = address.protocol;
    endpoint.port = address.port == 0 ? DefaultPort(address.protocol) : address.port;
    endpoint.user = address.user;
    endpoint.password = address.password;
    endpoint.folder = address.path.mid(1).replace(QLatin1Char('\\'), QLatin1Char('/'));
    return endpoint;
}

QByteArray NormalizedFingerprint(const QString& text) {
    QString digits = text.mid(text.lastIndexOf(QLatin1Char('=')) + 1).trimmed().toUpper();
    digits.remove(QLatin1Char(':'));
    if (digits.size() != kFingerprintDigits) {
        return {};
    }
    for (const QChar c : digits) {
        if (!c.isDigit() && (c < QLatin1Char('A') || c > QLatin1Char('F'))) {
            return {};
        }
    }
    return digits.toLatin1();
}

bool FtpEndpointOf(const QString& address, const QString& user, const QString& password, int port,
                   FtpEndpoint& endpoint, QString* whyNot) {
    FtpAddress parsed;
    if (!ParseFtpAddress(address, parsed, whyNot)) {
        return false;
    }
    endpoint = FtpEndpointOfAddress(parsed);
    if (!user.isEmpty()) {
        endpoint.user = user;
        endpoint.password = password;
    }
    // 0 and 21 are what a task holds when nobody chose a port: the address's port or
    // the protocol's default stands then.
    if (port != 0 && port != 21) {
        endpoint.port = port > 0 && port <= 65535 ? port : DefaultPort(endpoint.protocol);
    }
    return true;
}

}  // namespace corvane
