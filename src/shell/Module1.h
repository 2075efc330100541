#pragma once
// Module1: keeps the main window's outer height at a fixed proportion of its
// outer width while the user drags a border or a corner.
//
// X11 has no sizing message that exposes the drag rectangle. Where the window
// manager honours size hints, an aspect hint (X11AspectHint) holds the shape
// while the user drags. Beyond that the hook watches the window's geometry
// changes, works out which edge or corner moved and, once the drag pauses or
// ends (a fraction of a second), requests the corrected frame; window
// managers that refuse client geometry during their drag get the request
// again afterwards. The rule itself (applySizingRule)
// is a pure function over a rectangle, tested on its own.
//
// Only one window is hooked at a time. The hook goes away with UnhookWindow
// or when the hooked window is destroyed.

#include <QList>
#include <QRect>

class QObject;

namespace Module1 {

// Screen pixels; right and bottom are exclusive, so width = right - left.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Which edge or corner a drag moves.
enum Edge {
    NoEdge = 0,
    LeftEdge = 1,
    RightEdge = 2,
    TopEdge = 3,
    TopLeftCorner = 4,
    TopRightCorner = 5,
    BottomEdge = 6,
    BottomLeftCorner = 7,
    BottomRightCorner = 8,
};

// Adjusts a drag rectangle so that height = aspectRatio * width. Side edges
// and bottom corners move the bottom; the top and bottom edges and the
// top-right corner move the right edge; the top-left corner moves the left
// edge. Halves round to even. Codes outside 1..8 return `r` unchanged.
Rect applySizingRule(int edgeCode, Rect r, float aspectRatio);

Rect toRect(const QRect& frame);
QRect toQRect(const Rect& r);

// The edge or corner that moved between two frame geometries, NoEdge when
// nothing was resized from one side (a move, no change, both sides moved).
int edgeFromGeometryChange(const QRect& oldFrame, const QRect& newFrame);

// The edge or corner of a drag through `frames` (its start first). On each
// axis the side moved at the end counts, or, when the drag ended back in
// line on that axis, the side it moved last: a corner drag that ends along
// one axis is still a corner drag.
int edgeOfDrag(const QList<QRect>& frames);

// Hooks a top-level QWidget (Form1) or a QWindow. `aspectRatio` is read on
// every resize and must outlive the hook. Hooking another window first
// unhooks the one hooked before.
void HookWindow(QObject* window, const float* aspectRatio);

// Removes the hook; without a hook it does nothing.
void UnhookWindow(QObject* window);

// The installed hook (the event filter), nullptr while none is installed.
QObject* PrevWndProc();

} // namespace Module1
