#pragma once
// Runs a whole-folder search for the window: the search works in a thread of
// its own, the window's thread stays free for repaints and the cancel button,
// and progress and the result come back on the window's thread as signals.

#include "finder/Finder.h"
#include "finder/FinderResult.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

struct WholeFolderRequest {
    QByteArray folder; // absolute, as the file system spells it
    bool recursive = false;
    bool samePhoto = false; // also the same photo saved differently
    // The search window's choices: folders searched beside folder, folders
    // whose files are protected, left-out patterns and the smallest size.
    QList<QByteArray> moreFolders{};
    QList<QByteArray> protectedFolders{};
    QList<QByteArray> excludes{};
    std::int64_t minimumSize = 0;
};

class WholeFolderSearch : public QObject {
    Q_OBJECT
public:
    // What searches: called on the search thread; reports progress as the
    // search library does (its stage, counts and fraction, never falling) and polls stop.
    using Progress = std::function<void(const FinderProgress& progress)>;
    using Engine = std::function<FinderResult(const WholeFolderRequest& request,
        const std::atomic<bool>& stop, const Progress& progress)>;

    explicit WholeFolderSearch(Engine engine, QObject* parent = nullptr);
    ~WholeFolderSearch() override; // stops a running search and waits for it

    // Starts a search; false when one is running already.
    bool start(const WholeFolderRequest& request);
    // Asks the running search to stop; finished() follows with cancelled set.
    void cancel();
    bool isRunning() const { return m_running; }
    // Another engine for the next searches (tests, benchmarks).
    void setEngine(Engine engine) { m_engine = std::move(engine); }

    // Corvane's search library.
    static Engine finderEngine();

signals:
    // Every stage's first report and the last of each stage come through;
    // between them, a few a second.
    void progress(const FinderProgress& progress);
    void finished(const FinderResult& result);

private:
    Engine m_engine;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    bool m_running = false;
    // Shared with the thread, so that a late progress report after this object
    // is gone goes nowhere.
    std::shared_ptr<std::atomic<bool>> m_alive;
};
