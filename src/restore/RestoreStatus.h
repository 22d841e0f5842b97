#pragma once

// How one line of the restore list compares the live object with its stored copy, and
// the texts the restore-data dialog shows for it. Pure functions of the record; they
// may run on any thread.

#include <QString>
#include <QtGlobal>
#include <optional>

#include "model/RestoreItem.h"

namespace corvane {

enum class RestoreStatus { kNone, kIdentical, kNewer, kOlder, kDeleted };

// True for the lines of registry keys and contacts (source starting with "HKEY_",
// "Contact:" or "Contacts: all"): they carry no times and no status.
bool IsRegistryOrContactLine(const RestoreItem& item);

// The rules, tested in this order: registry or contact line -> kNone; no live object
// -> kDeleted; a stored link whose live link holds the same text (sameLink) ->
// kIdentical, another link or object takes the time rules with kNone for equal times;
// same size and same time -> kIdentical; live time later -> kNewer; earlier -> kOlder;
// same time with another size -> kNone. Times compare in whole seconds (a missing time
// counts as 0), sizes as 64-bit numbers.
RestoreStatus StatusOf(const RestoreItem& item);

// "identical", "newer", "older", "deleted"; empty for kNone.
QString StatusText(RestoreStatus status);

// The "Source file name" column: "file not found" when the live object is gone, else
// the source name.
QString SourceColumnText(const RestoreItem& item);

// A time column: the present time as the short date and the time without seconds;
// empty when the time is missing.
QString TimeColumnText(const std::optional<qint64>& time);

}  // namespace corvane
