#pragma once
// Freeing the space of a byte-identical copy while its name keeps working:
// the copy's name comes to hold the very bytes of the copy that stays, as a
// copy-on-write clone where the file system can make one (the blocks are
// shared, and later edits stay separate), otherwise as a hard link (one file
// under two names: an edit through either changes both). Never a symbolic
// link: the search never lists links, so a later action could take the
// target and leave the name dangling.
//
// Replacing one file, in this order:
//   1. the copy that stays and the marked file must still be the files the
//      search saw, and hold the same bytes (compared here, whatever the
//      pictures show: other bytes may carry metadata that would be lost);
//   2. the marked file is claimed under a private name in its folder and
//      looked at again there;
//   3. the clone or link is made under the original name, which is free now:
//      an exclusive create or link() fails on a taken name, so nothing is
//      ever written over;
//   4. the claimed file is looked at once more and removed.
// A refusal at any step (a read-only folder, EPERM from protected hard links)
// gives the file its name back. Putting back makes the name a file of its
// own again, with the bytes of the copy that stays (unchanged since), and
// the old mode and times.

#include "files/FileIdentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

class LinkReplacement {
public:
    enum class Method { Clone, HardLink };
    enum class Result {
        Done,
        // Left as it was on purpose (changed, other bytes, another file
        // system, its name taken): reason says why.
        Skipped,
        Failed, // refused by the system; the file is as it was unless reason says where
    };

    struct Request {
        QByteArray path; // the marked file
        FileIdentity expected; // who it must still be
        QByteArray kept; // the copy that stays
        FileIdentity keptExpected; // who that must still be (after this action's own links)
        Method method = Method::Clone;
        // Where a clone is refused, a hard link instead (the user agreed to
        // hard links for this action).
        bool hardLinkAllowed = false;
    };

    struct Outcome {
        Result result = Result::Failed;
        QString reason;
        Method method = Method::Clone; // what was made
        FileIdentity placed; // who the name is now
        FileIdentity keptNow; // who the copy that stays is now (a hard link adds a link)
        std::int64_t accessedNs = 0; // the replaced file's access time
        // The replaced file had no other name: its blocks are free now.
        bool freed = false;
    };

    static Outcome replace(const Request& request);

    // Whether a clone of `kept` can be made in `folder` (a copy-on-write
    // file system, both on it): tried on an unnamed file that is never seen.
    static bool canClone(const QByteArray& kept, const QByteArray& folder);

    // What Put back needs of one replaced name.
    struct Linked {
        QByteArray path;
        Method method = Method::Clone;
        FileIdentity placed; // who the name was right after the replacement
        QByteArray kept;
        FileIdentity keptAfter; // who the copy that stays was then
        FileIdentity old; // the file that had the name: its mode, owner and times
        std::int64_t oldAccessedNs = 0;
    };
    struct Restored {
        QString reason; // empty when the name has a file of its own again
        FileIdentity now; // who the name is now
        FileIdentity keptNow; // who the copy that stays is now
    };

    // Gives the name a file of its own again: a copy of the copy that stays,
    // made under a private name, with the old mode and times, then put in
    // place of the link or clone (claimed first, like the marked file
    // above). Refuses while the copy that stays, or the name, changed since.
    static Restored putBack(const Linked& linked);

    // Prefix of the private name a copy being put back is made under.
    static constexpr char kPutBackPrefix[] = ".corvane-own-";
};
