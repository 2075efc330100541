#pragma once
// A second Corvane for tests: a forked child process that takes turns at a
// scratch folder as another instance would, while the test goes on as the
// first. The child reports on a pipe ('h' when it holds the folder, 'r' as
// it gives it back) and ends with _exit, never returning into the test.

#include "search/ScratchTurn.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

class SecondProcess {
public:
    // Starts body in a child process; its argument is the write end of the pipe.
    explicit SecondProcess(const std::function<void(int report)>& body)
    {
        if (::pipe(m_pipe) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(m_pipe[0]);
            body(m_pipe[1]);
            ::_exit(0);
        }
        ::close(m_pipe[1]);
    }
    ~SecondProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_pipe[0] >= 0)
            ::close(m_pipe[0]);
    }
    SecondProcess(const SecondProcess&) = delete;
    SecondProcess& operator=(const SecondProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // The next report of the child, or 0 when none came within the time.
    char nextReport(int timeoutMilliseconds = 30000)
    {
        pollfd wait{m_pipe[0], POLLIN, 0};
        char report = 0;
        if (::poll(&wait, 1, timeoutMilliseconds) == 1 && ::read(m_pipe[0], &report, 1) == 1)
            return report;
        return 0;
    }

    // Waits for the child to end; its exit code, or -1.
    int exitCode()
    {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid)
            return -1;
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Child side: waits for a turn at folder (exit code 2 when none comes).
    static void takeTurn(ScratchTurn& turn)
    {
        while (turn.poll() == ScratchTurn::State::Waiting)
            ::usleep(10000);
        if (!turn.held())
            ::_exit(2);
    }

    // Child side: holds the folder for `milliseconds`, marking its ticket as
    // working unless `working` is false (a process that stopped).
    static void holdFor(const QString& folder, int milliseconds, bool working, int report,
        qint64 stallMilliseconds = ScratchTurn::kStallMilliseconds)
    {
        ScratchTurn turn(folder, stallMilliseconds);
        takeTurn(turn);
        tell(report, 'h');
        QElapsedTimer held;
        held.start();
        while (held.elapsed() < milliseconds) {
            ::usleep(20000);
            if (working)
                turn.stamp();
        }
        // Told first: whoever gets the folder next finds the report waiting.
        tell(report, 'r');
        turn.release();
    }

    static void tell(int report, char what)
    {
        if (::write(report, &what, 1) != 1)
            ::_exit(3);
    }

private:
    int m_pipe[2] = {-1, -1};
    pid_t m_pid = -1;
    bool m_reaped = false;
};
