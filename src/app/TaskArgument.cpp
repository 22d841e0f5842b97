#include "app/TaskArgument.h"

namespace corvane {

QString TrimTaskArgument(const QString& argument) {
    qsizetype begin = 0;
    qsizetype end = argument.size();
    while (begin < end && argument[begin] == QLatin1Char('/')) {
        ++begin;
    }
    while (begin < end && argument[begin] == QLatin1Char('"')) {
        ++begin;
    }
    while (end > begin && argument[end - 1] == QLatin1Char('"')) {
        --end;
    }
    return argument.mid(begin, end - begin);
}

}  // namespace corvane
