#pragma once
// SIGINT and SIGTERM as a stop request for a search run from a terminal or a
// script: the first one sets a stop flag, so that the search ends its running
// decodes and writes what it learned to the cache; a second one ends the
// process at once, as usual.

#include <atomic>

namespace finder {

// Installs the handlers (once) and gives the flag they set.
const std::atomic<bool>* stopOnTerminationSignals();

// After a search stopped by a signal: ends the process by that signal, so
// that its parent sees how it ended. Returns when no signal came.
void endBySignalIfOneCame();

} // namespace finder
