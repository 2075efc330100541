#pragma once
// The three things Corvane does to one copy of a duplicate pair: send it to
// the trash, delete it, or move it to another folder. Each returns whether it
// happened and, when not, a reason the user can read; none ever asks a
// question, and none ever loses the file when it fails.

#include "files/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <functional>

class FileActions {
public:
    enum class MoveResult {
        Moved,
        AlreadyExists,
        Failed,
        // The file now under the source's name is not the one that was
        // copied (another program saved over it, edited it or removed it
        // meanwhile): it was left alone, and the copy stays in the target
        // folder. *error says where both are.
        SourceChanged,
    };

    // Seams for the move: what happens right before the file takes its final
    // name, right before the source is checked and removed, and between that
    // check and the removal; and whether to behave as on a file system that
    // lacks an atomic no-replace rename.
    struct MoveOptions {
        std::function<void()> beforePublish;
        std::function<void()> beforeRemoveSource;
        std::function<void()> afterSourceChecked;
        bool withoutNoReplaceRename = false;
    };

    // Sends the file to the freedesktop.org trash (the home trash, created
    // when missing, or the trash folder of the file's own mount). False with
    // the reason in *error when nothing was trashed.
    static bool RecycleFile(const QString& path, QString* error);

    // Unlinks the file, no trash and no question. False with the reason in
    // *error when the file is still there.
    static bool DeleteFilePermanently(const QString& path, QString* error);

    // What became of a trash or delete that was told who the file must be.
    enum class CheckedResult {
        Done,
        // The file under that name is no longer the one the search saw: it
        // was left as it is (under its own name, or where *error says).
        Changed,
        Failed,
    };

    // The trash and the delete above, for a file the search has seen: they act
    // only while the file at path (any bytes) is still `expected`. The trash
    // checks right before it hands the name over; the delete first takes the
    // file under a private name in its own folder, checks that name and only
    // then unlinks it, so a file saved over the name meanwhile is never lost.
    static CheckedResult RecycleFileIfUnchanged(
        const QByteArray& path, const FileIdentity& expected, QString* error);
    static CheckedResult DeleteFileIfUnchanged(
        const QByteArray& path, const FileIdentity& expected, QString* error);

    // Moves a regular file into targetFolder under its own name and never
    // replaces a file there, not even one that appears while the move runs.
    // Across file systems the file is copied, synced and compared before the
    // source is removed, and the source is removed only while it is still the
    // very file that was copied (same device, inode, size and times): it is
    // first renamed to a private name in its folder, that name is checked, and
    // only then unlinked. On AlreadyExists and Failed the source is untouched
    // and nothing is left behind in the target folder; *error says why (and,
    // should another file take the source's name during that last check,
    // where the source waits under its private name).
    static MoveResult MoveFileNoReplace(const QString& source, const QString& targetFolder,
        QString* error, const MoveOptions& options);
    static MoveResult MoveFileNoReplace(
        const QString& source, const QString& targetFolder, QString* error);

    // The same move to a full target path, whose name may differ from the
    // source's (a file coming back from the trash under its own name).
    static MoveResult MoveFileToNoReplace(
        const QString& source, const QString& target, QString* error, const MoveOptions& options);
    static MoveResult MoveFileToNoReplace(
        const QString& source, const QString& target, QString* error);

    // Takes the file at path out of sight under a private name in its own
    // folder (kRemovingPrefix and a random number), never replacing anything
    // there; 0 or errno, with the private name in *claimed.
    static int ClaimUnderPrivateName(const QByteArray& path, QByteArray* claimed);
    // Gives a claimed file its name back unless another file took the name
    // meanwhile; 0 or errno (EEXIST: the file keeps its private name).
    static int GiveNameBack(const QByteArray& claimed, const QByteArray& path);

    // Prefix of the hidden file a move across file systems copies into.
    static constexpr char kTemporaryPrefix[] = ".corvane-move-";
    // Prefix of the private name a source takes for the instant between its
    // last check and its removal.
    static constexpr char kRemovingPrefix[] = ".corvane-remove-";
};
