#include "shell/Module1.h"

#include "shell/X11AspectHint.h"

#include <QEvent>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWindow>
#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace Module1 {

namespace {

int roundHalfEven(double value)
{
    // nearbyint follows the rounding mode, which is to-nearest-even unless
    // someone changed it; make sure for the duration of the call.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    // A ratio of zero or a runaway rectangle must not overflow the cast.
    if (std::isnan(rounded))
        return 0;
    return static_cast<int>(std::clamp(
        rounded, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

// Reads and writes the geometry of a QWindow directly and that of a QWidget
// through its properties, so that this file needs no widget types.
QRect frameOf(QObject* target)
{
    if (auto* window = qobject_cast<QWindow*>(target))
        return window->frameGeometry();
    return target->property("frameGeometry").toRect();
}

void setFrame(QObject* target, const QRect& frame)
{
    if (auto* window = qobject_cast<QWindow*>(target)) {
        window->setGeometry(frame.marginsRemoved(window->frameMargins()));
        return;
    }
    const QRect outer = target->property("frameGeometry").toRect();
    const QRect inner = target->property("geometry").toRect();
    const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(),
        outer.right() - inner.right(), outer.bottom() - inner.bottom());
    target->setProperty("geometry", frame.marginsRemoved(margins));
}

// How many sides a drag code moves: 1 for an edge, 2 for a corner.
int movedSides(int edge)
{
    switch (edge) {
    case TopLeftCorner:
    case TopRightCorner:
    case BottomLeftCorner:
    case BottomRightCorner:
        return 2;
    case NoEdge:
        return 99;
    default:
        return 1;
    }
}

// Maximised, full-screen and minimised windows take the geometry the window
// manager gives them; correcting that would fight the manager.
bool isFreeSized(QObject* target)
{
    if (auto* window = qobject_cast<QWindow*>(target))
        return window->windowStates()
            & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized);
    return target->property("maximized").toBool() || target->property("fullScreen").toBool()
        || target->property("minimized").toBool();
}

// -1 / +1: the near / far side of an axis moved alone; 0: neither; 2: both
// (a move along that axis).
int axisChange(int nearOld, int nearNew, int farOld, int farNew)
{
    const bool nearMoved = nearOld != nearNew;
    const bool farMoved = farOld != farNew;
    if (nearMoved && farMoved)
        return 2;
    return nearMoved ? -1 : (farMoved ? 1 : 0);
}

int edgeFromAxes(int horizontal, int vertical)
{
    if (horizontal == 2 || vertical == 2)
        return NoEdge;
    static constexpr int kTable[3][3] = {
        // horizontal: left moved, none, right moved
        {TopLeftCorner, TopEdge, TopRightCorner}, // top moved
        {LeftEdge, NoEdge, RightEdge}, // neither
        {BottomLeftCorner, BottomEdge, BottomRightCorner}, // bottom moved
    };
    return kTable[vertical + 1][horizontal + 1];
}

// The sides a drag from `start` has moved, over all the frames it went
// through: on each axis the side that is moved at the end, or, when the
// drag ended back in line on that axis, the side it last moved. So a corner
// drag that ends along one axis is still a corner drag.
class DragTrail {
public:
    explicit DragTrail(const QRect& start)
        : m_start(toRect(start))
    {
    }

    void add(const QRect& frame)
    {
        const Rect r = toRect(frame);
        m_horizontal = axisChange(m_start.left, r.left, m_start.right, r.right);
        m_vertical = axisChange(m_start.top, r.top, m_start.bottom, r.bottom);
        if (m_horizontal != 0)
            m_lastHorizontal = m_horizontal;
        if (m_vertical != 0)
            m_lastVertical = m_vertical;
    }

    int edge() const
    {
        if (m_horizontal == 2 || m_vertical == 2)
            return NoEdge; // ends as a move
        const int horizontal = m_horizontal != 0 ? m_horizontal : m_lastHorizontal;
        const int vertical = m_vertical != 0 ? m_vertical : m_lastVertical;
        // Only one axis ends changed: the other must have moved one side alone.
        if (horizontal == 2 || vertical == 2)
            return edgeFromAxes(m_horizontal, m_vertical);
        return edgeFromAxes(horizontal, vertical);
    }

private:
    Rect m_start;
    int m_horizontal = 0;
    int m_vertical = 0;
    int m_lastHorizontal = 0;
    int m_lastVertical = 0;
};

// Follows the window's frame. A drag is a burst of geometry changes; when
// the frame has settled (the pointer paused or was released), the edge or
// corner that moved decides which side follows, and the corrected frame is
// requested. Waiting for the burst to settle matters on X11: window managers
// report the size and the position of one step in separate events, and many
// refuse client geometry while they run a drag, answering with their own
// geometry then or only when the button is released. So the edge is measured
// from every frame the drag may have started from (its start, our last
// correction, the frame we corrected away from), taking the simplest
// explanation, and a refused correction is asked for again a little later.
class SizingHook : public QObject {
public:
    static constexpr int kSettleMs = 150;
    static constexpr int kRetryMs = 250;
    static constexpr int kMaximumRetries = 8;

    SizingHook(QObject* target, const float* aspectRatio)
        : QObject(target)
        , m_target(target)
        , m_aspectRatio(aspectRatio)
        , m_last(frameOf(target))
    {
        m_settle.setSingleShot(true);
        connect(&m_settle, &QTimer::timeout, this, &SizingHook::settled);
        target->installEventFilter(this);
        m_hint.update();
    }

    ~SizingHook() override
    {
        if (m_target)
            m_target->removeEventFilter(this);
    }

    QObject* target() const { return m_target; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target && !m_adjusting
            && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
            changed();
        return false;
    }

private:
    void changed()
    {
        const QRect frame = frameOf(m_target);
        if (frame == m_last)
            return; // the echo of a change already seen, or of our own request
        if (m_correctedFrom && frame == *m_correctedFrom) {
            // Refused: the manager put its own geometry back.
            m_last = frame;
            m_starts.clear();
            m_retryEdge = m_correctedEdge;
            m_correctedFrom.reset();
            if (++m_retries <= kMaximumRetries)
                m_settle.start(kRetryMs);
            return;
        }
        if (m_starts.isEmpty()) {
            m_starts.append(DragTrail(m_last));
            if (m_correctedFrom)
                m_starts.append(DragTrail(*m_correctedFrom));
        }
        for (DragTrail& trail : m_starts)
            trail.add(frame);
        m_correctedFrom.reset();
        m_retryEdge = NoEdge;
        m_retries = 0;
        m_last = frame;
        m_settle.start(kSettleMs);
        // Renewed for the width just reached, so the client-area proportion
        // the manager holds stays right as the drag goes on.
        m_hint.update();
    }

    void settled()
    {
        if (!m_target)
            return;
        correct();
        // For the size just reached (or just asked for): the window manager
        // holds the shape during the next drag.
        m_hint.update();
    }

    void correct()
    {
        const QRect frame = frameOf(m_target);
        int edge = m_retryEdge;
        for (DragTrail& trail : m_starts) {
            trail.add(frame);
            const int candidate = trail.edge();
            if (movedSides(candidate) < movedSides(edge))
                edge = candidate;
        }
        m_starts.clear();
        m_retryEdge = NoEdge;
        m_last = frame;
        if (edge == NoEdge || !m_aspectRatio || !(*m_aspectRatio > 0.0f) || isFreeSized(m_target))
            return;
        const QRect wanted = toQRect(applySizingRule(edge, toRect(frame), *m_aspectRatio));
        if (wanted == frame) {
            m_retries = 0;
            return;
        }
        // Setting the geometry raises Resize and Move at once on some
        // platforms; those are our own request, not the user's.
        m_adjusting = true;
        setFrame(m_target, wanted);
        m_adjusting = false;
        m_last = frameOf(m_target);
        m_correctedFrom = frame;
        m_correctedEdge = edge;
    }

    QPointer<QObject> m_target;
    const float* m_aspectRatio;
    QRect m_last;
    // Frames the drag in progress may have started from, each with the
    // sides the drag has moved from it.
    QList<DragTrail> m_starts;
    // The frame our last correction was made from, until the next change.
    std::optional<QRect> m_correctedFrom;
    int m_correctedEdge = NoEdge;
    int m_retryEdge = NoEdge;
    int m_retries = 0;
    QTimer m_settle;
    bool m_adjusting = false;
    X11AspectHint::Keeper m_hint{m_target, m_aspectRatio};
};

// The one hook of the process; it lives as a child of the hooked window, so
// the pointer clears itself when that window is destroyed.
QPointer<SizingHook> g_hook;

} // namespace

Rect applySizingRule(int edgeCode, Rect r, float aspectRatio)
{
    const double ratio = aspectRatio;
    const auto bottomFromWidth = [&] { return roundHalfEven(r.top + ratio * (r.right - r.left)); };
    const auto widthFromHeight = [&] { return (r.bottom - r.top) / ratio; };
    switch (edgeCode) {
    case LeftEdge:
    case RightEdge:
    case BottomLeftCorner:
    case BottomRightCorner:
        r.bottom = bottomFromWidth();
        break;
    case TopEdge:
    case TopRightCorner:
    case BottomEdge:
        r.right = roundHalfEven(r.left + widthFromHeight());
        break;
    case TopLeftCorner:
        r.left = roundHalfEven(r.right - widthFromHeight());
        break;
    default:
        break;
    }
    return r;
}

Rect toRect(const QRect& frame)
{
    return {frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
}

QRect toQRect(const Rect& r)
{
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

int edgeFromGeometryChange(const QRect& oldFrame, const QRect& newFrame)
{
    return edgeOfDrag({oldFrame, newFrame});
}

int edgeOfDrag(const QList<QRect>& frames)
{
    if (frames.isEmpty())
        return NoEdge;
    DragTrail trail(frames.first());
    for (qsizetype i = 1; i < frames.size(); ++i)
        trail.add(frames[i]);
    return trail.edge();
}

void HookWindow(QObject* window, const float* aspectRatio)
{
    if (!window)
        return;
    if (g_hook)
        UnhookWindow(g_hook->target());
    g_hook = new SizingHook(window, aspectRatio);
}

void UnhookWindow(QObject* /*window*/)
{
    // Only one window is ever hooked, so the hook knows its window.
    if (!g_hook)
        return;
    delete g_hook.data();
    g_hook = nullptr;
}

QObject* PrevWndProc()
{
    return g_hook.data();
}

} // namespace Module1
