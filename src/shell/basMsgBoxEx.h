#pragma once
// The message box Corvane shows over its main window: centred horizontally
// on a point, its top at a given height, kept on the virtual desktop and
// above other windows.

#include <QPoint>
#include <QSize>
#include <QString>

class QWidget;

namespace basMsgBoxEx {

inline constexpr int kStyleInformation = 64;

// Where a box of outer size `box` goes when its centre is asked at x and its
// top at y on a virtual desktop of size `desktop`: the right bound is applied
// to the centre before half the width is taken off, then both edges are kept
// at 1 or more.
QPoint MsgBoxPosition(int x, int y, QSize box, QSize desktop);

// Shows the box (title, information icon for style 64, one OK button) modal
// to owner and returns the button that closed it.
int MsgBoxEx(QWidget* owner, const QString& prompt, const QString& title, int style, int x, int y);

} // namespace basMsgBoxEx
