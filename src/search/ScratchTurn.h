#pragma once
// One process's turn at the converter's scratch folder. Every Corvane that
// converts into the same folder (two windows, or two users of the cache
// folder) must take turns: the converter of one must never write the Temp.bmp
// or info.txt that the other is about to read.
//
// The turns are fair. A process that has to wait puts a numbered ticket in
// the folder (a hidden file that it keeps locked while it lives), and the
// folder goes to the lowest live ticket: an instance that converts picture
// after picture cannot shut out one that asked while it worked. The folder
// itself is held with an advisory lock on it, which the kernel drops when a
// process dies; the ticket of a process that died is cleared by the next one
// to see it. When nobody queues, the folder is taken without a ticket.
//
// A process waits for as long as those ahead of it are alive and working:
// each one marks its ticket (stamp()) while it waits and while it holds the
// folder, and a wait in which nothing ahead shows a sign of life for the
// stall limit is given up.
//
// Within one process, a second turn on a folder that already has one (asked
// from an event-loop turn while the first waits or holds) is refused at once:
// it could only wait for the use below it on the same stack.

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

class ScratchTurn {
public:
    enum class State {
        Waiting, // others are ahead, or the folder is still held
        Held, // the folder is this process's until release() or destruction
        Stalled, // nothing ahead has worked for the stall limit: given up
        Nested, // this process already has a turn on the folder
        Unusable, // no such folder, no ticket could be made there, or released
    };

    // Longest time without a sign of life from the processes ahead.
    static constexpr qint64 kStallMilliseconds = 30000;
    // Ticket files are named this prefix followed by sixteen hex digits.
    static constexpr char kTicketPrefix[] = ".corvane-turn-";

    explicit ScratchTurn(const QString& folder, qint64 stallMilliseconds = kStallMilliseconds);
    ~ScratchTurn();
    ScratchTurn(const ScratchTurn&) = delete;
    ScratchTurn& operator=(const ScratchTurn&) = delete;

    // One look at the queue: joins it on the first call and takes the folder
    // when this ticket's turn has come. Never blocks; call it every few tens
    // of milliseconds until it answers something other than Waiting.
    State poll();
    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }

    // Tells the processes queued behind this one that it still works (a
    // holder without a ticket makes one once somebody queues). Cheap enough
    // for every wait slice: it acts at most twice a second.
    void stamp();

    // Gives the folder back and leaves the queue; the state becomes Unusable
    // (Nested stays Nested).
    void release();

private:
    struct Ticket {
        quint64 number = 0;
        qint64 stamp = 0; // last mark, ms since the epoch
    };

    // Makes this process's ticket: `number`, or the next free one in the
    // direction of step (+1 or -1).
    bool makeTicket(quint64 number, int step);
    // The live tickets in the folder below `below` (all when 0); clears dead ones.
    bool listTickets(quint64 below, QList<Ticket>* live, quint64* highest);

    int m_folderFd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_registered = false;
    int m_ticketFd = -1;
    quint64 m_ticket = 0;
    State m_state = State::Waiting;
    qint64 m_stall;
    qint64 m_progressAt = 0; // last sign of life ahead, ms since the epoch
    QList<quint64> m_lastAhead;
    qint64 m_lastStamp = -1; // monotonic ms of the last mark written
};
