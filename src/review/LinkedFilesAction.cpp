#include "review/LinkedFilesAction.h"

#include <set>
#include <utility>

LinkedFilesAction::LinkedFilesAction(const ReviewModel& model)
    : MarkedFileSteps(model)
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
                leftAlone(file->shownPath, QStringLiteral("skipped: ") + reason, true);
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
            addToPlan(file->found.identity.size);
            m_keptNow.emplace(keeper->found.path, keeper->found.identity);
            m_plan.push_back(std::move(planned));
        }
    }
}

void LinkedFilesAction::actOn(int index)
{
    const Planned& planned = m_plan[size_t(index)];
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
        leftAlone(planned.shownPath,
            (skipped ? QStringLiteral("skipped: ") : QString()) + outcome.reason, skipped);
        return;
    }
    kept = outcome.keptNow;
    acted(planned.id, planned.found.path, outcome.freed ? planned.found.identity.size : 0);
    m_clonesMade += outcome.method == LinkReplacement::Method::Clone ? 1 : 0;
    LinkReplacement::Linked linked{planned.found.path, outcome.method, outcome.placed, planned.kept,
        outcome.keptNow, planned.found.identity, outcome.accessedNs};
    m_replaced.push_back({planned.id, planned.found.identity, std::move(linked)});
}

QString LinkedFilesAction::confirmationText() const
{
    QString text = QStringLiteral("Replace %1 (%2) with links to the copies that stay? Every "
                                  "name keeps working.")
                       .arg(filesText(total()), sizeText(totalBytes()));
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
    if (!notDone().empty()) {
        text += QStringLiteral("\n%1 more will be left alone; the report says why.")
                    .arg(filesText(int(notDone().size())));
    }
    return text;
}

QString LinkedFilesAction::summaryText() const
{
    const int done = int(actedIds().size());
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
                   .arg(filesText(done), how, sizeText(freedBytes()));
    }
    const int skipped = skippedCount();
    const int failed = failedCount();
    if (skipped > 0)
        text += QStringLiteral("\n%1 left alone.").arg(filesText(skipped));
    if (failed > 0)
        text += QStringLiteral("\n%1 could not be replaced.").arg(filesText(failed));
    return text;
}
