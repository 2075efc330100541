#include "review/ThumbnailCache.h"

#include "review/PictureForView.h"

#include <sys/stat.h>

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

QByteArray ThumbnailCache::keyOf(const QByteArray& path)
{
    struct stat st { };
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return QByteArray();
    const std::int64_t fields[5]
        = {std::int64_t(st.st_dev), std::int64_t(st.st_ino), std::int64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec), std::int64_t(st.st_mtim.tv_nsec)};
    return path + '\0' + QByteArray(reinterpret_cast<const char*>(fields), sizeof fields);
}

bool ThumbnailCache::failed(const QByteArray& path) const
{
    const QByteArray key = keyOf(path);
    return key.isEmpty() || m_failed.contains(key);
}

QImage ThumbnailCache::thumbnail(const QByteArray& path)
{
    const QByteArray key = keyOf(path);
    // Not there now (in the trash, say): nothing to make until it is back.
    if (key.isEmpty())
        return QImage();
    if (const QImage* cached = m_cache.object(key))
        return *cached;
    if (m_failed.contains(key))
        return QImage();
    std::lock_guard lock(m_mutex);
    if (m_asked.contains(key)) {
        // Asked again: move it to the front of the work.
        auto it = std::find_if(m_queue.begin(), m_queue.end(),
            [&key](const Request& request) { return request.key == key; });
        if (it != m_queue.end()) {
            Request request = std::move(*it);
            m_queue.erase(it);
            m_queue.push_back(std::move(request));
        }
        return QImage();
    }
    m_asked.insert(key);
    m_queue.push_back({path, key});
    while (m_queue.size() > kQueueLimit) {
        m_asked.remove(m_queue.front().key);
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
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            request = m_queue.back();
            m_queue.pop_back();
        }
        const QImage image = fittedPicture(m_decode(request.path), m_box);
        // A failure counts only for the file that was asked for: one that
        // went away or changed meanwhile is asked for again as it is then.
        const bool gone = image.isNull() && keyOf(request.path) != request.key;
        {
            std::lock_guard lock(m_mutex);
            ++m_decoded;
            if (m_stop)
                return;
        }
        QMetaObject::invokeMethod(
            this, [this, request, image, gone] { deliver(request, image, gone); },
            Qt::QueuedConnection);
    }
}

void ThumbnailCache::deliver(const Request& request, const QImage& image, bool gone)
{
    {
        std::lock_guard lock(m_mutex);
        m_asked.remove(request.key);
    }
    if (image.isNull()) {
        if (!gone)
            m_failed.insert(request.key);
    } else {
        m_cache.insert(
            request.key, new QImage(image), int(qMin<qsizetype>(image.sizeInBytes(), kCacheBytes)));
    }
    emit ready(request.path);
}
