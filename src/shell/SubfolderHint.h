#pragma once
// The line under the main window after a search that compared no file while
// the folder's subfolders hold pictures: the neighbour search reads only the
// chosen folder, so a first search of ~/Pictures would otherwise end with
// "Found no duplicates" and no word of the pictures one level down. The
// subfolders are counted in a thread of their own (names only, up to
// kLimit pictures), so the window never waits for a large tree.

#include "finder/FolderScan.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class SubfolderHint : public QObject {
    Q_OBJECT
public:
    static constexpr std::int64_t kLimit = 10000;

    explicit SubfolderHint(QObject* parent = nullptr);
    ~SubfolderHint() override;

    // Counts the pictures in folder's subfolders; ready() follows with the
    // line, unless forget() or another look() comes first. No line comes
    // when the subfolders hold no picture.
    void look(const QString& folder);
    // Drops any count under way; its line never comes.
    void forget();

    // The line for a count; empty when there is nothing to say.
    static QString lineFor(const finder::SubfolderPictures& count);

signals:
    void ready(const QString& line);

private:
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop;
    quint64 m_generation = 0;
};
