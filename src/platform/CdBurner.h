#pragma once

// Offers the CD staging folder to a disc burning program at the end of a run whose
// destination lies on an optical disc. The program is started detached, with a new
// data project holding the staging folder's content (so the disc's root gets what the
// destination folder would have held); the run does not wait for the disc and does
// not examine the outcome.
//
// Any thread may call these functions.

#include <QString>
#include <QStringList>

namespace corvane {

// The first of brasero, k3b and xfburn found on PATH, as a full path; empty for none.
QString FindCdBurningProgram();

// The arguments that open a data project of `program` (by its file name) with the
// entries directly inside `stagingFolder`, in name order: brasero "--data", k3b
// "--data", xfburn "--data-composition", then the entries' full paths.
QStringList CdBurningArguments(const QString& program, const QString& stagingFolder);

// Starts the program found by FindCdBurningProgram detached on the staging folder.
// Logs "  Warning: no CD burning program found" when there is none and
// "  Warning: cannot start CD burning program %s" when it does not start.
void StartCdBurning(const QString& stagingFolder);

}  // namespace corvane
