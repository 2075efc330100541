#pragma once
// frmCompare: a same-photo match checked by eye. The best copy and the chosen
// member side by side at one scale, with the measured figures; Flicker (F)
// swaps the right pane between the member and the best copy twice a second,
// so that any change jumps out in place; Difference (D) shows their absolute
// difference amplified: a re-save is faint even noise, an edit a shape.
// Escape closes.
//
//   frmCompare
//   |-- figures line
//   |-- left pane (caption, best copy) | right pane (caption, member / best / difference)
//   `-- buttons   Flicker, Difference, Close

#include "review/PhotoComparison.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;

class frmCompare : public QWidget {
    Q_OBJECT
public:
    struct Side {
        QString shownPath; // as the review lists it
        QString facts; // "1600 x 1200, JPEG"
        // What the picture is to the other: "Best copy" (the default on the
        // left), "Reference copy" where a group names no best copy,
        // "Original" beside an edited copy; "This copy" (the default on the right).
        QString role = {};
    };

    // The region that differs most from the best copy, as shares of the
    // picture's width and height (empty: none to show). Drawn on both panes.
    void setRegion(const QRectF& region);
    QRectF region() const { return m_region; }

    // A new window (deleted when closed) comparing the two files.
    static frmCompare* showFiles(const QByteArray& bestPath, const Side& best,
        const QByteArray& memberPath, const Side& member, const QString& figures, QWidget* near);

    frmCompare(const QImage& best, const Side& bestSide, const QImage& member,
        const Side& memberSide, const QString& figures, QWidget* parent = nullptr);

    // What the right pane shows now.
    enum class RightPane { Member, Best, Difference };
    RightPane rightPane() const { return m_shown; }
    bool flickering() const { return m_flicker.isActive(); }
    void setFlicker(bool on);
    void setDifference(bool on);
    const PhotoComparison& comparison() const { return m_comparison; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void setupWidgets(const QString& figures);
    void showRight(RightPane pane);
    void repaintPanes();

    PhotoComparison m_comparison;
    QRectF m_region;
    Side m_bestSide;
    Side m_memberSide;
    RightPane m_shown = RightPane::Member;
    QTimer m_flicker;
    QLabel* m_leftCaption = nullptr;
    QLabel* m_left = nullptr;
    QLabel* m_rightCaption = nullptr;
    QLabel* m_right = nullptr;
    QPushButton* m_flickerButton = nullptr;
    QPushButton* m_differenceButton = nullptr;
};
