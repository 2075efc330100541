#include "review/WholeFolderSearch.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <optional>

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
        std::optional<FinderProgress::Stage> stage;
        const auto report = [this, &sinceReport, &stage, alive](const FinderProgress& p) {
            // A few reports a second are enough for a progress bar; a new
            // stage and a stage's end always show.
            if (sinceReport.elapsed() < 50 && p.done != p.total && p.stage == stage)
                return;
            stage = p.stage;
            sinceReport.restart();
            QMetaObject::invokeMethod(
                this,
                [this, p, alive] {
                    if (*alive)
                        emit progress(p);
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
