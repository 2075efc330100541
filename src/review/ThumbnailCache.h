#pragma once
// The review list's small pictures, made on demand in one worker thread and
// kept in a cache of bounded size. The list asks only for the rows it paints,
// so opening a list of thousands of groups decodes nothing up front; the
// latest requests are served first, so scrolling fast does not queue work
// for rows long gone from the screen.

#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_set>

class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    using Decode = std::function<QImage(const QByteArray& path)>;

    // box: the largest size of a small picture. decode runs in the worker.
    explicit ThumbnailCache(QSize box, Decode decode, QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The small picture of path when it is ready; otherwise a null image and
    // the picture is made in the background (ready() follows). A file that
    // cannot be decoded is remembered as failed() and not tried again.
    QImage thumbnail(const QByteArray& path);
    bool failed(const QByteArray& path) const { return m_failed.contains(path); }
    QSize box() const { return m_box; }

    // How many pictures the worker has decoded so far (for tests and benchmarks).
    int decodedCount() const;

signals:
    void ready(const QByteArray& path);

private:
    void work();
    void deliver(const QByteArray& path, const QImage& image);

    const QSize m_box;
    const Decode m_decode;
    QCache<QByteArray, QImage> m_cache;
    QSet<QByteArray> m_failed;
    QSet<QByteArray> m_asked; // queued or being made

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QByteArray> m_queue; // newest at the back, served first
    bool m_stop = false;
    int m_decoded = 0;
    std::thread m_worker;
};
