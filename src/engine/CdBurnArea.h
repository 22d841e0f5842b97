#pragma once

// The CD staging folder. A destination on a mounted optical disc cannot be written
// directly; when the task allows burning ("useXPBurn"), the run writes what belongs on
// the disc into the staging folder instead, at the same place below it as below the
// disc's mount point, and a burning program is offered the folder at the end (see
// platform/CdBurner.h).
//
// Pure functions of the mount table and the data folder; any thread may call them.

#include <QString>

namespace corvane {

// "<data folder>/cd-burn/", always with the trailing "/". Not created here.
QString CdBurnArea();

// True when the path lies on a mounted optical disc (platform/Volumes.h). False for an
// empty path.
bool IsCdDrivePath(const QString& path);

// The staging place of a path on a disc: CdBurnArea() followed by the path below the
// mount point that holds it. A trailing "/" of the path is kept, so a folder maps to a
// folder ("/media/cd/Backup/" → "<data>/cd-burn/Backup/"). The disc's mount point
// itself maps to CdBurnArea(). Callers ask IsCdDrivePath first; a path on no mount at
// all maps as if "/" held it.
QString MapToCdBurnArea(const QString& path);

}  // namespace corvane
