#include "platform/drives.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/apphelpers.h"
#include "testsupport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A fake /sys with the block devices of a laptop that has a USB stick, an SD
// card, an internal disk, a snap loop device, an optical drive and a card
// reader whose disk is flagged removable.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    sys = dir / "sys";
    Disk("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb", "0");
    Part("devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1", "8:17");
    Disk("devices/platform/soc/mmc0/mmc0:0001/block/mmcblk0", "0");
    Part("devices/platform/soc/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1", "179:1");
    Disk("devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda", "0");
    Part("devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda2", "8:2");
    Disk("devices/virtual/block/loop0", "0", "7:0");
    Disk("devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sr0", "1", "11:0");
    Disk("devices/pci0000:00/0000:00:1c.0/0000:02:00.0/block/sdc", "1", "8:32");
    Disk("devices/pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host7/target7:0:0/7:0:0:0/block/sdd", "0");
    Part("devices/pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host7/target7:0:0/7:0:0:0/block/sdd/sdd1", "8:49",
         "sdd1");
    // Mount points with escapes, lines with no, one or two optional fields,
    // and lines that are no mounts.
    mountinfo = dir / "mountinfo";
    qvtest::WriteText(mountinfo,
                      "27 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
                      "40 27 8:17 / /media/user/CARD\\040A rw,nosuid shared:100 - vfat /dev/sdb1 rw\n"
                      "41 27 179:1 / /media/user/SD rw - exfat /dev/mmcblk0p1 rw\n"
                      "42 27 7:0 / /snap/core ro - squashfs /dev/loop0 ro\n"
                      "43 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
                      "44 27 8:32 / /media/read\\134er rw master:1 shared:2 - vfat /dev/sdc rw\n"
                      "45 27 8:17 /DCIM /home/user/bound rw - vfat /dev/sdb1 rw\n"
                      "46 27 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
                      "47 27 0:23 / /dev/shm rw - tmpfs tmpfs rw\n"
                      "49 27 0:52 / /media/user/NTFS rw - fuseblk /dev/sdd1 rw\n"
                      "50 27 0:53 / /media/user/net rw - fuse.sshfs host:/x rw\n"
                      "garbage line\n"
                      "48 27 8:99 / /broken rw\n");
  }
  void Disk(const std::string& rel, const std::string& removable, const std::string& devno = "") {
    fs::create_directories(sys + "/" + rel);
    qvtest::WriteText(sys + "/" + rel + "/removable", removable + "\n");
    if (!devno.empty()) Link(rel, devno);
  }
  void Part(const std::string& rel, const std::string& devno, const std::string& name = "") {
    fs::create_directories(sys + "/" + rel);
    qvtest::WriteText(sys + "/" + rel + "/partition", "1\n");
    Link(rel, devno);
    if (!name.empty()) {
      fs::create_directories(sys + "/class/block");
      fs::create_symlink("../../" + rel, sys + "/class/block/" + name);
    }
  }
  void Link(const std::string& rel, const std::string& devno) {
    fs::create_directories(sys + "/dev/block");
    fs::create_symlink("../../" + rel, sys + "/dev/block/" + devno);
  }

  qvtest::TempDir dir;
  std::string sys, mountinfo;
};

TEST_F(FakeSystem, RemovableMediaAreUsbSdAndRemovableDisksOnly) {
  const std::vector<std::string> removable{"/media/user/CARD A", "/media/user/SD", "/media/read\\er",
                                           "/media/user/NTFS"};
  EXPECT_EQ(ListRemovableMounts(mountinfo, sys), removable);
  // Appended to the list, answering the last index.
  std::vector<std::string> list{"earlier"};
  EXPECT_EQ(FindRemovableDrives(list, mountinfo, sys), 4);
  EXPECT_EQ(list.size(), 5u);
  EXPECT_EQ(list[1], removable[0]);
  // Nothing removable: -1 and the list as it was, even when it holds entries.
  qvtest::WriteText(mountinfo, "27 1 8:2 / / rw - ext4 /dev/sda2 rw\n");
  EXPECT_EQ(FindRemovableDrives(list, mountinfo, sys), -1);
  EXPECT_EQ(list.size(), 5u);
  EXPECT_EQ(FindRemovableDrives(list, dir / "no-such-file", sys), -1);
}

// The top of a file system (MountRootOf): the trash and the Delete Folder
// are found there (trash_test, recording_files_test).
TEST(DiskSpace, ComesFromTheFileSystem) {
  qvtest::TempDir dir;
  DiskSpace space;
  ASSERT_TRUE(GetDiskSpace(dir.path(), space));
  EXPECT_GT(space.totalBytes, 0u);
  EXPECT_LE(space.availableBytes, space.totalBytes);
  EXPECT_EQ(GetDiskFreeBytes(dir / "missing"), 0u);
  EXPECT_GT(GetDiskFreeBytes(dir.path()), 0u);
}

}  // namespace
}  // namespace qv
