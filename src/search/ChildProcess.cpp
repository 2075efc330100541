#include "search/ChildProcess.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Polling step when the kernel cannot hand out a pidfd.
constexpr long kPollNanoseconds = 250'000;

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// The fields of /proc/<pid>/stat after the command name, which is in
// parentheses and may itself hold blanks and parentheses: field 3 (state)
// comes first.
QList<QByteArray> statFields(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.read(4096);
    const qsizetype end = line.lastIndexOf(')');
    if (end < 0)
        return {};
    return line.mid(end + 2).split(' ');
}

// Indexes into statFields(): the fields numbered as in proc(5), less three.
constexpr int kUserTicksField = 14 - 3;
constexpr int kSystemTicksField = 15 - 3;
constexpr int kThreadsField = 20 - 3;

} // namespace

ChildProcess::~ChildProcess()
{
    if (running())
        kill(2000);
    if (m_pidfd >= 0)
        ::close(m_pidfd);
}

bool ChildProcess::start(const QString& program, const QStringList& arguments)
{
    if (m_pid > 0)
        return false;
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> encoded;
    encoded.reserve(std::size_t(arguments.size()));
    for (const QString& argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.constData()));
    for (QByteArray& argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // No pipes: a chatty child can never block on a full one.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling and no blocked signals,
    // whatever the window process has set up.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error
        = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0 || pid <= 0)
        return false;
    m_pid = pid;
    // The child is not reaped before this, so its number cannot belong to
    // another process yet.
    m_pidfd = openPidfd(pid);
    return true;
}

bool ChildProcess::reap(bool block)
{
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    m_finished = true;
    if (result == m_pid && WIFEXITED(status)) {
        m_normalExit = true;
        m_exitCode = WEXITSTATUS(status);
    }
    return true;
}

bool ChildProcess::waitForFinished(int milliseconds)
{
    if (m_pid <= 0)
        return false;
    if (m_finished)
        return true;
    QElapsedTimer elapsed;
    elapsed.start();
    while (!reap(false)) {
        const qint64 left = milliseconds - elapsed.elapsed();
        if (left <= 0)
            return false;
        if (m_pidfd >= 0) {
            pollfd ready{m_pidfd, POLLIN, 0};
            ::poll(&ready, 1, int(left));
        } else {
            const timespec step{0, kPollNanoseconds};
            ::nanosleep(&step, nullptr);
        }
    }
    return true;
}

qint64 ChildProcess::processorNanoseconds() const
{
    if (!running())
        return -1;
    // The process's CPU clock counts in nanoseconds; /proc counts in ticks of
    // ten milliseconds, too coarse for a limit of a few of them.
    clockid_t clock;
    timespec used{};
    if (::clock_getcpuclockid(m_pid, &clock) == 0 && ::clock_gettime(clock, &used) == 0)
        return qint64(used.tv_sec) * 1'000'000'000 + used.tv_nsec;
    const QList<QByteArray> fields = statFields(m_pid);
    if (fields.size() <= kSystemTicksField)
        return -1;
    const qint64 ticks
        = fields[kUserTicksField].toLongLong() + fields[kSystemTicksField].toLongLong();
    return ticks * (1'000'000'000 / ::sysconf(_SC_CLK_TCK));
}

int ChildProcess::threadCount() const
{
    if (!running())
        return 0;
    const QList<QByteArray> fields = statFields(m_pid);
    return fields.size() > kThreadsField ? fields[kThreadsField].toInt() : 0;
}

void ChildProcess::kill(int milliseconds)
{
    if (!running())
        return;
    ::kill(m_pid, SIGKILL);
    waitForFinished(milliseconds);
}
