// How every change of an archive file survives a crash, a kill, a signal or
// a power cut: the ordered steps of each way of writing, the invariant after
// each step (what the archive's name holds if the machine stops right
// there), and the recovery that the next open performs. "Sync" below means
// the step runs only when the caller asked for synced writes (FlushBuffers);
// without it the steps and their order are the same but a power cut may
// lose the last of them. The code of every step is declared by the headers
// this one includes: rollback_journal.h (the saved tail and the recovery),
// commit_target.h (the two commit targets) and new_archive_file.h (an
// archive created under a hidden name).
//
// 1. Update in place under the rollback journal (InPlaceTarget). Used for
//    small tails, an archive with several names, a folder that refuses a
//    new file, and an external stream (without a journal, see 5).
//    a. SavedTail::Save creates ARCHIVE-journal exclusively (a link at the
//       name is never followed) with the archive's bits and owner, writes
//       the tail archive[cut, end) after the header space, then the header;
//       sync: the journal, then its folder.
//       -> The archive is untouched. A journal cut short fails its CRC-32s
//          and is deleted by the next open.
//    b. The archive is cut at `cut` (InPlaceTarget::Prepare).
//       -> The archive is damaged; the complete journal restores it.
//    c. The entries and the central directory are written from `cut` on.
//       -> Likewise: the next open restores the old archive.
//    d. Commit: sync the archive, then delete the journal. Deleting it is
//       the commit point.
//       -> Old archive while the deletion is not on disk (the journal comes
//          back whole and is applied), new archive once it is: the new
//          data was on disk before the journal went.
//    e. MakeCommitDurable: sync: the journal's folder.
//       -> New archive.
//    Rollback before d (failure, cancel, abort): the tail is written back
//    at `cut` (sync: the archive), the journal deleted, its folder synced.
//    Every instant of it leaves the journal whole until the archive holds
//    the old tail again.
//
// 2. Update into a new file renamed over the archive (NewFileTarget). Used
//    when the tail is at least the rewrite threshold and more than half of
//    the archive, and the archive is a regular file with one name.
//    a. Prepare creates ".NAME.new." plus six characters beside the archive
//       (locked while written) and copies archive[0, cut) into it.
//    b. The entries and the central directory are written into it.
//       -> Old archive; the next open removes the new file that no live
//          writer holds (RemoveUnfinishedNewFiles).
//    c. Commit: the new file gets the archive's bits and owner on its
//       descriptor; sync: the new file; then it is swapped with the archive
//       (or renamed over it where the file system cannot swap). The swap is
//       the commit point.
//       -> Old archive before it, new archive after it; the old content
//          then lies under the hidden name.
//    d. MakeCommitDurable: the old content is removed (on failure the next
//       open removes it); sync: the folder.
//       -> New archive.
//    Rollback before c: the new file is removed; the archive was untouched.
//
// 3. A new archive (CreateHiddenArchive, PublishHiddenArchive). An archive
//    whose name does not exist yet is written under a hidden name and only
//    appears complete.
//    a. Unfinished hidden files of that name are removed; ".NAME.new." plus
//       six characters is created exclusively.
//    b. The entries and the central directory are written into it (with a
//       scratch tail copy, as nobody sees the file yet).
//       -> Nothing under the name; the hidden file goes at the next open
//          or creation of the archive.
//    c. PublishHiddenArchive: sync: the file; then it is renamed to the
//       name without replacing anything that took the name meanwhile (then
//       the creation fails and nothing is changed). The rename is the
//       commit point.
//       -> Nothing under the name before, the complete archive after.
//    d. SyncPublishedFolder: sync: the folder.
//    An existing file created anew is emptied in place and its journal
//    discarded (DiscardJournal): its old content is given up at once.
//
// 4. Recovery at open (RecoverJournal), before the archive is read:
//    a. Unfinished new files of 2 and 3 that no live writer holds go.
//    b. A regular ARCHIVE-journal (never a link; one swapped between the
//       look and the open is left alone) that is complete (valid header,
//       whole tail with its CRC-32) and belongs to the archive (its device
//       and inode, written by its owner or by us, and the CRC-32 of up to
//       4 KiB before the cut matching) is applied: the archive, opened
//       exclusively, is cut at `cut`, the tail written back and the archive
//       synced. A complete journal that cannot be applied refuses the open.
//       -> A crash here leaves the journal, applied again at the next open
//          (applying it twice gives the same bytes).
//    c. The journal is deleted and its folder synced; one that was applied
//       must go, or it would later be applied over newer content.
//
// 5. Unprotected updates. An archive that is no disk file (an external
//    stream, memory), or whose folder refuses the journal while the caller
//    allowed that, keeps its tail in a scratch file or in memory that no
//    open looks for: a crash between 1b and 1d damages it. A folder that
//    refuses the journal otherwise ends the update (error 69).
//
// Journal layout (all little-endian; 56-byte header, then the tail):
//   0  magic "PLJRN2\r\n"        8 bytes
//   8  cut position              8
//   16 tail length               8
//   24 CRC-32 of the tail        4
//   28 CRC-32 of the probe       4 (up to 4 KiB of the archive before the cut)
//   32 probe length              4
//   36 the archive's device      8
//   44 the archive's inode       8
//   52 CRC-32 of bytes 0 to 51   4
//   56 the tail
#pragma once

#include "archive/update/commit_target.h"
#include "archive/update/new_archive_file.h"
#include "archive/update/rollback_journal.h"
