// A card without the no-replace flag and without hard links (FAT and exFAT
// through FUSE), stood in for the renames of the process: renames claim
// their target with a placeholder.  With `readOnlyAfterClaim` the card turns
// read-only right after the claim, so neither the rename nor the removal of
// the placeholder goes through; with `killedAtRename` the process ends
// between the claim and the rename; without `keepsModes` every placeholder
// shows 0777, as on an exFAT card.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/pathutil.h"

namespace qvtest {

class FatCard : public qv::RenameSteps {
 public:
  FatCard() { qv::SetRenameSteps(this); }
  ~FatCard() override { qv::SetRenameSteps(nullptr); }
  FatCard(const FatCard&) = delete;
  FatCard& operator=(const FatCard&) = delete;

  int RenameNoReplaceFlag(const std::string&, const std::string&) override { return Refuse(EINVAL); }
  int Link(const std::string&, const std::string&) override { return Refuse(EPERM); }
  int Claim(const std::string& to, bool folder) override {
    const int r = RenameSteps::Claim(to, folder);
    if (r == 0 && !keepsModes) chmod(to.c_str(), 0777);
    return r;
  }
  int Rename(const std::string& from, const std::string& to) override {
    if (killedAtRename) _exit(0);
    return readOnlyAfterClaim ? Refuse(EROFS) : RenameSteps::Rename(from, to);
  }
  int Remove(const std::string& path, bool folder) override {
    return readOnlyAfterClaim ? Refuse(EROFS) : RenameSteps::Remove(path, folder);
  }
  bool KeepsModes(const std::string&) override { return keepsModes; }

  bool readOnlyAfterClaim = false;
  bool killedAtRename = false;
  bool keepsModes = true;

 private:
  static int Refuse(int error) {
    errno = error;
    return -1;
  }
};

}  // namespace qvtest
