#pragma once
// The stages of a whole-folder search, in the order Finder runs them, each
// over the one table of files (FileTable.h) and the search's context
// (SearchContext.h), each in a file of its own:
//
//   scan (ScanStage) -> facts from the cache (CacheStage) -> headers
//   (HeaderStage) -> decode the pictures another picture's size makes
//   worth it, and fingerprint them (DecodeStage) -> identical groups
//   (IdenticalGroupStage)
//   with same photos asked for: -> signatures (SignStage) -> candidates
//   (CandidateStage) -> proofs (ProveStage) -> same-photo and edited
//   groups (SamePhotoGroupStage).
//
// A stage that is not asked for does not run; a stage run after the stop
// flag was set does nothing.

#include "finder/FileTable.h"
#include "finder/FinderResult.h"
#include "finder/SearchContext.h"
#include "similar/EditedCopies.h"
#include "similar/SamePhotoGrouping.h"

#include <memory>
#include <vector>

namespace finder {

// The reason of a file whose content is no picture type Corvane reads.
extern const QString kNotAPicture;

// Lists the files of the folders (FolderScan), and the folders it cannot read.
void scanFiles(SearchContext& context, FileTable& files, FinderResult& result);

// Opens the cache, and takes every fact it holds about the files listed.
void takeCachedFacts(SearchContext& context, FileTable& files);

// Reads the header of every file still only listed, on the workers.
void readHeaders(SearchContext& context, FileTable& files);

// Decodes the pictures whose headers did not say their size, then every
// picture whose dimensions another picture shares, each once (files with
// equal bytes share a decode), and fingerprints them; with same photos
// asked for, the same decode gives the signature and the proof picture.
void decodePictures(SearchContext& context, FileTable& files);

// Groups the fingerprinted files by their fingerprints into result.groups
// (each file's identicalGroup set), and lists the unreadable ones.
void groupIdentical(FileTable& files, FinderResult& result);

// The same-photo search's members: each identical group is one, every
// other readable picture with a signature is one.
struct UnitFiles {
    std::vector<FileId> files; // the first stands for all
    int identicalGroup = -1;
};
class PairEvidence;
class ProofSource;
// What the same-photo stages hand on to each other.
struct SamePhotoWork {
    explicit SamePhotoWork(SearchContext& context);
    ~SamePhotoWork();
    SamePhotoWork(const SamePhotoWork&) = delete;
    SamePhotoWork& operator=(const SamePhotoWork&) = delete;

    std::unique_ptr<ProofSource> proofSource;
    std::vector<UnitFiles> units;
    std::vector<similar::PhotoUnit> photos; // what the grouping knows of each unit
    std::vector<std::pair<std::uint32_t, std::uint32_t>> candidates;
    std::unique_ptr<PairEvidence> evidence; // made with the candidates
    std::int64_t proofsMeasured = 0;
    std::vector<similar::PhotoGroup> groups;
};

// Opens the cache's same-photo tables (when the cache is used), and gives
// every readable picture without one a signature: from the cache, or from
// a reduced decode (a JPEG) or its proof picture.
void signPictures(SearchContext& context, FileTable& files, SamePhotoWork& work);

// Makes the units and finds the candidate pairs among their signatures.
void findCandidates(SearchContext& context, const FileTable& files, SamePhotoWork& work);

// Proves the candidates and every pair the grouping asks for beyond them,
// on the workers, and makes the same-photo groups of units.
void provePairs(SearchContext& context, SamePhotoWork& work);

// Finds the edited copies, and turns the groups of units into
// result.samePhotoGroups and editedGroups.
void groupSamePhotos(
    SearchContext& context, const FileTable& files, SamePhotoWork& work, FinderResult& result);

} // namespace finder
