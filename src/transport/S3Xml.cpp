#include "transport/S3Xml.h"

#include <QXmlStreamReader>

namespace corvane {

bool ParseS3ListPage(const QByteArray& xml, S3ListPage& page) {
    page = S3ListPage();
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != QLatin1String("ListBucketResult")) {
        return false;
    }
    // Contents/Key and CommonPrefixes/Prefix are told apart by their parent; the
    // result's own Prefix (what was asked) is a direct child and is not an entry.
    QString parent;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && (reader.name() == QLatin1String("Contents") ||
                                      reader.name() == QLatin1String("CommonPrefixes"))) {
            parent.clear();
        }
        if (!reader.isStartElement()) {
            continue;
        }
        const QStringView name = reader.name();
        if (name == QLatin1String("Contents") || name == QLatin1String("CommonPrefixes")) {
            parent = name.toString();
        } else if (name == QLatin1String("Key") && parent == QLatin1String("Contents")) {
            page.keys << reader.readElementText();
        } else if (name == QLatin1String("Prefix") && parent == QLatin1String("CommonPrefixes")) {
            page.prefixes << reader.readElementText();
        } else if (name == QLatin1String("IsTruncated") && parent.isEmpty()) {
            page.truncated = reader.readElementText() == QLatin1String("true");
        } else if (name == QLatin1String("NextContinuationToken") && parent.isEmpty()) {
            page.nextToken = reader.readElementText();
        }
    }
    return !reader.hasError();
}

QString S3ElementText(const QByteArray& xml, QStringView name) {
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == name) {
            return reader.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    return QString();
}

QString S3ErrorText(const QByteArray& xml) {
    const QString code = S3ElementText(xml, u"Code");
    if (code.isEmpty()) {
        return QString();
    }
    const QString message = S3ElementText(xml, u"Message");
    return message.isEmpty() ? code : code + QLatin1String(": ") + message;
}

}  // namespace corvane
