#pragma once
// What the information report needs of the converter: its information mode
// run on one picture, and where that run wrote its text. The neighbour
// search's converter client provides it, so that handling knows nothing of
// how the converter is started.

#include <QString>

class InformationWriter {
public:
    virtual ~InformationWriter() = default;

    // True when the information file was written by this run; otherwise no
    // information file is left behind.
    virtual bool writeInformation(const QString& imagePath) = 0;
    virtual QString infoFilePath() const = 0;
};
