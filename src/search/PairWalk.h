#pragma once
// One pair of identical pictures at a time on show in the main window,
// waiting for an action on one copy. Two walks give pairs: the first design's
// neighbour search (ComparisonRun) and the walk over the groups of a
// whole-folder search (GroupPairWalk). The window acts on a copy the same way
// whichever walk shows it: it checks the pair, acts on the file the walk saw,
// then tells the walk what became of the copy.

#include "files/FileIdentity.h"
#include "search/ComparisonView.h"

#include <QString>

#include <optional>

class PairWalk {
public:
    // What became of the copy the user acted on.
    enum class ActOutcome {
        // Trashed, deleted or moved: the copy leaves the walk and the pair
        // stays counted.
        EntryRemoved,
        // The copy stays where it is (action refused or failed): the pair
        // comes again and no longer counts.
        Refused,
        // No action was chosen, so nothing was done to the copy: it leaves
        // the walk and the pair no longer counts.
        EntryDropped,
    };

    virtual ~PairWalk() = default;

    virtual bool pairOnShow() const = 0;
    // Full path of one copy of the pair on show, "" when no pair is on show.
    virtual QString pathOf(Side side) const = 0;
    // Who that copy was when the walk compared it (or the search examined
    // it); nullopt when no pair is on show. A delete or trash acts only on
    // this file, never on another one saved under the name since.
    virtual std::optional<FileIdentity> identityOf(Side side) const = 0;
    // True while both files of the pair on show are still the ones that were
    // compared; an action on either copy must not go ahead otherwise.
    virtual bool pairUnchanged() const = 0;
    // The searched folder, ending with "/": a move never goes there.
    virtual QString searchFolder() const = 0;
    // Goes on after an action on one copy of the pair on show (the file work
    // is done by the caller first). Ignored unless a pair is on show.
    virtual void actOn(Side side, ActOutcome outcome) = 0;
};
