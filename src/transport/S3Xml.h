#pragma once

// Reading the XML answers of an S3-compatible service: a page of an object listing
// (ListObjectsV2), the id of a new multipart upload, and the code and message of an
// error. Answers are small (a listing page holds at most 1,000 keys), so each is parsed
// whole. Nothing here trusts the text: a missing element reads as empty.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace corvane {

struct S3ListPage {
    QStringList keys;      // Contents/Key: whole object keys
    QStringList prefixes;  // CommonPrefixes/Prefix: "folders" when a delimiter was given
    bool truncated = false;
    QString nextToken;  // NextContinuationToken of a truncated page
};

// False when `xml` is no well-formed ListBucketResult.
[[nodiscard]] bool ParseS3ListPage(const QByteArray& xml, S3ListPage& page);

// The text of the first element named `name` anywhere in `xml`; empty when none.
QString S3ElementText(const QByteArray& xml, QStringView name);

// "<Code>: <Message>" of an Error document; empty when `xml` holds no error code.
QString S3ErrorText(const QByteArray& xml);

}  // namespace corvane
