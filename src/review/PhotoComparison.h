#pragma once
// What the compare view shows of a same-photo match: the best copy and one
// member brought to one common size (the smaller picture's full size, by area
// averaging: finer than the proof, which measures both at most 512 pixels
// long, so a user sees every detail), and the absolute difference of the
// two amplified, so that a re-save shows as faint even noise and an edit as a
// shape. No widgets: the window only shows these pictures.

#include <QImage>

struct PhotoComparison {
    QImage best; // the best copy at the common size
    QImage member; // the member at the common size
    QImage difference; // |best - member| per channel, times the amplification, opaque
    int largestDifference = 0; // in 8-bit levels, before amplification
    bool comparable = false; // false when either picture is missing or the shapes differ

    // How many times the difference is amplified for the eye.
    static constexpr int kAmplification = 8;
};

PhotoComparison comparePhotos(const QImage& best, const QImage& member);
