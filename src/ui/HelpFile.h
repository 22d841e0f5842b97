#pragma once

// The program's help: its README, installed as share/doc/corvane/README.md, lying beside
// the program, or, for a program run from its build folder, the one of its source tree.

#include <QUrl>

namespace corvane {

// The help file as a local URL; empty when no copy can be found.
QUrl HelpUrl();

}  // namespace corvane
