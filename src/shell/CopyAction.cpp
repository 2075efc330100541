#include "shell/CopyAction.h"

#include "handling/DuplicateAction.h"
#include "shell/Desktop.h"

void CopyAction::apply(PairWalk& walk, Side side, int row, const Window& window)
{
    if (!walk.pairOnShow())
        return;
    // Copies: the folder picker of a move turns the event loop, and the walk
    // may leave the pair meanwhile.
    const QString path = walk.pathOf(side);
    const QString searchFolder = walk.searchFolder();
    const std::optional<FileIdentity> compared = walk.identityOf(side);
    Desktop* desktop = window.desktop;
    // The other copy is what makes this one a duplicate: when either file
    // changed or went away since the pair was compared (also while the folder
    // picker was open), nothing is done and the walk shows the pair again.
    const DuplicateAction::Outcome outcome = DuplicateAction::Apply(
        row, path, searchFolder,
        [desktop](
            const QString& file, QString* error) { return desktop->moveToTrash(file, error); },
        [&] {
            return desktop->browseForFolder(
                window.owner, QStringLiteral("Select A Directory"), searchFolder);
        },
        [&walk] { return walk.pairUnchanged(); }, compared ? &*compared : nullptr);
    if (!walk.pairOnShow())
        return;
    if (!outcome.message.isEmpty() && window.message)
        window.message(outcome.message);
    if (!outcome.removeEntry && window.parkFocus)
        window.parkFocus();
    walk.actOn(side,
        !outcome.removeEntry    ? PairWalk::ActOutcome::Refused
            : outcome.countBack ? PairWalk::ActOutcome::EntryDropped
                                : PairWalk::ActOutcome::EntryRemoved);
}
