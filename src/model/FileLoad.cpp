#include "model/FileLoad.h"

namespace corvane {

FileLoad FileLoad::Damaged(const QString& reason, qint64 line, qint64 column) {
    FileLoad load;
    load.state = State::kDamaged;
    // XML readers end their reasons with a full stop, which reads badly before the place.
    QString text = reason.trimmed();
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    if (line > 0) {
        text += QStringLiteral(" at line %1, column %2").arg(line).arg(column);
    }
    load.error = text;
    return load;
}

}  // namespace corvane
