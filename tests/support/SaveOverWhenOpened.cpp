#include "SaveOverWhenOpened.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

SaveOverWhenOpened::SaveOverWhenOpened(QString path, QString replacement)
    : m_path(std::move(path))
    , m_replacement(std::move(replacement))
{
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    // The lease break is announced by a signal; SIGURG is ignored by default,
    // and the break is seen by polling instead.
    if (m_fd < 0 || ::fcntl(m_fd, F_SETSIG, SIGURG) != 0
        || ::fcntl(m_fd, F_SETLEASE, F_WRLCK) != 0) {
        m_why = QStringLiteral("no write lease here: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_thread = std::thread([this] { watch(); });
}

SaveOverWhenOpened::~SaveOverWhenOpened()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void SaveOverWhenOpened::watch()
{
    // F_GETLEASE reports the weaker lease being asked for once an open waits.
    while (!m_stop && ::fcntl(m_fd, F_GETLEASE) == F_WRLCK)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_stop)
        return;
    m_savedOver = ::rename(QFile::encodeName(m_replacement).constData(),
                      QFile::encodeName(m_path).constData())
        == 0;
    ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
}
