#pragma once
// A comparison view without a window, for benchmarks that drive a whole
// search: it counts the pairs shown and notes the closing message.

#include "search/ComparisonView.h"

#include <QCoreApplication>

class HeadlessView : public ComparisonView {
public:
    void beginSearch(const QString&) override { }
    int progressWidth() const override { return 1000; }
    void drawProgress(int) override { }
    void processEvents() override { QCoreApplication::processEvents(); }
    void showPair(const DisplayGeometry&, const QImage&, const QImage&, const QString&,
        const QString&) override
    {
        ++pairs;
    }
    void clearPair(Side) override { }
    void finishSearch(const QString& text) override
    {
        finished = true;
        closingText = text;
    }
    void cancelSearch(const QString&) override { }

    int pairs = 0;
    bool finished = false;
    QString closingText;
};
