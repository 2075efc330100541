#include "review/MarkedFilesAction.h"

#include "handling/FileActions.h"
#include "review/FileRecheck.h"

#include <QFile>

#include <set>

#include <sys/stat.h>

MarkedFilesAction::MarkedFilesAction(
    const ReviewModel& model, Kind kind, const QString& targetFolder)
    : MarkedFileSteps(model)
    , m_kind(kind)
    , m_targetFolder(targetFolder)
{
    // A file can be listed twice: in its identical group and in a same-photo
    // group. It is acted on once (first where it is marked), and every
    // listing of it leaves the review with it.
    std::set<QByteArray> planned;
    for (int g = 0; g < model.groupCount(); ++g) {
        const ReviewGroup& group = model.group(g);
        Keepers keepers;
        std::vector<Planned> marked;
        for (int f = 0; f < int(group.files.size()); ++f) {
            const ReviewFile& file = group.files[size_t(f)];
            if (!model.isMarked({g, f}))
                keepers.files.push_back(file.found);
            else if (planned.insert(file.found.path).second)
                marked.push_back({int(m_keepers.size()), file.id, file.found, file.shownPath});
        }
        if (marked.empty())
            continue;
        m_keepers.push_back(std::move(keepers));
        for (Planned& p : marked) {
            addToPlan(p.found.identity.size);
            m_plan.push_back(std::move(p));
        }
    }
}

bool MarkedFilesAction::keeperStillThere(Keepers& keepers)
{
    if (keepers.allChanged)
        return false;
    const int count = int(keepers.files.size());
    for (int i = 0; i < count; ++i) {
        const int k = (keepers.lastUnchanged + i) % count;
        const FoundFile& f = keepers.files[size_t(k)];
        if (changeSinceSearch(f.path, f.identity).isEmpty()) {
            keepers.lastUnchanged = k;
            return true;
        }
    }
    keepers.allChanged = true;
    return false;
}

void MarkedFilesAction::leave(const Planned& planned, const QString& reason, bool skipped)
{
    leftAlone(planned.shownPath, reason, skipped);
}

void MarkedFilesAction::actOn(int index)
{
    const Planned& planned = m_plan[size_t(index)];
    // The copy that stays is checked first: acting on a duplicate of a file
    // that has gone would take the last copy of the picture.
    if (!keeperStillThere(m_keepers[size_t(planned.group)])) {
        leave(
            planned, QStringLiteral("skipped: the copy that stays changed since the search"), true);
        return;
    }
    const QByteArray& raw = planned.found.path;
    if (const QString change = changeSinceSearch(raw, planned.found.identity); !change.isEmpty()) {
        leave(planned, QStringLiteral("skipped: ") + change, true);
        return;
    }
    if (!survivesAsText(raw)) {
        leave(planned, QStringLiteral("skipped: its name is not valid UTF-8"), true);
        return;
    }
    struct stat before { };
    const bool lastLink = ::lstat(raw.constData(), &before) == 0 && before.st_nlink == 1;
    const QString path = QFile::decodeName(raw);
    QString error;
    bool done = false;
    // Trash and delete look at the file once more at the moment they act on it.
    const auto checked = [&](FileActions::CheckedResult result) {
        if (result == FileActions::CheckedResult::Changed) {
            leave(planned, QStringLiteral("skipped: ") + error, true);
            return false;
        }
        done = result == FileActions::CheckedResult::Done;
        return true;
    };
    switch (m_kind) {
    case Kind::Trash:
        // The trash cannot first take the file under a private name as the
        // delete does: its record would then name the private name, and
        // restoring from the trash would bring the file back under it. The
        // file is looked at once more right before its name is handed to
        // the trash, the narrowest window the trash allows.
        if (!checked(FileActions::RecycleFileIfUnchanged(raw, planned.found.identity, &error)))
            return;
        break;
    case Kind::Delete:
        if (!checked(FileActions::DeleteFileIfUnchanged(raw, planned.found.identity, &error)))
            return;
        break;
    case Kind::Move: {
        if (parentFolder(raw) == QFile::encodeName(m_targetFolder)) {
            leave(planned, QStringLiteral("skipped: it is in that folder already"), true);
            return;
        }
        switch (FileActions::MoveFileNoReplace(path, m_targetFolder, &error)) {
        case FileActions::MoveResult::Moved:
            done = true;
            break;
        case FileActions::MoveResult::AlreadyExists:
            error = QStringLiteral("a file of that name is already in %1").arg(m_targetFolder);
            break;
        case FileActions::MoveResult::Failed:
        case FileActions::MoveResult::SourceChanged: // *error says where both copies are
            break;
        }
        break;
    }
    }
    if (!done) {
        leave(planned, error.isEmpty() ? QStringLiteral("failed") : error, false);
        return;
    }
    acted(planned.id, planned.found.path,
        m_kind == Kind::Delete && lastLink ? planned.found.identity.size : 0);
    m_actedBytes += planned.found.identity.size;
}

QString MarkedFilesAction::confirmationText(
    Kind kind, int count, std::int64_t bytes, const QString& folder)
{
    const QString what
        = filesText(count) + QStringLiteral(" (") + sizeText(bytes) + QLatin1Char(')');
    switch (kind) {
    case Kind::Trash:
        return QStringLiteral("Move %1 to the trash?").arg(what);
    case Kind::Delete:
        return QStringLiteral("Delete %1 permanently? This cannot be undone.").arg(what);
    case Kind::Move:
        return QStringLiteral("Move %1 to %2?").arg(what, folder);
    }
    return QString();
}

QString MarkedFilesAction::summaryText() const
{
    const int acted = int(actedIds().size());
    QString text;
    switch (m_kind) {
    // With nothing done there is no count or space to speak of.
    case Kind::Trash:
        text = acted == 0
            ? QStringLiteral("No file went to the trash.")
            : QStringLiteral("%1 (%2) went to the trash; emptying the trash frees that space.")
                  .arg(filesText(acted), sizeText(m_actedBytes));
        break;
    case Kind::Delete:
        text = acted == 0
            ? QStringLiteral("No file was deleted.")
            : QStringLiteral("%1 deleted; %2 freed.").arg(filesText(acted), sizeText(freedBytes()));
        break;
    case Kind::Move:
        text = acted == 0 ? QStringLiteral("No file was moved.")
                          : QStringLiteral("%1 (%2) moved to %3.")
                                .arg(filesText(acted), sizeText(m_actedBytes), m_targetFolder);
        break;
    }
    const int skipped = skippedCount();
    const int failed = failedCount();
    if (skipped > 0)
        text += QStringLiteral("\n%1 left alone because of changes since the search.")
                    .arg(filesText(skipped));
    if (failed > 0)
        text += QStringLiteral("\n%1 could not be done.").arg(filesText(failed));
    return text;
}
