#pragma once
// ucUpdates: Corvane's invisible download control. It fetches URLs in the
// background, one read per caller-chosen key, and reports each outcome as a
// signal on the thread that owns it. The bytes of the last completed download
// are kept process-wide in DownloadedData(); a handler of updatesReady must
// read them there before a later download replaces them.
//
// Every failure (a URL that cannot be fetched, a network error, an HTTP error
// status, an answer that is too large, no answer within the time-out) ends in
// noUpdates with the key and leaves DownloadedData() untouched.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

class QNetworkAccessManager;
class QNetworkReply;

class ucUpdates : public QObject {
    Q_OBJECT
public:
    // CacheMode flag: fetch a fresh copy from the server, never from a cache.
    static constexpr int kFreshFetch = 16;
    static constexpr int kDefaultTimeoutMs = 30000;
    // Larger answers are refused, so a misbehaving server cannot exhaust memory.
    static constexpr qint64 kMaximumSize = 16 * 1024 * 1024;

    explicit ucUpdates(QObject* parent = nullptr);
    ~ucUpdates() override;

    // Starts reading picture_url under Key; a read already running under the
    // same key is cancelled and only the new one reports. Never fails to the
    // caller: a URL that cannot even be started raises noUpdates at once.
    void DownloadFile(QString picture_url, QVariant CacheMode, QString Key);

    // The keys in progress: one NUL, then every key followed by one NUL.
    QString PendingKeys() const { return m_pendingKeys; }

    // Bytes of the last download that completed, shared by every instance.
    static const QByteArray& DownloadedData();

    // Time allowed for one read from start to the last byte, in milliseconds;
    // 0 or less means no limit of the control's own.
    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

signals:
    // Declared in this order on purpose: the order is part of the control's contract.
    void updatesReady(QString& id);
    void noUpdates(QString& id);

private:
    bool AddPendingKey(const QString& key);
    void RemovePendingKey(const QString& key);
    void cancelRead(const QString& key);
    void readFinished(QNetworkReply* reply, const QString& key);
    void reportFailure(QString key);

    QNetworkAccessManager* m_network;
    QHash<QString, QNetworkReply*> m_reads;
    QString m_pendingKeys;
    int m_timeoutMs = kDefaultTimeoutMs;
};
