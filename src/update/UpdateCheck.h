#pragma once
// UpdateCheck: asks the maker's site once whether a newer Corvane exists.
// CheckForUpdate() starts the background download of the home page; when the
// page names a greater version than the running one, newVersionAvailable is
// raised with the published version text. A failed download or a page that
// names no newer version raises nothing, so offline nobody waits or sees a
// message.

#include <QObject>
#include <QString>

class ucUpdates;

class UpdateCheck : public QObject {
    Q_OBJECT
public:
    static constexpr char kDownloadKey[] = "1";

    explicit UpdateCheck(QObject* parent = nullptr);

    void CheckForUpdate();

    // The download control, for its time-out and its events.
    ucUpdates* downloader() const { return m_updates; }

signals:
    // `version` is the text as published (for example "1.20").
    void newVersionAvailable(const QString& version);

private:
    void updatesReady(QString& id);

    ucUpdates* m_updates;
};
