#pragma once
// Runs the converter i__view32.exe for one image and collects its output:
// a bitmap Temp.bmp (conversion) or a text report info.txt (information),
// both in the scratch folder. The converter is started with an argument
// list, never through a shell, and runs while the event loop keeps turning
// until it has used ConverterContract::kWaitMilliseconds of processor time
// per decoding thread, or a wall-clock backstop of a minute has passed: what
// is limited is the converter's own work, so a picture is not lost because
// other programs keep the cores busy.
// Runs of several Corvane processes that share a scratch folder take turns
// (ScratchTurn); the wait for a turn is not part of the converter's limit.
// Within one process one use runs at a time: a use asked for from an event
// turn of another is refused at once.

#include "handling/InformationWriter.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

class ChildProcess;
class ScratchTurn;

class ConverterClient : public InformationWriter {
public:
    // programFolder holds i__view32.exe; scratchFolder receives Temp.bmp / info.txt
    // (normally the program folder; a user cache folder when that is not writable).
    ConverterClient(QString programFolder, QString scratchFolder);

    // Called for each event-loop turn while a converter runs (default: none).
    void setEventTurn(std::function<void()> turn);
    // Asked between wait slices; true stops the wait, kills the converter and
    // counts the run as failed (for a cancelled search or a closing window).
    void setAbortCheck(std::function<bool()> abort);
    // Processor time one converter run is given per thread it decodes with
    // (at most one per usable core), in milliseconds (by default
    // ConverterContract::kWaitMilliseconds); a run that uses more is killed and fails.
    void setTimeLimit(int milliseconds);
    // Wall-clock time after which a run is killed whatever it used, for a
    // converter that hangs without working (by default kWallClockBackstopMilliseconds).
    void setWallClockLimit(int milliseconds);
    static constexpr int kWallClockBackstopMilliseconds = 60'000;

    // True while a conversion or report of this client is on the stack,
    // waiting for its turn at the scratch folder or for the converter.
    bool inUse() const { return m_uses > 0; }
    // Kills the converter being waited for and gives the scratch folder back
    // at once, so that a message box shown from an event turn keeps no other
    // Corvane waiting; the use on the stack then fails without touching the folder.
    void stopNow();

    // The converted picture, or a null QImage on any failure: converter
    // missing, refused or crashed, slower than the wait, no bitmap written,
    // bitmap unreadable or over the pixel budget.
    QImage convert(const QString& imagePath);
    // True when info.txt was written by this run; otherwise no info.txt is left.
    bool writeInformation(const QString& imagePath) override;

    QString tempBitmapPath() const;
    QString infoFilePath() const override;
    QString programPath() const;
    bool converterPresent() const;

    // Textual command lines, for tests and logs.
    QString conversionCommandLine(const QString& imagePath) const;
    QString informationCommandLine(const QString& imagePath) const;

    // The program folder when it is writable, else Corvane's cache folder
    // (created when missing).
    static QString defaultScratchFolder(const QString& programFolder);

private:
    // Starts the converter and waits for it; true for a clean exit with code 0.
    bool run(const QStringList& arguments);
    // Waits, turning the event loop, for this process's turn at the scratch
    // folder; false for an abort, a nested use or a queue that stopped working.
    bool acquireScratch(ScratchTurn& turn);
    void WaitForProcess(ChildProcess& process);
    void eventTurn();

    QString m_programFolder;
    QString m_scratchFolder;
    std::function<void()> m_eventTurn;
    std::function<bool()> m_abort;
    int m_timeLimit;
    int m_wallClockLimit = kWallClockBackstopMilliseconds;
    int m_uses = 0;
    ScratchTurn* m_turn = nullptr; // the turn of the use on top of the stack
    ChildProcess* m_waitedProcess = nullptr;

    friend class ConverterUse;
};
