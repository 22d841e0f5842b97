#include "transport/FtpListing.h"

#include <QRegularExpression>
#include <QStringList>
#include <vector>

namespace corvane {

namespace {

struct Token {
    qsizetype start = 0;
    qsizetype end = 0;  // one past the last character
};

std::vector<Token> Tokenize(const QString& line) {
    std::vector<Token> tokens;
    qsizetype i = 0;
    const qsizetype size = line.size();
    while (i < size) {
        while (i < size && (line.at(i) == QLatin1Char(' ') || line.at(i) == QLatin1Char('\t'))) {
            ++i;
        }
        if (i >= size) {
            break;
        }
        Token token;
        token.start = i;
        while (i < size && line.at(i) != QLatin1Char(' ') && line.at(i) != QLatin1Char('\t')) {
            ++i;
        }
        token.end = i;
        tokens.push_back(token);
    }
    return tokens;
}

QStringView Text(const QString& line, const Token& token) {
    return QStringView(line).mid(token.start, token.end - token.start);
}

// Sorts a name found in a listing into an entry of the given kind, ignored or refused.
FtpListingLine Classify(const QString& name, FtpListingLine kind, QString& out) {
    if (name == QLatin1String(".") || name == QLatin1String("..")) {
        return FtpListingLine::kIgnored;
    }
    if (!IsUsableListingName(name)) {
        return FtpListingLine::kRefused;
    }
    out = name;
    return kind;
}

bool IsMonth(QStringView text) {
    static const QStringList kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    return text.size() == 3 && kMonths.contains(text.toString().toLower());
}

bool IsDay(QStringView text) {
    bool ok = false;
    const int day = text.toInt(&ok);
    return ok && day >= 1 && day <= 31;
}

bool IsTimeOrYear(QStringView text) {
    static const QRegularExpression kTimeOrYear(QStringLiteral("^(?:\\d{1,2}:\\d{2}|\\d{4})$"));
    return kTimeOrYear.match(text).hasMatch();
}

// "drwxr-xr-x 2 user group 4096 Jan 1 12:00 name": the name is everything after the
// one blank that follows the time (or year), so names with blanks survive.
FtpListingLine ParseUnixLine(const QString& line, const std::vector<Token>& tokens, QString& name) {
    static const QRegularExpression kMode(QStringLiteral("^[-dlbcps][-rwxsStTl]{9}[.+@]?$"));
    if (tokens.size() < 7 || !kMode.match(Text(line, tokens[0])).hasMatch()) {
        return FtpListingLine::kIgnored;
    }
    // Owner or group may be missing, so find the date by its shape.
    for (size_t i = 2; i + 2 < tokens.size(); ++i) {
        if (!IsMonth(Text(line, tokens[i])) || !IsDay(Text(line, tokens[i + 1])) ||
            !IsTimeOrYear(Text(line, tokens[i + 2]))) {
            continue;
        }
        QString entry = line.mid(tokens[i + 2].end + 1);
        const QChar type = line.at(tokens[0].start);
        if (type == QLatin1Char('d')) {
            return Classify(entry, FtpListingLine::kFolder, name);
        }
        if (type == QLatin1Char('l')) {
            const qsizetype arrow = entry.indexOf(QLatin1String(" -> "));
            if (arrow >= 0) {
                entry.truncate(arrow);
            }
            return Classify(entry, FtpListingLine::kFile, name);
        }
        if (type == QLatin1Char('-')) {
            return Classify(entry, FtpListingLine::kFile, name);
        }
        return FtpListingLine::kIgnored;  // devices, pipes, sockets
    }
    return FtpListingLine::kIgnored;
}

// "01-02-20  10:00AM  <DIR>  name" or "01-02-20 10:00AM 1234 name".
FtpListingLine ParseDosLine(const QString& line, const std::vector<Token>& tokens, QString& name) {
    static const QRegularExpression kDate(QStringLiteral("^\\d{1,2}[-/]\\d{1,2}[-/]\\d{2,4}$"));
    static const QRegularExpression kTime(QStringLiteral("^\\d{1,2}:\\d{2}(?:[AaPp][Mm])?$"));
    static const QRegularExpression kSize(QStringLiteral("^[\\d,.]+$"));
    if (tokens.size() < 4 || !kDate.match(Text(line, tokens[0])).hasMatch() ||
        !kTime.match(Text(line, tokens[1])).hasMatch()) {
        return FtpListingLine::kIgnored;
    }
    size_t kindIndex = 2;
    const QString meridiem = Text(line, tokens[2]).toString().toUpper();
    if (meridiem == QLatin1String("AM") || meridiem == QLatin1String("PM")) {
        kindIndex = 3;  // "10:00 AM"
    }
    if (kindIndex + 1 >= tokens.size()) {
        return FtpListingLine::kIgnored;
    }
    const QStringView kind = Text(line, tokens[kindIndex]);
    const QString entry = line.mid(tokens[kindIndex + 1].start);
    if (kind.compare(QLatin1String("<DIR>"), Qt::CaseInsensitive) == 0) {
        return Classify(entry, FtpListingLine::kFolder, name);
    }
    if (kSize.match(kind).hasMatch()) {
        return Classify(entry, FtpListingLine::kFile, name);
    }
    return FtpListingLine::kIgnored;
}

}  // namespace

bool IsUsableListingName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
        return false;
    }
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7f) {
            return false;
        }
    }
    return true;
}

FtpListingLine ParseMlsdLine(const QString& line, QString& name) {
    // Facts hold no blanks; the first blank ends them and the rest is the name.
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0) {
        return FtpListingLine::kIgnored;
    }
    const QString entry = line.mid(blank + 1);
    FtpListingLine kind = FtpListingLine::kFile;
    const QStringList facts = line.left(blank).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& fact : facts) {
        const qsizetype equals = fact.indexOf(QLatin1Char('='));
        if (equals < 0 || fact.left(equals).compare(QLatin1String("type"), Qt::CaseInsensitive)) {
            continue;
        }
        const QString type = fact.mid(equals + 1).toLower();
        if (type == QLatin1String("dir")) {
            kind = FtpListingLine::kFolder;
        } else if (type == QLatin1String("cdir") || type == QLatin1String("pdir")) {
            return FtpListingLine::kIgnored;
        } else if (type == QLatin1String("file") || type.startsWith(QLatin1String("os.unix=sl")) ||
                   type == QLatin1String("os.unix=symlink")) {
            kind = FtpListingLine::kFile;
        } else {
            return FtpListingLine::kIgnored;  // devices and other special entries
        }
    }
    return Classify(entry, kind, name);
}

FtpListingLine ParseListLine(const QString& line, QString& name) {
    const std::vector<Token> tokens = Tokenize(line);
    if (tokens.empty()) {
        return FtpListingLine::kIgnored;
    }
    const QChar first = line.at(tokens[0].start);
    if (first.isDigit()) {
        return ParseDosLine(line, tokens, name);
    }
    return ParseUnixLine(line, tokens, name);
}

}  // namespace corvane
