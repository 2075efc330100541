#include "controls/FramePlacement.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace FramePlacement {

namespace {

constexpr int kPollMs = 30;
constexpr int kGiveUpMs = 2000;

bool isFramed(const QWidget* window)
{
    return window && window->frameGeometry() != window->geometry();
}

QRect ownerFrameOf(const QWidget* owner)
{
    return owner ? owner->window()->frameGeometry() : QRect();
}

// Waits for the window manager's frames, then applies the rule with them.
// One per window: a newer placement replaces it.
class FrameWatcher : public QObject {
public:
    FrameWatcher(QWidget* window, const QWidget* owner, Rule rule)
        : QObject(window)
        , m_window(window)
        , m_owner(owner ? owner->window() : nullptr)
        , m_hadOwner(owner != nullptr)
        , m_rule(std::move(rule))
    {
        setObjectName(QStringLiteral("FrameWatcher"));
        m_since.start();
        connect(&m_poll, &QTimer::timeout, this, &FrameWatcher::check);
        m_poll.start(kPollMs);
    }

private:
    void check()
    {
        if (!m_window || m_since.elapsed() > kGiveUpMs || (m_hadOwner && !m_owner)) {
            deleteLater();
            return;
        }
        if (!m_window->isVisible() || !isFramed(m_window))
            return;
        const QRect frame = m_window->frameGeometry();
        const QPoint wanted = m_rule(ownerFrameOf(m_owner), frame.size());
        if (wanted != frame.topLeft())
            m_window->move(wanted);
        // An owner not framed yet may still be (a main window that has just
        // appeared), or never be (a manager that leaves it bare): follow its
        // frame until the time is up.
        if (!m_owner || isFramed(m_owner))
            deleteLater();
    }

    QPointer<QWidget> m_window;
    QPointer<const QWidget> m_owner;
    bool m_hadOwner;
    Rule m_rule;
    QTimer m_poll;
    QElapsedTimer m_since;
};

} // namespace

QMargins frameMargins(const QWidget* window)
{
    if (!isFramed(window))
        return {};
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom()};
}

QPoint moveTarget(const Rule& rule, const QRect& ownerFrame, QSize client, QMargins margins,
    bool movedByClientArea)
{
    const QSize frame = client.grownBy(margins);
    const QPoint place = rule(ownerFrame, frame);
    return movedByClientArea ? place + QPoint(margins.left(), margins.top()) : place;
}

void place(QWidget* window, const QWidget* owner, Rule rule)
{
    if (!window || !rule)
        return;
    for (QObject* old :
        window->findChildren<QObject*>(QStringLiteral("FrameWatcher"), Qt::FindDirectChildrenOnly))
        delete old;
    const QWidget* ownerWindow = owner ? owner->window() : nullptr;
    const bool framed = isFramed(window);
    const QMargins margins = framed ? frameMargins(window) : frameMargins(ownerWindow);
    const bool byClientArea = !framed && window->testAttribute(Qt::WA_WState_Created);
    window->move(
        moveTarget(rule, ownerFrameOf(ownerWindow), window->size(), margins, byClientArea));
    if (!framed || (ownerWindow && !isFramed(ownerWindow)))
        new FrameWatcher(window, ownerWindow, std::move(rule));
}

} // namespace FramePlacement
