#pragma once

#include <QtGlobal>

namespace corvane {

// True when the session has a bus: an address in the environment or the per-user bus
// socket. Without one, the bus libraries would try to start a bus for an X display,
// which takes time and leaves a bus behind.
bool SessionBusExists();

}  // namespace corvane
