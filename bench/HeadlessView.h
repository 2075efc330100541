#pragma once
// A comparison view without a window, for benchmarks that drive a whole
// search: it counts the pairs shown and notes the closing tally.

#include "search/ComparisonView.h"

#include <QCoreApplication>

class HeadlessView : public ComparisonView {
public:
    void beginSearch(const QString&, int) override { }
    void showProgress(qint64, qint64) override { }
    void processEvents() override { QCoreApplication::processEvents(); }
    void showPair(const QImage&, const QImage&, const QString&, const QString&) override
    {
        ++pairs;
    }
    void clearPair(Side) override { }
    void finishSearch(const SearchTally& result) override
    {
        finished = true;
        tally = result;
    }
    void cancelSearch() override { }

    int pairs = 0;
    bool finished = false;
    SearchTally tally;
};
