#include "update/UpdateCheck.h"

#include "CorvaneVersion.h"
#include "update/UpdateSite.h"
#include "update/VersionCheck.h"
#include "update/ucUpdates.h"

UpdateCheck::UpdateCheck(QObject* parent)
    : QObject(parent)
    , m_updates(new ucUpdates(this))
{
    connect(m_updates, &ucUpdates::updatesReady, this, &UpdateCheck::updatesReady);
}

void UpdateCheck::CheckForUpdate()
{
    // No local cache is kept between starts, so there is no entry to drop;
    // the fresh-fetch flag keeps proxies from answering with an old page.
    m_updates->DownloadFile(VersionCheck::versionPageUrl().toString(), ucUpdates::kFreshFetch,
        QString::fromLatin1(kDownloadKey));
}

void UpdateCheck::updatesReady(QString& /*id*/)
{
    const QString published = VersionCheck::publishedVersionText(ucUpdates::DownloadedData());
    if (VersionCheck::isNewer(QString::fromLatin1(kCorvaneVersion), published))
        emit newVersionAvailable(published);
}
