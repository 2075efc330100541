#pragma once
// Ends the process once the watched window has painted for the first time:
// the moment a user would see it. Start-up benchmarks time the whole process
// up to there, and no further: the ending is immediate, so that neither a
// window's closing work (Corvane stores its place then) nor library clean-up
// is counted.

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <unistd.h>

class QuitOnFirstPaint : public QObject {
public:
    explicit QuitOnFirstPaint(QObject* window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_quitting) {
            m_quitting = true;
            // After the paint event has been handled, not in its middle.
            QTimer::singleShot(0, [] { _exit(0); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_quitting = false;
};
