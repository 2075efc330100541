#include "search/ScratchTurn.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How often a ticket's mark is renewed at most.
constexpr qint64 kStampIntervalMilliseconds = 500;
// A ticket nobody holds is cleared only when it is older than this: its owner
// creates it a moment before it locks it.
constexpr qint64 kDeadTicketAgeMilliseconds = 5000;
constexpr int kTicketDigits = 16;

qint64 clockMilliseconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

qint64 wallMilliseconds()
{
    return clockMilliseconds(CLOCK_REALTIME);
}

qint64 modifiedMilliseconds(const struct stat& info)
{
    return qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}

QByteArray ticketName(quint64 number)
{
    return QByteArray(ScratchTurn::kTicketPrefix)
        + QByteArray::number(number, 16).rightJustified(kTicketDigits, '0');
}

// The number of a ticket's name, or 0 for any other name.
quint64 ticketNumber(const char* name)
{
    const QByteArray text(name);
    const QByteArray prefix(ScratchTurn::kTicketPrefix);
    if (!text.startsWith(prefix) || text.size() != prefix.size() + kTicketDigits)
        return 0;
    bool ok = false;
    const quint64 number = text.mid(prefix.size()).toULongLong(&ok, 16);
    return ok ? number : 0;
}

// The scratch folders that have a turn in this process, by device and inode.
std::mutex g_foldersMutex;
std::vector<std::pair<dev_t, ino_t>> g_folders;

} // namespace

ScratchTurn::ScratchTurn(const QString& folder, qint64 stallMilliseconds)
    : m_stall(stallMilliseconds)
{
    m_folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info;
    if (m_folderFd < 0 || ::fstat(m_folderFd, &info) != 0) {
        m_state = State::Unusable;
        return;
    }
    m_device = info.st_dev;
    m_inode = info.st_ino;
    const std::lock_guard<std::mutex> guard(g_foldersMutex);
    const auto key = std::make_pair(m_device, m_inode);
    if (std::find(g_folders.begin(), g_folders.end(), key) != g_folders.end()) {
        m_state = State::Nested;
        return;
    }
    g_folders.push_back(key);
    m_registered = true;
}

ScratchTurn::~ScratchTurn()
{
    release();
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

ScratchTurn::State ScratchTurn::poll()
{
    if (m_state != State::Waiting)
        return m_state;
    const qint64 now = wallMilliseconds();
    QList<Ticket> ahead;
    quint64 highest = 0;
    if (!listTickets(m_ticket, &ahead, &highest)) {
        release();
        return m_state;
    }
    if (m_ticketFd < 0) {
        // Nobody queues: take the folder without a ticket, as nearly every
        // conversion does. A holder makes one only when someone waits (stamp()).
        if (ahead.isEmpty() && ::flock(m_folderFd, LOCK_EX | LOCK_NB) == 0) {
            m_state = State::Held;
            m_lastStamp = clockMilliseconds(CLOCK_MONOTONIC);
            return m_state;
        }
        // Numbers grow with the clock as well as with the queue, so a number
        // is never used twice, even after every ticket has gone.
        const quint64 number = std::max<quint64>(highest + 1, quint64(wallMilliseconds()) * 1000);
        if (!makeTicket(number, +1)) {
            release();
            return m_state;
        }
        m_progressAt = now;
    }
    stamp();

    QList<quint64> numbers;
    qint64 newest = 0;
    for (const Ticket& ticket : ahead) {
        numbers << ticket.number;
        newest = std::max(newest, ticket.stamp);
    }
    // A ticket leaving or joining ahead is progress too (one that died is cleared).
    if (numbers != m_lastAhead) {
        m_lastAhead = numbers;
        m_progressAt = now;
    }
    m_progressAt = std::max(m_progressAt, newest);
    // Those ahead that stopped working (a stopped process) are passed over;
    // the folder lock still keeps out one that holds the folder.
    const bool othersFirst = !ahead.isEmpty() && now - newest <= m_stall;
    if (!othersFirst && ::flock(m_folderFd, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Held;
        return m_state;
    }
    if (now - m_progressAt > m_stall) {
        release();
        m_state = State::Stalled;
    }
    return m_state;
}

bool ScratchTurn::listTickets(quint64 below, QList<Ticket>* live, quint64* highest)
{
    const int listFd = ::openat(m_folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return false;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    const qint64 now = wallMilliseconds();
    while (const dirent* item = ::readdir(dir)) {
        const quint64 number = ticketNumber(item->d_name);
        if (number == 0)
            continue;
        *highest = std::max(*highest, number);
        if (below != 0 && number >= below)
            continue;
        const int fd
            = ::openat(m_folderFd, item->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            continue;
        }
        // Its owner holds it locked for as long as it lives.
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            live->append({number, modifiedMilliseconds(info)});
            ::close(fd);
            continue;
        }
        struct stat named;
        if (now - modifiedMilliseconds(info) > kDeadTicketAgeMilliseconds
            && ::fstatat(m_folderFd, item->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == info.st_dev && named.st_ino == info.st_ino)
            ::unlinkat(m_folderFd, item->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
    return true;
}

bool ScratchTurn::makeTicket(quint64 number, int step)
{
    for (int attempt = 0; attempt < 64 && number > 0; ++attempt, number += quint64(qint64(step))) {
        const QByteArray name = ticketName(number);
        const int fd = ::openat(m_folderFd, name.constData(),
            O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::unlinkat(m_folderFd, name.constData(), 0);
            ::close(fd);
            return false;
        }
        m_ticketFd = fd;
        m_ticket = number;
        return true;
    }
    return false;
}

void ScratchTurn::stamp()
{
    const qint64 now = clockMilliseconds(CLOCK_MONOTONIC);
    if (m_lastStamp >= 0 && now - m_lastStamp < kStampIntervalMilliseconds)
        return;
    m_lastStamp = now;
    if (m_ticketFd >= 0) {
        ::futimens(m_ticketFd, nullptr);
        return;
    }
    // Held without a ticket: once others queue, show them that this process
    // works, with a ticket ahead of all of theirs.
    if (m_state != State::Held)
        return;
    QList<Ticket> live;
    quint64 highest = 0;
    if (!listTickets(0, &live, &highest) || live.isEmpty())
        return;
    quint64 lowest = highest;
    for (const Ticket& ticket : live)
        lowest = std::min(lowest, ticket.number);
    makeTicket(lowest - 1, -1);
}

void ScratchTurn::release()
{
    if (m_state == State::Held)
        ::flock(m_folderFd, LOCK_UN);
    if (m_ticketFd >= 0) {
        ::unlinkat(m_folderFd, ticketName(m_ticket).constData(), 0);
        ::close(m_ticketFd);
        m_ticketFd = -1;
    }
    if (m_registered) {
        const std::lock_guard<std::mutex> guard(g_foldersMutex);
        const auto key = std::make_pair(m_device, m_inode);
        g_folders.erase(std::remove(g_folders.begin(), g_folders.end(), key), g_folders.end());
        m_registered = false;
    }
    if (m_state != State::Nested)
        m_state = State::Unusable;
}
