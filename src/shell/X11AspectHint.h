#pragma once
// The aspect-ratio size hint of a top-level window on X11 (ICCCM
// WM_NORMAL_HINTS), so that a window manager that honours hints (openbox
// does) keeps the main window's shape while the user drags a border, rather
// than only after the drag pauses.
//
// The hint constrains the client area, while Corvane's rule is on the outer
// frame (outer height = ratio x outer width); with the frame's margins fixed,
// the client proportion that obeys the rule depends on the size. So the hint
// is a narrow range worked out for the current width and renewed with every
// size change; the correction after a drag (Module1) stays, for window
// managers that ignore hints and for the pixel or two the hint lags behind.
//
// Qt writes WM_NORMAL_HINTS itself (without an aspect) whenever it sets the
// window's geometry or size limits; the keeper watches the property and puts
// the aspect back each time.

#include <QMargins>
#include <QObject>
#include <QSize>
#include <array>
#include <optional>

namespace X11AspectHint {

// WM_NORMAL_HINTS as stored: flags, x, y, width, height, min width/height,
// max width/height, width/height increments, min aspect (x, y), max aspect
// (x, y), base width/height, gravity.
using SizeHints = std::array<quint32, 18>;
inline constexpr quint32 kAspectFlag = 1u << 7; // PAspect

// Allowed client proportions, width : height, from min to max.
struct AspectRange {
    quint32 minX = 0, minY = 0, maxX = 0, maxY = 0;
    friend bool operator==(const AspectRange&, const AspectRange&) = default;
};

// The range of client proportions that keeps the outer height at
// outerRatio x outer width for a client area `client` wide inside a frame
// with `frame` margins, give or take `slackPixels` of client height.
// Nothing when no client height could obey the rule (a window narrower
// than its frame's proportion allows).
std::optional<AspectRange> clientAspect(
    int clientWidth, QMargins frame, double outerRatio, double slackPixels = 0.75);

SizeHints withAspect(SizeHints hints, const AspectRange& range);
SizeHints withoutAspect(SizeHints hints);
bool hasAspect(const SizeHints& hints);

// Keeps the hint on a top-level QWidget or QWindow while it lives. Does
// nothing on platforms other than X11.
class Keeper : public QObject {
public:
    // `outerRatio` is read at every update and must outlive the keeper.
    Keeper(QObject* window, const float* outerRatio, QObject* parent = nullptr);
    ~Keeper() override;

    // Works the range out again from the window's current width and frame
    // (call it when the size has settled) and writes it when it changed.
    void update();

    // Whether the hint is being kept (X11 and a window to keep it on).
    bool active() const;

private:
    class Private;
    Private* d;
};

} // namespace X11AspectHint
