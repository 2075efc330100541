#pragma once
// Where Form1's outer frame goes at start-up, from the place stored at the
// last close. The window comes back as it was left when that fits the
// desktop; otherwise it is made to fit: a size larger than the screen it is
// on is reduced (keeping the proportion), a frame not wholly on the desktop
// is moved onto the screen it overlaps most (or the nearest one).

#include <QList>
#include <QRect>

namespace RestoredFrame {

inline constexpr double kDefaultLeft = 1000;
inline constexpr double kDefaultTop = 1000;
inline constexpr double kDefaultWidth = 10440;

// left, top, width: the stored twips (15 per pixel), as read. A non-finite
// position gives the default position, a non-finite or non-positive width
// the default width. The height is aspectRatio times the width. `screens`
// are the available areas of the screens in pixels; with none, the frame is
// only kept within a sane range. Returns the outer frame in pixels; every
// conversion saturates, so no stored number can overflow it.
QRect restoredFrame(
    double left, double top, double width, float aspectRatio, const QList<QRect>& screens);

} // namespace RestoredFrame
