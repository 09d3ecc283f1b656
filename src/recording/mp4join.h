// Joining consecutive recordings into one MP4 file per camera.
//
// The first recording's movies hold the merged result: appending merges the
// next movie's sample tables, durations and drive-data records into their box
// trees (both movies are checked before anything changes, their tables
// against each other and against the media data), and writing streams the
// media data of every joined file into a new file behind the rewritten boxes,
// followed by the merged drive-data block.  Every video sample's NAL units
// are checked against the sample's size in the bytes the writer copies, so
// that each input byte is read once; a sample that fails leaves no output.
// Sound samples that an appended movie's edit skips (AAC's priming) are left
// out of the joined tables, so that the sound stays with the picture across
// every seam.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/pathutil.h"
#include "recording/mp4movie.h"

namespace qv {

// Why a join step failed, for the join command to tell the user.
enum class JoinFault {
  kNone,
  kCannotOpen,     // an input is missing or is not a movie
  kReadError,      // an input could not be read (a failing card)
  kDamaged,        // an input's sample tables contradict each other
  kNotJoinable,    // the movies differ in kind (tracks, formats, time scales) or layout
  kTooLong,        // a duration, size or offset of the result exceeds its 32-bit field
  kOutputIsInput,  // an output would replace one of the inputs or the other output
  kReadOnly,       // the output folder cannot be written
  kDiskFull,       // no room for the output
  kWriteFailed,    // any other failure while writing
  kCancelled,      // the writer was asked to stop
};

// Where the writer puts its bytes.
class Mp4Output {
 public:
  virtual ~Mp4Output() = default;
  virtual bool Write(const void* data, size_t len) = 0;
  // Copies [offset, offset + len) of `source` to the output.
  virtual bool Copy(FileSource& source, uint64_t offset, uint64_t len) = 0;
};

// The opened movies of a join: the first recording's front and rear and the
// recordings appended to them, kept open until the writer is done.
class sMULTIMOVIE {
 public:
  sMULTIMOVIE() = default;
  sMULTIMOVIE(const sMULTIMOVIE&) = delete;
  sMULTIMOVIE& operator=(const sMULTIMOVIE&) = delete;
  virtual ~sMULTIMOVIE();

  sMP4MOVIE* front = nullptr;
  sMP4MOVIE* rear = nullptr;
  std::vector<sMP4MOVIE*> frontAppended;
  std::vector<sMP4MOVIE*> rearAppended;
  int rearOk = 1;  // 0 once the rear side cannot be joined
  // Why the last OpenPair, AppendMovie or Write failed, and why the rear side
  // was dropped.
  JoinFault fault = JoinFault::kNone;
  JoinFault rearFault = JoinFault::kNone;
  // When set, Write stops (kCancelled, no output of the movie being
  // written) once it finds it true between two copy windows.
  const std::atomic<bool>* cancel = nullptr;
  // When set, Write calls it with the folder of each output's file under
  // construction before the file is made there (see SafeFileWriter::NoteFolder).
  std::function<void(const std::string& folder)> noteFolder;
  // When set, the outputs' names claimed on file systems without a
  // no-replace rename go to it (see SafeFileWriter::RecordClaims).
  ClaimRecord* claims = nullptr;

  // False when the front movie cannot be opened; a rear that cannot be opened
  // only clears rearOk.
  bool OpenPair(const std::string& frontPath, const std::string& rearPath);
  // Opens the next recording and merges it; false when its front movie cannot
  // be opened or merged (nothing changes then).  A rear that fails clears
  // rearOk and the answer stays true.
  bool AppendMovie(const std::string& frontPath, const std::string& rearPath);
  // Writes the joined front movie to `frontPath` and, while rearOk, the rear
  // movie to `rearPath`.  A rear with appended movies whose samples turn out
  // damaged while it is written is dropped (rearOk cleared, rearFault set,
  // the answer kNone), as a rear that cannot be appended is.  Neither is written when either output would replace
  // any input of either camera or the two outputs are one: the same file
  // through a link, a name or folder spelled in another letter case, a bind
  // mount; the file system, not a rule about names, decides what an output's
  // name reaches, and an output never takes a name under which it finds an
  // input (kOutputIsInput).  An existing file of another kind is replaced.
  JoinFault Write(const std::string& frontPath, const std::string& rearPath);
};

// Writes `movie` (with everything appended to it) to `path` through the safe
// file writer: the file takes the name only after a complete, checked write.
// False, with no file left behind and the reason in `why`, when the output is
// one of its inputs (as the file system finds the name), a table or a video
// sample is damaged, a value does not fit the file format, or any read or
// write fails.
// sMULTIMOVIE::Write also guards the other camera's inputs.
bool WriteMp4Movie(sMP4MOVIE& movie, const std::string& path, JoinFault* why = nullptr,
                   const std::atomic<bool>* cancel = nullptr);
// The writer's pieces: one box with its children, and the raw copy of a box's
// payload range from its source file.
bool WriteBoxTree(const sTAGNODE& node, Mp4Output& out);
bool CopyFileRange(const sTAGNODE& node, Mp4Output& out, uint64_t length);

// For tests and benchmarks: false makes the writers started from now on copy
// everything through their own buffer, as they do where the kernel cannot
// copy from file to file (an output on another file system); true, the
// default, lets them try the kernel's copy first.
void SetKernelFileCopy(bool allowed);

}  // namespace qv
