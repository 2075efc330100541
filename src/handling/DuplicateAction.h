#pragma once
// What a press of cmdDelete1 or cmdDelete2 does to the chosen copy, without
// any window: Form1 passes the selected action row, the copy's path and the
// desktop's trash and folder picker, and acts on the outcome:
//   removeEntry false -> keep the entry in List1 and park the focus on Command1;
//   countBack true    -> subtract 1 from DeletedCount;
//   message not empty -> show it in the owner-centred box titled "Corvane".
// A trash, delete or move that did not happen is never counted as done.

#include "files/FileIdentity.h"

#include <QString>

#include <functional>

class DuplicateAction {
public:
    // Rows of cboOptions.
    enum Row { RecycleRow = 0, DeleteRow = 1, MoveRow = 2 };

    struct Outcome {
        bool removeEntry = true;
        bool countBack = false;
        QString message;
    };

    using Trash = std::function<bool(const QString& path, QString* error)>;
    // Shows the folder picker; the chosen folder without a trailing "/" (except
    // "/" itself), or "" when cancelled.
    using PickFolder = std::function<QString()>;
    // True while both copies of the pair on show are still the files that
    // were compared.
    using PairCheck = std::function<bool()>;

    // Applies the action of `row` to the file at `path`. searchFolder ends
    // with "/". Row -1 (the action field shows text that is none of the rows)
    // touches no file: the entry leaves the list but is not counted. Before
    // any file is touched, and again once the folder picker has closed (the
    // user may have changed either copy meanwhile), pairUnchanged must hold;
    // otherwise nothing is done and the entry stays. With searched (who the
    // file was when the search examined it) the trash checks the file once
    // more right before it takes the name, and a delete takes the file under
    // a private name, checks it there and only then unlinks it, so a file
    // saved over the name after the pair check is never deleted.
    static Outcome Apply(int row, const QString& path, const QString& searchFolder,
        const Trash& trash, const PickFolder& pickFolder, const PairCheck& pairUnchanged = {},
        const FileIdentity* searched = nullptr);

    // The move once the picker has answered with chosenFolder. The chosen
    // folder is the searched one when it is the same folder on disk, however
    // it is written (a symbolic link, "..", a doubled "/").
    static Outcome MoveToFolder(
        const QString& path, const QString& chosenFolder, const QString& searchFolder);

    static Outcome RecycleOutcome(const QString& path, bool done, const QString& reason);
    // The message for an action refused because the pair changed; path is the copy acted on.
    static QString changedPairText(const QString& path);
    static Outcome DeleteOutcome(const QString& path, bool done, const QString& reason);
};
