#include "review/ThumbnailCache.h"

#include "review/PictureForView.h"

namespace {

// Requests beyond this many are dropped oldest first: they belong to rows
// that scrolled away, and are asked for again if they come back.
constexpr size_t kQueueLimit = 256;
// About 64 MB of small pictures.
constexpr int kCacheBytes = 64 * 1024 * 1024;

} // namespace

ThumbnailCache::ThumbnailCache(QSize box, Decode decode, QObject* parent)
    : QObject(parent)
    , m_box(box)
    , m_decode(std::move(decode))
    , m_cache(kCacheBytes)
{
    m_worker = std::thread([this] { work(); });
}

ThumbnailCache::~ThumbnailCache()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    m_worker.join();
}

QImage ThumbnailCache::thumbnail(const QByteArray& path)
{
    if (const QImage* cached = m_cache.object(path))
        return *cached;
    if (m_failed.contains(path))
        return QImage();
    std::lock_guard lock(m_mutex);
    if (m_asked.contains(path)) {
        // Asked again: move it to the front of the work.
        auto it = std::find(m_queue.begin(), m_queue.end(), path);
        if (it != m_queue.end()) {
            m_queue.erase(it);
            m_queue.push_back(path);
        }
        return QImage();
    }
    m_asked.insert(path);
    m_queue.push_back(path);
    while (m_queue.size() > kQueueLimit) {
        m_asked.remove(m_queue.front());
        m_queue.pop_front();
    }
    m_wake.notify_one();
    return QImage();
}

int ThumbnailCache::decodedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_decoded;
}

void ThumbnailCache::work()
{
    for (;;) {
        QByteArray path;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            path = m_queue.back();
            m_queue.pop_back();
        }
        const QImage image = fittedPicture(m_decode(path), m_box);
        {
            std::lock_guard lock(m_mutex);
            ++m_decoded;
            if (m_stop)
                return;
        }
        QMetaObject::invokeMethod(
            this, [this, path, image] { deliver(path, image); }, Qt::QueuedConnection);
    }
}

void ThumbnailCache::deliver(const QByteArray& path, const QImage& image)
{
    {
        std::lock_guard lock(m_mutex);
        m_asked.remove(path);
    }
    if (image.isNull())
        m_failed.insert(path);
    else
        m_cache.insert(
            path, new QImage(image), int(qMin<qsizetype>(image.sizeInBytes(), kCacheBytes)));
    emit ready(path);
}
