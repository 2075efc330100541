#include "handling/DuplicateAction.h"

#include "handling/FileActions.h"

#include <QFile>

#include <sys/stat.h>

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

// Both names lead to the same folder on disk (device and inode), which is
// what matters for a move, not how the names are written.
bool sameFolder(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    struct stat sa { };
    struct stat sb { };
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0
        && ::stat(QFile::encodeName(b).constData(), &sb) == 0 && S_ISDIR(sa.st_mode)
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

DuplicateAction::Outcome DuplicateAction::Apply(int row, const QString& path,
    const QString& searchFolder, const Trash& trash, const PickFolder& pickFolder,
    const PairCheck& pairUnchanged, const FileIdentity* searched)
{
    if (row != RecycleRow && row != DeleteRow && row != MoveRow)
        return {true, true, QString()};
    const auto changed = [&] { return pairUnchanged && !pairUnchanged(); };
    if (changed())
        return refused(changedPairText(path));
    switch (row) {
    case RecycleRow: {
        // The copy is looked at once more right before the trash takes its
        // name: another file saved there since the pair check stays.
        if (searched
            && changeSince(QFile::encodeName(path).constData(), *searched) != FileChange::None)
            return refused(changedPairText(path));
        QString reason;
        const bool done = trash ? trash(path, &reason) : FileActions::RecycleFile(path, &reason);
        return RecycleOutcome(path, done, reason);
    }
    case DeleteRow: {
        QString reason;
        if (searched) {
            switch (
                FileActions::DeleteFileIfUnchanged(QFile::encodeName(path), *searched, &reason)) {
            case FileActions::CheckedResult::Done:
                return {};
            case FileActions::CheckedResult::Changed:
                return refused(changedPairText(path));
            case FileActions::CheckedResult::Failed:
                return DeleteOutcome(path, false, reason);
            }
        }
        const bool done = FileActions::DeleteFilePermanently(path, &reason);
        return DeleteOutcome(path, done, reason);
    }
    default: {
        const QString chosen = pickFolder ? pickFolder() : QString();
        if (!chosen.isEmpty() && changed())
            return refused(changedPairText(path));
        return MoveToFolder(path, chosen, searchFolder);
    }
    }
}

DuplicateAction::Outcome DuplicateAction::MoveToFolder(
    const QString& path, const QString& chosenFolder, const QString& searchFolder)
{
    if (chosenFolder.isEmpty())
        return {};
    const QString folder = chosenFolder + QLatin1Char('/');
    if (sameFolder(folder, searchFolder))
        return refused(QStringLiteral("Can't move to same folder."));
    QString reason;
    switch (FileActions::MoveFileNoReplace(path, folder, &reason)) {
    case FileActions::MoveResult::Moved:
        return {};
    case FileActions::MoveResult::AlreadyExists:
        return refused(QStringLiteral("File already exists."));
    case FileActions::MoveResult::SourceChanged:
        return refused(failureText(
            QStringLiteral("%1 was replaced or changed while it was being moved to %2; the "
                           "file now under that name was left as it is.")
                .arg(path, folder),
            reason));
    case FileActions::MoveResult::Failed:
        break;
    }
    return refused(
        failureText(QStringLiteral("%1 could not be moved to %2.").arg(path, folder), reason));
}

QString DuplicateAction::changedPairText(const QString& path)
{
    return QStringLiteral("%1 was left as it is: the pair changed after it was shown.").arg(path);
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
