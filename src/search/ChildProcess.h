#pragma once
// One program started with posix_spawn and an argument list (no shell), its
// standard input and outputs on /dev/null. posix_spawn starts the child
// without copying the page tables of the caller (vfork semantics), so the
// cost of a start does not grow with the pictures the window holds, as a
// fork-based start does.

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <sys/types.h>

class ChildProcess {
public:
    ChildProcess() = default;
    // A child still running is killed and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program cannot be started (missing, not executable).
    bool start(const QString& program, const QStringList& arguments);

    // Waits at most `milliseconds` for the child to end; true when it has
    // ended (also when it ended before the call).
    bool waitForFinished(int milliseconds);
    bool running() const { return m_pid > 0 && !m_finished; }

    // Ends a running child with SIGKILL and reaps it, waiting at most
    // `milliseconds` for it to go.
    void kill(int milliseconds);

    // Processor time (user + system, all its threads, ended ones included)
    // the running child has used so far, in nanoseconds; -1 when it cannot
    // be read (child ended, or no access).
    qint64 processorNanoseconds() const;
    // Threads the running child has now; 0 when it cannot be read.
    int threadCount() const;

    // After the child ended: whether it exited by itself, and its exit code.
    bool exitedNormally() const { return m_finished && m_normalExit; }
    int exitCode() const { return m_exitCode; }

private:
    bool reap(bool block);

    pid_t m_pid = -1;
    int m_pidfd = -1; // -1 when the kernel has no pidfd_open
    bool m_finished = false;
    bool m_normalExit = false;
    int m_exitCode = -1;
};
