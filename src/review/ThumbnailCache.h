#pragma once
// The review list's small pictures, made on demand in one worker thread and
// kept in a cache of bounded size. The list asks only for the rows it paints,
// so opening a list of thousands of groups decodes nothing up front; the
// latest requests are served first, so scrolling fast does not queue work
// for rows long gone from the screen.
//
// A picture is kept under its path and the file's identity (device, inode,
// size, modification time): a file that was away for a while (in the trash
// until Put back brought it back) or was rewritten is asked for anew, and a
// decode that failed because the file went away or changed meanwhile is not
// remembered as a failure.

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
    // Whether path has no small picture: it cannot be decoded, or it is not
    // there now.
    bool failed(const QByteArray& path) const;
    QSize box() const { return m_box; }

    // How many pictures the worker has decoded so far (for tests and benchmarks).
    int decodedCount() const;

signals:
    void ready(const QByteArray& path);

private:
    struct Request {
        QByteArray path;
        QByteArray key; // path and the file's identity when asked
    };
    // The key of path as the file is now; empty when it is not there.
    static QByteArray keyOf(const QByteArray& path);
    void work();
    void deliver(const Request& request, const QImage& image, bool gone);

    const QSize m_box;
    const Decode m_decode;
    QCache<QByteArray, QImage> m_cache;
    QSet<QByteArray> m_failed; // keys
    QSet<QByteArray> m_asked; // keys queued or being made

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue; // newest at the back, served first
    bool m_stop = false;
    int m_decoded = 0;
    std::thread m_worker;
};
