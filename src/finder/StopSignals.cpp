#include "finder/StopSignals.h"

#include <csignal>
#include <mutex>

namespace finder {

namespace {

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void onStopSignal(int signal)
{
    g_signal = signal;
    g_stop.store(true);
}

} // namespace

const std::atomic<bool>* stopOnTerminationSignals()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        // The second signal finds the default action again.
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    });
    return &g_stop;
}

void endBySignalIfOneCame()
{
    const int signal = g_signal;
    if (signal == 0)
        return;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace finder
