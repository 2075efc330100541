#pragma once
// The three things Corvane does to one copy of a duplicate pair: send it to
// the trash, delete it, or move it to another folder. Each returns whether it
// happened and, when not, a reason the user can read; none ever asks a
// question, and none ever loses the file when it fails.

#include <QString>

#include <functional>

class FileActions {
public:
    enum class MoveResult { Moved, AlreadyExists, Failed };

    // Seams for the move: what happens right before the file takes its final
    // name, and whether to behave as on a file system that lacks an atomic
    // no-replace rename.
    struct MoveOptions {
        std::function<void()> beforePublish;
        bool withoutNoReplaceRename = false;
    };

    // Sends the file to the freedesktop.org trash (the home trash, created
    // when missing, or the trash folder of the file's own mount). False with
    // the reason in *error when nothing was trashed.
    static bool RecycleFile(const QString& path, QString* error);

    // Unlinks the file, no trash and no question. False with the reason in
    // *error when the file is still there.
    static bool DeleteFilePermanently(const QString& path, QString* error);

    // Moves a regular file into targetFolder under its own name and never
    // replaces a file there, not even one that appears while the move runs.
    // Across file systems the file is copied, synced and compared before the
    // source is removed. On AlreadyExists and Failed the source is untouched
    // and nothing is left behind in the target folder; *error says why.
    static MoveResult MoveFileNoReplace(const QString& source, const QString& targetFolder,
        QString* error, const MoveOptions& options);
    static MoveResult MoveFileNoReplace(
        const QString& source, const QString& targetFolder, QString* error);

    // Prefix of the hidden file a move across file systems copies into.
    static constexpr char kTemporaryPrefix[] = ".corvane-move-";
};
