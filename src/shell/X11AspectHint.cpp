#include "shell/X11AspectHint.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace X11AspectHint {

namespace {

// Aspect terms are whole numbers; sixteenths of a pixel keep the range
// tight without overflowing for any screen.
constexpr double kSubPixels = 16.0;

} // namespace

std::optional<AspectRange> clientAspect(
    int clientWidth, QMargins frame, double outerRatio, double slackPixels)
{
    if (clientWidth <= 0 || !(outerRatio > 0) || !(slackPixels > 0))
        return std::nullopt;
    const double outerWidth = clientWidth + frame.left() + frame.right();
    const double clientHeight = outerRatio * outerWidth - frame.top() - frame.bottom();
    if (clientHeight - slackPixels < 1)
        return std::nullopt;
    const auto term = [](double pixels) { return quint32(std::lround(pixels * kSubPixels)); };
    // The smallest width : height has the largest height.
    return AspectRange{term(clientWidth), term(clientHeight + slackPixels), term(clientWidth),
        term(clientHeight - slackPixels)};
}

SizeHints withAspect(SizeHints hints, const AspectRange& range)
{
    hints[0] |= kAspectFlag;
    hints[11] = range.minX;
    hints[12] = range.minY;
    hints[13] = range.maxX;
    hints[14] = range.maxY;
    return hints;
}

SizeHints withoutAspect(SizeHints hints)
{
    hints[0] &= ~kAspectFlag;
    for (int i = 11; i <= 14; ++i)
        hints[i] = 0;
    return hints;
}

bool hasAspect(const SizeHints& hints)
{
    return (hints[0] & kAspectFlag) != 0;
}

// The X11 side: reads and writes the property, and watches it for Qt's own
// writes, which leave the aspect out.
class Keeper::Private : public QAbstractNativeEventFilter {
public:
    Private(QObject* target, const float* ratio)
        : m_target(target)
        , m_ratio(ratio)
    {
        auto* x11
            = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !target)
            return;
        m_connection = x11->connection();
        if (!m_connection)
            return;
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~Private() override
    {
        if (!m_connection)
            return;
        QCoreApplication::instance()->removeNativeEventFilter(this);
        if (const std::optional<SizeHints> hints = read(); hints && hasAspect(*hints))
            write(withoutAspect(*hints));
    }

    bool active() const { return m_connection && window(); }

    void update()
    {
        const QWindow* w = window();
        if (!m_connection || !w || !m_ratio)
            return;
        const QRect outer = w->frameGeometry();
        const QRect inner = w->geometry();
        const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
            outer.right() - inner.right(), outer.bottom() - inner.bottom());
        // Until the manager has framed the window its margins are unknown,
        // and a range worked out without them would make a hint-honouring
        // manager resize the window by a title bar.
        m_range = outer != inner ? clientAspect(inner.width(), frame, *m_ratio) : std::nullopt;
        const std::optional<SizeHints> hints = read();
        if (!hints)
            return;
        const SizeHints wanted = m_range ? withAspect(*hints, *m_range) : withoutAspect(*hints);
        if (wanted != *hints)
            write(wanted);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        const QWindow* w = window();
        if (!w || notify->window != w->winId() || notify->atom != XCB_ATOM_WM_NORMAL_HINTS
            || notify->state != XCB_PROPERTY_NEW_VALUE)
            return false;
        // Qt has written its own hints, as it does whenever it sets the
        // geometry: put the aspect back, worked out for the size Qt asked for.
        if (const std::optional<SizeHints> hints = read(); hints && !hasAspect(*hints))
            update();
        return false;
    }

private:
    const QWindow* window() const
    {
        if (!m_target)
            return nullptr;
        if (auto* w = qobject_cast<QWindow*>(m_target.data()))
            return w;
        if (auto* widget = qobject_cast<QWidget*>(m_target.data()))
            return widget->windowHandle();
        return nullptr;
    }

    std::optional<SizeHints> read() const
    {
        const QWindow* w = window();
        if (!w)
            return std::nullopt;
        const xcb_get_property_cookie_t cookie
            = xcb_get_property(m_connection, 0, xcb_window_t(w->winId()), XCB_ATOM_WM_NORMAL_HINTS,
                XCB_ATOM_WM_SIZE_HINTS, 0, SizeHints().size());
        xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        if (!reply)
            return std::nullopt;
        SizeHints hints{};
        // A missing or short property reads as zeros: no hints of that kind.
        if (reply->format == 32) {
            const int bytes = std::min<int>(
                xcb_get_property_value_length(reply), int(sizeof(quint32) * hints.size()));
            std::memcpy(hints.data(), xcb_get_property_value(reply), std::max(0, bytes));
        }
        std::free(reply);
        return hints;
    }

    void write(const SizeHints& hints) const
    {
        const QWindow* w = window();
        if (!w)
            return;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, xcb_window_t(w->winId()),
            XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, hints.size(), hints.data());
        xcb_flush(m_connection);
    }

    QPointer<QObject> m_target;
    const float* m_ratio;
    xcb_connection_t* m_connection = nullptr;
    std::optional<AspectRange> m_range;
};

Keeper::Keeper(QObject* window, const float* outerRatio, QObject* parent)
    : QObject(parent)
    , d(new Private(window, outerRatio))
{
}

Keeper::~Keeper()
{
    delete d;
}

void Keeper::update()
{
    d->update();
}

bool Keeper::active() const
{
    return d->active();
}

} // namespace X11AspectHint
