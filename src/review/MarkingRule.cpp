#include "review/MarkingRule.h"

#include <compare>

namespace {

// The shared tie-breaks: older first, then shorter path, then path bytes.
std::strong_ordering tieBreak(const FoundFile& a, const FoundFile& b)
{
    if (auto c = a.identity.modifiedNs <=> b.identity.modifiedNs; c != 0)
        return c;
    if (auto c = a.path.size() <=> b.path.size(); c != 0)
        return c;
    const int bytes = a.path.compare(b.path);
    return bytes < 0 ? std::strong_ordering::less
        : bytes > 0  ? std::strong_ordering::greater
                     : std::strong_ordering::equal;
}

// True when a is a better copy to keep than b under rule.
bool keepsBetter(const FoundFile& a, const FoundFile& b, MarkingRule rule)
{
    std::strong_ordering primary = std::strong_ordering::equal;
    switch (rule) {
    case MarkingRule::KeepOldest:
    case MarkingRule::KeepBestCopy:
        break; // the tie-break starts with age
    case MarkingRule::KeepNewest:
        primary = b.identity.modifiedNs <=> a.identity.modifiedNs;
        break;
    case MarkingRule::KeepLargest:
        primary = b.identity.size <=> a.identity.size;
        break;
    case MarkingRule::KeepSmallest:
        primary = a.identity.size <=> b.identity.size;
        break;
    case MarkingRule::KeepShortestPath:
    case MarkingRule::KeepInsideFolder:
        primary = a.path.size() <=> b.path.size();
        break;
    }
    if (primary != 0)
        return primary < 0;
    return tieBreak(a, b) < 0;
}

} // namespace

QString ruleTitle(MarkingRule rule)
{
    switch (rule) {
    case MarkingRule::KeepOldest:
        return QStringLiteral("Keep the oldest");
    case MarkingRule::KeepNewest:
        return QStringLiteral("Keep the newest");
    case MarkingRule::KeepLargest:
        return QStringLiteral("Keep the largest file");
    case MarkingRule::KeepSmallest:
        return QStringLiteral("Keep the smallest file");
    case MarkingRule::KeepShortestPath:
        return QStringLiteral("Keep the shortest path");
    case MarkingRule::KeepInsideFolder:
        return QStringLiteral("Keep the copy inside a folder");
    case MarkingRule::KeepBestCopy:
        return QStringLiteral("Keep the best copy");
    }
    return QString();
}

bool isInsideFolder(const QByteArray& path, const QByteArray& folder)
{
    if (folder == "/")
        return path.startsWith('/');
    return path.size() > folder.size() + 1 && path.startsWith(folder)
        && path.at(folder.size()) == '/';
}

int keeperIndex(
    const std::vector<const FoundFile*>& files, MarkingRule rule, const QByteArray& folder)
{
    int best = -1;
    for (int i = 0; i < int(files.size()); ++i) {
        if (rule == MarkingRule::KeepInsideFolder && !isInsideFolder(files[i]->path, folder))
            continue;
        if (best < 0 || keepsBetter(*files[i], *files[best], rule))
            best = i;
    }
    return best;
}
