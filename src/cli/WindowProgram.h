#pragma once

// The window program that desktop launchers and scheduled jobs made from the command line
// start.

#include <QString>

namespace corvane {

// The `corvane` program beside this one when it is there, else "corvane" from PATH.
QString WindowProgram();

}  // namespace corvane
