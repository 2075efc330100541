#include "update/ucUpdates.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

QByteArray& sharedData()
{
    static QByteArray data;
    return data;
}

const QChar kNul(u'\0');

// Set on a reply that the control gave up on (time-out, oversized answer),
// so the completion handler treats it as failed whatever Qt reports.
const char kAbandoned[] = "corvaneAbandoned";

} // namespace

ucUpdates::ucUpdates(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_pendingKeys(kNul)
{
}

ucUpdates::~ucUpdates()
{
    // Reads still running end silently: nobody is left to tell.
    const auto reads = m_reads;
    m_reads.clear();
    for (QNetworkReply* reply : reads) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

const QByteArray& ucUpdates::DownloadedData()
{
    return sharedData();
}

void ucUpdates::DownloadFile(QString picture_url, QVariant CacheMode, QString Key)
{
    if (!AddPendingKey(Key))
        cancelRead(Key);

    const QUrl url(picture_url, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        reportFailure(Key);
        return;
    }

    QNetworkRequest request(url);
    if (CacheMode.toInt() & kFreshFetch) {
        request.setAttribute(
            QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setRawHeader("Cache-Control", "no-cache");
        request.setRawHeader("Pragma", "no-cache");
    }

    QNetworkReply* reply = m_network->get(request);
    m_reads.insert(Key, reply);

    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kAbandoned, true);
        reply->abort();
    });
    if (m_timeoutMs > 0)
        timer->start(m_timeoutMs);

    // Progress signals are rate-limited by Qt, so the size is checked on the
    // announced length and on every arrival of data instead.
    const auto checkSize = [reply] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > kMaximumSize || reply->bytesAvailable() > kMaximumSize) {
            reply->setProperty(kAbandoned, true);
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, checkSize);
    connect(reply, &QNetworkReply::readyRead, this, checkSize);
    connect(
        reply, &QNetworkReply::finished, this, [this, reply, Key] { readFinished(reply, Key); });
}

void ucUpdates::cancelRead(const QString& key)
{
    QNetworkReply* reply = m_reads.take(key);
    if (!reply)
        return;
    // Disconnect first: abort() finishes the reply at once, and a cancelled
    // read must not report.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void ucUpdates::readFinished(QNetworkReply* reply, const QString& key)
{
    reply->deleteLater();
    if (m_reads.value(key) == reply)
        m_reads.remove(key);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool httpOk = !status.isValid() || (status.toInt() >= 200 && status.toInt() < 300);
    if (reply->error() != QNetworkReply::NoError || !httpOk
        || reply->property(kAbandoned).toBool()) {
        reportFailure(key);
        return;
    }

    sharedData() = reply->readAll();
    QString id = key;
    emit updatesReady(id);
    // A handler may have started this key again; that read is still pending.
    if (!m_reads.contains(key))
        RemovePendingKey(key);
}

void ucUpdates::reportFailure(QString key)
{
    RemovePendingKey(key);
    emit noUpdates(key);
}

bool ucUpdates::AddPendingKey(const QString& key)
{
    if (m_pendingKeys.contains(kNul + key + kNul, Qt::CaseSensitive))
        return false;
    m_pendingKeys += key + kNul;
    return true;
}

void ucUpdates::RemovePendingKey(const QString& key)
{
    // Replacing all occurrences (not one) keeps the list sound even if a key
    // ever got in twice; the surrounding NULs make "1" and "11" different.
    m_pendingKeys.replace(kNul + key + kNul, QString(kNul), Qt::CaseSensitive);
}
