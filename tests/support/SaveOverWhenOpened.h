#pragma once
// Another program saving over a file at the worst moment, for real: a write
// lease on the file makes the next open of it (by the code under test) wait;
// while it waits, the file `replacement` is renamed over the file's name, as
// editors save, and only then may the open go on. The opener thus holds the
// old file while its name already belongs to the new one.

#include <QString>

#include <atomic>
#include <thread>

class SaveOverWhenOpened {
public:
    SaveOverWhenOpened(QString path, QString replacement);
    ~SaveOverWhenOpened();
    SaveOverWhenOpened(const SaveOverWhenOpened&) = delete;
    SaveOverWhenOpened& operator=(const SaveOverWhenOpened&) = delete;

    // False when no lease could be taken here; why() says so.
    bool active() const { return m_fd >= 0; }
    QString why() const { return m_why; }
    // The rename happened while an open of the file was waiting.
    bool savedOver() const { return m_savedOver; }

private:
    void watch();
    QString m_path;
    QString m_replacement;
    QString m_why;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_savedOver{false};
    std::thread m_thread;
};
