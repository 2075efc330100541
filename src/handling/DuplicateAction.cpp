#include "handling/DuplicateAction.h"

#include "handling/FileActions.h"

namespace {

DuplicateAction::Outcome refused(const QString& message)
{
    return {false, true, message};
}

// The sentence naming the file, then the reason the system gave.
QString failureText(QString text, const QString& reason)
{
    if (!reason.isEmpty())
        text += QStringLiteral("\n\n") + reason;
    return text;
}

} // namespace

DuplicateAction::Outcome DuplicateAction::Apply(int row, const QString& path,
    const QString& searchFolder, const Trash& trash, const PickFolder& pickFolder)
{
    switch (row) {
    case RecycleRow: {
        QString reason;
        const bool done = trash ? trash(path, &reason) : FileActions::RecycleFile(path, &reason);
        return RecycleOutcome(path, done, reason);
    }
    case DeleteRow: {
        QString reason;
        const bool done = FileActions::DeleteFilePermanently(path, &reason);
        return DeleteOutcome(path, done, reason);
    }
    case MoveRow:
        return MoveToFolder(path, pickFolder ? pickFolder() : QString(), searchFolder);
    default:
        return {};
    }
}

DuplicateAction::Outcome DuplicateAction::MoveToFolder(
    const QString& path, const QString& chosenFolder, const QString& searchFolder)
{
    if (chosenFolder.isEmpty())
        return {};
    const QString folder = chosenFolder + QLatin1Char('/');
    if (folder == searchFolder)
        return refused(QStringLiteral("Can't move to same folder."));
    QString reason;
    switch (FileActions::MoveFileNoReplace(path, folder, &reason)) {
    case FileActions::MoveResult::Moved:
        return {};
    case FileActions::MoveResult::AlreadyExists:
        return refused(QStringLiteral("File already exists."));
    case FileActions::MoveResult::Failed:
        break;
    }
    return refused(
        failureText(QStringLiteral("%1 could not be moved to %2.").arg(path, folder), reason));
}

DuplicateAction::Outcome DuplicateAction::RecycleOutcome(
    const QString& path, bool done, const QString& reason)
{
    if (done)
        return {};
    return refused(
        failureText(QStringLiteral("%1 could not be moved to the trash.").arg(path), reason));
}

DuplicateAction::Outcome DuplicateAction::DeleteOutcome(
    const QString& path, bool done, const QString& reason)
{
    if (done)
        return {};
    return refused(failureText(QStringLiteral("%1 could not be deleted.").arg(path), reason));
}
