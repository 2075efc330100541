#pragma once
// Places a top-level window by its outer frame (title bar and borders
// included), the way Corvane's placement rules are written.
//
// On X11 the window manager adds the frame only after the window is mapped,
// so until then Qt takes the frame to be the client area: a rule applied to
// that size puts a box a title bar off. Here the frame is first estimated
// from the owner's (framed by the same manager, as a rule with the same
// decorations), and the rule is applied once more with the real frames as
// soon as the manager has framed both windows.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace FramePlacement {

// Where a frame of size `ownFrame` goes (its top-left, screen pixels), given
// the owner's outer frame (empty when there is no owner).
using Rule = std::function<QPoint(const QRect& ownerFrame, QSize ownFrame)>;

// The margins the window manager put around `window`'s client area; zero
// while it has not framed the window (or never frames it).
QMargins frameMargins(const QWidget* window);

// What QWidget::move must be given so that the frame of a window with
// client size `client`, framed with `margins`, lands where `rule` puts it.
// A window that is already created but not yet framed is moved by its
// client area (Qt does not know the frame yet), one that is not created or
// already framed by its frame.
QPoint moveTarget(const Rule& rule, const QRect& ownerFrame, QSize client, QMargins margins,
    bool movedByClientArea);

// Applies `rule` to `window` now, with the frame estimated from `owner`
// when `window` is not framed yet, and again from the real frames once the
// manager has framed it (given up after two seconds: a manager without
// frames). `owner` may be null. Call it before or right after showing.
void place(QWidget* window, const QWidget* owner, Rule rule);

} // namespace FramePlacement
