#include "review/WholeFolderSearch.h"

#include <QElapsedTimer>
#include <QMetaObject>

WholeFolderSearch::WholeFolderSearch(Engine engine, QObject* parent)
    : QObject(parent)
    , m_engine(std::move(engine))
    , m_alive(std::make_shared<std::atomic<bool>>(true))
{
}

WholeFolderSearch::~WholeFolderSearch()
{
    *m_alive = false;
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool WholeFolderSearch::start(const WholeFolderRequest& request)
{
    if (m_running || !m_engine)
        return false;
    if (m_thread.joinable())
        m_thread.join();
    m_running = true;
    m_stop = false;
    m_thread = std::thread([this, request, alive = m_alive] {
        QElapsedTimer sinceReport;
        sinceReport.start();
        const auto report = [this, &sinceReport, alive](std::int64_t done, std::int64_t total) {
            // A few reports a second are enough for a progress bar.
            if (sinceReport.elapsed() < 50 && done != total)
                return;
            sinceReport.restart();
            QMetaObject::invokeMethod(
                this,
                [this, done, total, alive] {
                    if (*alive)
                        emit progress(done, total);
                },
                Qt::QueuedConnection);
        };
        FinderResult result = m_engine(request, m_stop, report);
        if (m_stop)
            result.cancelled = true;
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result), alive] {
                if (!*alive)
                    return;
                m_running = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void WholeFolderSearch::cancel()
{
    m_stop = true;
}
