#include "log/LogLine.h"

#include <locale.h>
#include <algorithm>
#include <cwchar>

#include "log/Log.h"

namespace corvane {

namespace {

// Room for the longest stamp (127 characters) and its terminating NUL.
constexpr int kStampBufferSize = 128;

// The locale that the user's environment names (LC_ALL, LC_TIME, LANG), made once. The
// process-wide locale is not used: a front end that never calls setlocale() would
// otherwise stamp lines in the "C" locale. When the environment names a locale that is
// not installed, the "C" locale stands in.
locale_t UserLocale() {
    static const locale_t locale = [] {
        tzset();
        locale_t made = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
        if (made == static_cast<locale_t>(0)) {
            made = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        }
        return made;
    }();
    return locale;
}

}  // namespace

int LogTextColour(const QString& text) {
    int colour = kLogBlack;
    if (text.startsWith(QLatin1String("    "))) {
        colour = kLogCyan;
    } else if (text.startsWith(QLatin1String("  "))) {
        colour = kLogBlue;
    }
    if (text.contains(QLatin1String("Error: ")) || text.contains(QLatin1String("error: "))) {
        colour = kLogRed;
    }
    if (text.contains(QLatin1String("Warning: ")) || text.contains(QLatin1String("warning: "))) {
        colour = kLogDarkGreen;
    }
    return colour;
}

bool NeedsTimeStamp(const QString& text) {
    return !text.isEmpty() && text.front() != QLatin1Char(' ');
}

QString LogTimeStamp(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
    // The wide form yields Unicode whatever character set the locale uses.
    wchar_t buffer[kStampBufferSize];
    const size_t length = wcsftime_l(buffer, kStampBufferSize, L"%c: ", &local, UserLocale());
    return QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
}

QString CutLogText(const QString& text) {
    qsizetype units = 0;
    int characters = 0;
    while (units < text.size() && characters < kMaxLogLineLength) {
        const bool pair = text.at(units).isHighSurrogate() && units + 1 < text.size() &&
                          text.at(units + 1).isLowSurrogate();
        units += pair ? 2 : 1;
        ++characters;
    }
    return text.left(units);
}

LogLine MakeLogLine(const QString& text, std::time_t now) {
    const QString cut = CutLogText(text);
    LogLine line;
    line.textColour = LogTextColour(cut);
    line.backColour = kLogWhite;
    line.text = NeedsTimeStamp(cut) ? LogTimeStamp(now) + cut : cut;
    for (QChar& c : line.text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            c = QLatin1Char(' ');
        }
    }
    return line;
}

QString EncodeLogItem(const LogLine& line) {
    const auto header = [](int colour) {
        return QChar(static_cast<char16_t>(std::clamp(colour, 0, 0xFFFE) + 1));
    };
    QString item;
    item.reserve(line.text.size() + 2);
    item.append(header(line.textColour));
    item.append(header(line.backColour));
    item.append(line.text);
    return item;
}

LogLine DecodeLogItem(const QString& item) {
    LogLine line;
    if (item.size() >= 1) {
        line.textColour = item.at(0).unicode() - 1;
    }
    if (item.size() >= 2) {
        line.backColour = item.at(1).unicode() - 1;
    }
    if (item.size() >= 3) {
        line.text = item.mid(2);
    }
    return line;
}

}  // namespace corvane
