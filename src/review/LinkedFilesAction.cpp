#include "review/LinkedFilesAction.h"

#include "review/MarkedFilesAction.h"

#include <set>

namespace {

QString filesText(int count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

QByteArray parentFolder(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

LinkedFilesAction::LinkedFilesAction(const ReviewModel& model)
{
    // Whether clones can be made, found once per folder and file system.
    std::map<std::pair<QByteArray, std::uint64_t>, bool> clones;
    std::set<QByteArray> decided;
    for (int g = 0; g < model.groupCount(); ++g) {
        const ReviewGroup& group = model.group(g);
        std::vector<const ReviewFile*> keepers;
        std::vector<const ReviewFile*> marked;
        for (int f = 0; f < int(group.files.size()); ++f) {
            const ReviewFile& file = group.files[size_t(f)];
            m_listings[file.found.path].push_back(file.id);
            if (!model.isMarked({g, f}))
                keepers.push_back(&file);
            else
                marked.push_back(&file);
        }
        // Identical groups come first: a file listed in both kinds is
        // decided in its identical group.
        for (const ReviewFile* file : marked) {
            if (!decided.insert(file->found.path).second)
                continue;
            const auto skip = [&](const QString& reason) {
                m_notDone.push_back({file->shownPath, QStringLiteral("skipped: ") + reason, true});
            };
            if (group.samePhoto) {
                skip(QStringLiteral("no byte-identical copy stays, only the same photo saved "
                                    "differently"));
                continue;
            }
            const ReviewFile* keeper = nullptr;
            bool sameDevice = false;
            for (const ReviewFile* k : keepers) {
                if (k->found.identity.device != file->found.identity.device)
                    continue;
                sameDevice = true;
                if (mayLinkTo(k->found)) {
                    keeper = k;
                    break;
                }
            }
            if (keepers.empty()) {
                skip(QStringLiteral("its group has no copy that stays"));
                continue;
            }
            if (!sameDevice) {
                skip(QStringLiteral("on another file system than the copy that stays"));
                continue;
            }
            if (!keeper) {
                skip(QStringLiteral("the copy that stays is in a protected folder"));
                continue;
            }
            const QByteArray folder = parentFolder(file->found.path);
            const auto key = std::make_pair(folder, file->found.identity.device);
            auto clone = clones.find(key);
            if (clone == clones.end())
                clone = clones.emplace(key, LinkReplacement::canClone(keeper->found.path, folder))
                            .first;
            Planned planned{file->id, file->found, file->shownPath, keeper->found.path,
                clone->second ? LinkReplacement::Method::Clone : LinkReplacement::Method::HardLink};
            m_clonesPlanned += clone->second ? 1 : 0;
            m_totalBytes += file->found.identity.size;
            m_keptNow.emplace(keeper->found.path, keeper->found.identity);
            m_plan.push_back(std::move(planned));
        }
    }
}

void LinkedFilesAction::step()
{
    if (finished())
        return;
    actOn(m_plan[size_t(m_next)]);
    ++m_next;
}

void LinkedFilesAction::runToEnd()
{
    while (!finished())
        step();
}

void LinkedFilesAction::actOn(const Planned& planned)
{
    FileIdentity& kept = m_keptNow[planned.kept];
    LinkReplacement::Request request;
    request.path = planned.found.path;
    request.expected = planned.found.identity;
    request.kept = planned.kept;
    request.keptExpected = kept;
    request.method = planned.method;
    // The confirmation spoke of hard links only when some were planned.
    request.hardLinkAllowed = hardLinksPlanned() > 0;
    const LinkReplacement::Outcome outcome = LinkReplacement::replace(request);
    if (outcome.result != LinkReplacement::Result::Done) {
        const bool skipped = outcome.result == LinkReplacement::Result::Skipped;
        m_notDone.push_back({planned.shownPath,
            (skipped ? QStringLiteral("skipped: ") : QString()) + outcome.reason, skipped});
        return;
    }
    kept = outcome.keptNow;
    m_acted.push_back(planned.id);
    for (int id : m_listings[planned.found.path])
        m_gone.push_back(id);
    m_clonesMade += outcome.method == LinkReplacement::Method::Clone ? 1 : 0;
    if (outcome.freed)
        m_freedBytes += planned.found.identity.size;
    LinkReplacement::Linked linked{planned.found.path, outcome.method, outcome.placed, planned.kept,
        outcome.keptNow, planned.found.identity, outcome.accessedNs};
    m_replaced.push_back({planned.id, planned.found.identity, std::move(linked)});
}

QString LinkedFilesAction::confirmationText() const
{
    QString text = QStringLiteral("Replace %1 (%2) with links to the copies that stay? Every "
                                  "name keeps working.")
                       .arg(filesText(total()), MarkedFilesAction::sizeText(m_totalBytes));
    if (m_clonesPlanned > 0) {
        text += (m_clonesPlanned == 1
                        ? QStringLiteral("\n1 becomes a copy-on-write clone")
                        : QStringLiteral("\n%1 become copy-on-write clones").arg(m_clonesPlanned))
            + QStringLiteral(": the blocks are shared, and a later edit of either stays apart.");
    }
    if (hardLinksPlanned() > 0) {
        text += (hardLinksPlanned() == 1
                        ? QStringLiteral("\n1 becomes a hard link")
                        : QStringLiteral("\n%1 become hard links").arg(hardLinksPlanned()))
            + QStringLiteral(", as the file system makes no clones: the two names are then one "
                             "file, and an edit through either name changes both.");
    }
    if (!m_notDone.empty()) {
        text += QStringLiteral("\n%1 more will be left alone; the report says why.")
                    .arg(filesText(int(m_notDone.size())));
    }
    return text;
}

QString LinkedFilesAction::summaryText() const
{
    const int done = int(m_acted.size());
    QString text;
    if (done == 0) {
        text = QStringLiteral("No file was replaced with a link.");
    } else {
        const int hardLinks = done - m_clonesMade;
        QString how
            = QStringLiteral("links (%1 clones, %2 hard links)").arg(m_clonesMade).arg(hardLinks);
        if (hardLinks == 0)
            how = done == 1 ? QStringLiteral("a clone") : QStringLiteral("clones");
        else if (m_clonesMade == 0)
            how = done == 1 ? QStringLiteral("a hard link") : QStringLiteral("hard links");
        text = QStringLiteral("%1 replaced with %2; %3 freed.")
                   .arg(filesText(done), how, MarkedFilesAction::sizeText(m_freedBytes));
    }
    int skipped = 0;
    for (const NotDone& n : m_notDone)
        skipped += n.skipped ? 1 : 0;
    const int failed = int(m_notDone.size()) - skipped;
    if (skipped > 0)
        text += QStringLiteral("\n%1 left alone.").arg(filesText(skipped));
    if (failed > 0)
        text += QStringLiteral("\n%1 could not be replaced.").arg(filesText(failed));
    return text;
}
