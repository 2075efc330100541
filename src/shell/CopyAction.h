#pragma once
// What a press of cmdDelete1 or cmdDelete2 does, whichever pair walk shows the
// pair: the action the field shows is applied to that copy while both copies
// are still the files that were compared, a delete or trash takes only the
// very file the walk compared (never one saved under its name since), and the
// walk goes on with what became of the copy.

#include "search/PairWalk.h"

#include <QString>

#include <functional>

class Desktop;
class QWidget;

class CopyAction {
public:
    // What the main window lends.
    struct Window {
        Desktop* desktop = nullptr; // trash and folder picker
        QWidget* owner = nullptr; // of the folder picker
        std::function<void(const QString& text)> message; // the owner-centred box
        std::function<void()> parkFocus; // the copy stays: focus back to the holder
    };

    // Acts on one copy of the pair `walk` shows, with the action of `row` (the
    // row the action field shows, -1 for none). Does nothing when no pair is
    // on show; shows no box and resumes no walk when the pair left the screen
    // while the folder picker was open (search cancelled, window closed).
    static void apply(PairWalk& walk, Side side, int row, const Window& window);
};
