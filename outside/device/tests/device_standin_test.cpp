#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <vector>

#include "outside/device/CDeviceFolder.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

class DeviceFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/rk_device_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        phone_ = dir_ + "/phone";
        ASSERT_TRUE(platform::CreateDirectories(phone_ + "/fs/data/db"));
        ASSERT_TRUE(platform::CreateDirectories(phone_ + "/storage"));
        std::ofstream(phone_ + "/fs/data/db/a.db") << "database";
        std::ofstream(dir_ + "/secret") << "outside";
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::wstring W(const std::string& s) { return platform::Utf8ToWide(s); }
    std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string dir_, phone_;
};

TEST_F(DeviceFolderTest, PullsFilesByDevicePathAndNothingOutside) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    std::string local = dir_ + "/copy";
    EXPECT_TRUE(Succeeded(device.PullFile(L"/data/db/a.db", W(local).c_str())));
    EXPECT_EQ(Read(local), "database");
    EXPECT_EQ(device.FetchFile(L"//data/./db/a.db", W(dir_ + "/copy2").c_str()), 1);
    EXPECT_TRUE(Failed(device.PullFile(L"/data/db/missing.db", W(local).c_str())));
    EXPECT_TRUE(Failed(device.PullFile(L"/../secret", W(local).c_str())));
    EXPECT_TRUE(Failed(device.PullFile(L"/data/../../secret", W(local).c_str())));
    EXPECT_TRUE(Failed(device.PullFile(L"data/db/a.db", W(local).c_str())));  // not absolute
    ASSERT_EQ(symlink((dir_ + "/secret").c_str(), (phone_ + "/fs/data/leak").c_str()), 0);
    EXPECT_TRUE(Failed(device.PullFile(L"/data/leak", W(local).c_str())));
    EXPECT_EQ(device.FetchFile(L"/data", W(local).c_str()), 0);  // a folder is no file
}

TEST_F(DeviceFolderTest, VersionAndFailureSwitchesFromDeviceIni) {
    CDeviceFolder plain;
    ASSERT_TRUE(plain.Load(phone_));
    EXPECT_EQ(plain.GetVersion().major, 2);
    EXPECT_EQ(plain.GetVersion().minor, 3);
    std::ofstream(phone_ + "/device.ini") << "[device]\nversion=4.4\npull=fail\n";
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    EXPECT_EQ(device.GetVersion().major, 4);
    EXPECT_EQ(device.GetVersion().minor, 4);
    EXPECT_TRUE(Failed(device.PullFile(L"/data/db/a.db", W(dir_ + "/c").c_str())));
    EXPECT_EQ(device.FetchFile(L"/data/db/a.db", W(dir_ + "/c").c_str()), 1);

    // A major number alone has minor 0; what is no number keeps the default.
    const struct {
        const char* written;
        int major, minor;
    } versions[] = {{"9", 9, 0}, {"10.1", 10, 1}, {"12.", 12, 0}, {"soon", 2, 3}, {"", 2, 3}};
    for (const auto& v : versions) {
        std::ofstream(phone_ + "/device.ini") << "[device]\nversion=" << v.written << "\n";
        CDeviceFolder phone;
        ASSERT_TRUE(phone.Load(phone_));
        EXPECT_EQ(phone.GetVersion().major, v.major) << v.written;
        EXPECT_EQ(phone.GetVersion().minor, v.minor) << v.written;
    }
}

TEST_F(DeviceFolderTest, StoragesSortedWithSectorSizesAndCapacity) {
    ASSERT_EQ(Shell("truncate -s 1M " + phone_ + "/storage/b.img"), 0);
    ASSERT_EQ(Shell("truncate -s 2M " + phone_ + "/storage/a.4k.img"), 0);
    ASSERT_EQ(Shell("touch " + phone_ + "/storage/c.img"), 0);  // empty: cannot be opened
    std::ofstream(phone_ + "/storage/notes.txt") << "not a volume";
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    IStorageDevice* volumes[16];
    unsigned count = 16;
    ASSERT_TRUE(Succeeded(device.EnumStorages(volumes, &count)));
    ASSERT_EQ(count, 3u);
    ASSERT_EQ(volumes[0]->Open(), 1);
    EXPECT_EQ(volumes[0]->GetSectorSize(), 4096u);
    EXPECT_EQ(volumes[0]->GetSectorCount(), 512u);
    ASSERT_EQ(volumes[1]->Open(), 1);
    EXPECT_TRUE(volumes[1]->IsReady());
    EXPECT_EQ(volumes[1]->GetSectorSize(), 512u);
    EXPECT_EQ(volumes[1]->GetSectorCount(), 2048u);
    EXPECT_EQ(volumes[2]->Open(), 0);
    std::vector<char> buffer(1024);
    EXPECT_EQ(volumes[1]->ReadSectors(buffer.data(), 2046, 2), 1);
    EXPECT_EQ(volumes[1]->ReadSectors(buffer.data(), 2047, 2), 0);  // past the end
    EXPECT_EQ(volumes[1]->ReadSectors(buffer.data(), ~0ULL, 2), 0);
    count = 1;
    ASSERT_TRUE(Succeeded(device.EnumStorages(volumes, &count)));
    EXPECT_EQ(count, 1u);
}

TEST_F(DeviceFolderTest, PartitionTablesGiveOneVolumePerPartition) {
    std::string mbr = phone_ + "/storage/disk.img";
    ASSERT_EQ(Shell("truncate -s 64M " + mbr), 0);
    ASSERT_EQ(Shell("printf 'label: dos\\nstart=2048,size=20480,type=c\\nstart=24576,type=5\\n"
                  "start=26624,size=8192,type=83\\nstart=36864,size=4096,type=83\\n' | sfdisk " + mbr), 0);
    std::string gpt = phone_ + "/storage/gpt.img";
    ASSERT_EQ(Shell("truncate -s 16M " + gpt), 0);
    ASSERT_EQ(Shell("printf 'label: gpt\\nstart=2048,size=4096\\nstart=8192,size=8192\\n' | sfdisk " + gpt), 0);
    std::string fat = phone_ + "/storage/sd.img";  // a volume without a table
    ASSERT_EQ(Shell("truncate -s 8M " + fat + " && mkfs.vfat " + fat), 0);
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    ASSERT_EQ(device.StorageCount(), 6u);
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    for (size_t i = 0; i < device.StorageCount(); ++i) {
        ASSERT_EQ(device.Storage(i)->Open(), 1);
        seen.emplace_back(device.Storage(i)->Offset() / 512, device.Storage(i)->GetSectorCount());
    }
    // disk.img: primary, then the logical partitions of the extended one
    EXPECT_EQ(seen[0], std::make_pair(uint64_t(2048), uint64_t(20480)));
    EXPECT_EQ(seen[1], std::make_pair(uint64_t(26624), uint64_t(8192)));
    EXPECT_EQ(seen[2], std::make_pair(uint64_t(36864), uint64_t(4096)));
    EXPECT_EQ(seen[3], std::make_pair(uint64_t(2048), uint64_t(4096)));
    EXPECT_EQ(seen[4], std::make_pair(uint64_t(8192), uint64_t(8192)));
    EXPECT_EQ(seen[5], std::make_pair(uint64_t(0), uint64_t(16384)));
}

// Dumps that stopped early keep their tables: a partition the image ends inside (a primary, a
// logical or a GPT one) is read as far as the image goes, one it ends before is left out, and both
// are said.
TEST_F(DeviceFolderTest, ACutImageKeepsItsPartitionTable) {
    const std::string mbr = phone_ + "/storage/a.img", logical = phone_ + "/storage/b.img",
                      gpt = phone_ + "/storage/c.img";
    ASSERT_EQ(Shell("truncate -s 64M " + mbr + " && printf 'label: dos\\nstart=2048,size=20480,type=c\\n"
                    "start=40960,size=4096,type=83\\n' | sfdisk " + mbr + " && truncate -s 8M " + mbr), 0);
    ASSERT_EQ(Shell("truncate -s 64M " + logical + " && printf 'label: dos\\nstart=2048,size=20480,type=c\\n"
                    "start=24576,type=5\\nstart=26624,size=8192,type=83\\n' | sfdisk " + logical +
                    " && truncate -s 16M " + logical), 0);
    ASSERT_EQ(Shell("truncate -s 16M " + gpt + " && printf 'label: gpt\\nstart=2048,size=4096\\n"
                    "start=8192,size=8192\\n' | sfdisk " + gpt + " && truncate -s 6M " + gpt), 0);
    CDeviceFolder device;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(device.Load(phone_));
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(device.StorageCount(), 5u);
    const std::pair<uint64_t, uint64_t> expected[] = {{2048, 14336}, {2048, 20480}, {26624, 6144},
                                                      {2048, 4096}, {8192, 4096}};
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(device.Storage(i)->Open(), 1) << i;
        EXPECT_EQ(std::make_pair(device.Storage(i)->Offset() / 512, device.Storage(i)->GetSectorCount()), expected[i])
            << i;
    }
    EXPECT_EQ(said, "device: " + mbr + ": partition 1 runs past the end of the image: it holds 14336 of its 20480 "
                                       "sectors, read as far as it goes\n"
                    "device: " + mbr + ": partition 2 lies past the end of the image: none of its 4096 sectors is "
                                       "there\n"
                    "device: " + logical + ": partition 5 runs past the end of the image: it holds 6144 of its 8192 "
                                           "sectors, read as far as it goes\n"
                    "device: " + gpt + ": partition 2 runs past the end of the image: it holds 4096 of its 8192 "
                                       "sectors, read as far as it goes\n");
    EXPECT_EQ(device.LostPartitions(), 1u);  // what the media job fails on
}

// Hostile tables patched into ones sfdisk wrote: a GPT of 1024 entries that all repeat the first,
// an MBR whose extended partition chains 256 EBRs that all describe one logical partition; and a
// second name (a hard link) of an image. Each volume is read once, and what was left out is said.
TEST_F(DeviceFolderTest, EachVolumeIsReadOnce) {
    const std::string gpt = phone_ + "/storage/gpt.img", mbr = phone_ + "/storage/mbr.img";
    ASSERT_EQ(Shell("truncate -s 8M " + gpt + " && printf 'label: gpt\\ntable-length: 1024\\nstart=2048,size=4096\\n' | "
                    "sfdisk " + gpt), 0);
    ASSERT_EQ(Shell("truncate -s 8M " + mbr + " && printf 'label: dos\\nstart=2048,size=8192,type=5\\n"
                    "start=4096,size=2048,type=83\\n' | sfdisk " + mbr), 0);
    ASSERT_EQ(link(mbr.c_str(), (phone_ + "/storage/zz.img").c_str()), 0);
    {
        std::fstream disk(gpt, std::ios::in | std::ios::out | std::ios::binary);
        char entry[128];  // the entries begin at LBA 2
        disk.seekg(1024).read(entry, sizeof entry);
        for (int i = 1; i < 1024; ++i) disk.seekp(1024 + 128 * i).write(entry, sizeof entry);
        ASSERT_TRUE(disk.good());
    }
    {
        // EBR k (sector 2048 + k) describes the partition at 4096 and links to EBR k + 1.
        std::fstream disk(mbr, std::ios::in | std::ios::out | std::ios::binary);
        auto le32 = [](unsigned char* at, uint32_t value) {
            for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
        };
        for (uint32_t k = 0; k < 256; ++k) {
            unsigned char ebr[512] = {};
            ebr[446 + 4] = 0x83;
            le32(ebr + 446 + 8, 4096 - (2048 + k));
            le32(ebr + 446 + 12, 2048);
            if (k < 255) {
                ebr[462 + 4] = 0x05;
                le32(ebr + 462 + 8, k + 1);
                le32(ebr + 462 + 12, 1);
            }
            ebr[510] = 0x55;
            ebr[511] = 0xAA;
            disk.seekp((2048 + k) * 512).write(reinterpret_cast<char*>(ebr), sizeof ebr);
        }
        ASSERT_TRUE(disk.good());
    }
    CDeviceFolder device;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(device.Load(phone_));
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(device.StorageCount(), 2u);
    EXPECT_EQ(device.Storage(0)->Offset(), 2048u * 512);
    EXPECT_EQ(device.Storage(1)->Offset(), 4096u * 512);
    EXPECT_EQ(said, "device: " + gpt + ": 1023 partition entries repeat another's and are left out\n"
                    "device: " + mbr + ": 255 partition entries repeat another's and are left out\n"
                    "device: " + phone_ + "/storage/zz.img refused: the same image as " + mbr + "\n");
}

// Slots of a table sfdisk wrote, edited one at a time into slots no partition can be made of: each
// costs only itself, is said, and the other partitions are read.
TEST_F(DeviceFolderTest, AnUnusableSlotIsPassedOverAlone) {
    struct Case {
        const char* layout;  // sfdisk's input
        unsigned slot;       // the slot edited (1-4 in the MBR; 5 edits the second link of the chain)
        uint32_t start, count;
        std::vector<uint64_t> starts;  // the volumes read, by first sector
        const char* said;
        int type = -1;         // the slot's type byte set to this (-1: kept)
        bool volume = false;   // a FAT volume made at the slot's start first
    } cases[] = {
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=83\nstart=20480,size=2048,type=83\n", 3, 20480,
         0, {2048, 10240}, "partition 3 has type 0x83 but no sectors: passed over"},
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=83\n", 2, 10240, 0, {2048},
         "partition 2 has type 0x83 but no sectors: passed over"},
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=83\n", 1, 0, 8192, {10240},
         "partition 1 has type 0x0C but its start at sector 0, where the table itself lies: passed over"},
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=83\n", 2, 8192, 8192, {2048},
         "partition 2 (sectors 8192 to 16383) overlaps partition 1: passed over"},
        // The second link of the chain points back at the first.
        {"start=2048,size=4096,type=c\nstart=8192,size=16384,type=5\nstart=10240,size=2048,type=83\n"
         "start=14336,size=2048,type=83\n",
         5, 0, 0, {2048, 10240, 14336},
         "the chain of logical partitions loops back to a link read before (its link at sector 12288): logical "
         "partitions from 7 on are passed over"},
        // The type byte zeroed, the extent kept: a volume there is read, an empty one passed over.
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=c\n", 2, 10240, 8192, {2048, 10240},
         "partition 2 has type 0x00 but lists 8192 sectors from sector 10240, where a volume's boot sector lies: "
         "read as a partition",
         0, true},
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=83\n", 2, 10240, 8192, {2048},
         "partition 2 has type 0x00 but lists 8192 sectors from sector 10240, where no boot sector lies: passed over",
         0},
        // The sector count zeroed, the start kept: the volume there is read up to the next partition.
        {"start=2048,size=8192,type=c\nstart=10240,size=8192,type=c\nstart=20480,size=4096,type=83\n", 2, 10240, 0,
         {2048, 10240, 20480},
         "partition 2 has type 0x0C but no sectors; a volume's boot sector lies at its start, sector 10240: read as "
         "a partition up to sector 20480",
         -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        const std::string disk = phone_ + "/storage/disk.img";
        ASSERT_EQ(Shell("rm -f " + disk + " && truncate -s 16M " + disk + " && printf 'label: dos\n" + c.layout +
                        "' | sfdisk " + disk),
                  0);
        if (c.volume) {
            ASSERT_EQ(Shell("mkfs.vfat --offset=" + std::to_string(c.start) + " " + disk + " " +
                            std::to_string((c.count ? c.count : 8192) / 2) + " > /dev/null"),
                      0);
        }
        {
            std::fstream image(disk, std::ios::in | std::ios::out | std::ios::binary);
            auto le32 = [](char* at, uint32_t value) {
                for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(value >> (8 * i));
            };
            auto read32 = [&](uint64_t at) {
                unsigned char b[4];
                image.seekg(at).read(reinterpret_cast<char*>(b), 4);
                return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
            };
            char slot[16];
            if (c.slot == 5) {
                // The second link's next slot names the second link itself.
                const uint32_t ext = read32(446 + 16 + 8);
                const uint32_t second = ext + read32(uint64_t(ext) * 512 + 462 + 8);
                image.seekg(uint64_t(second) * 512 + 462).read(slot, 16);
                slot[4] = 0x05;
                le32(slot + 8, second - ext);
                le32(slot + 12, 1);
                image.seekp(uint64_t(second) * 512 + 462).write(slot, 16);
            } else {
                const uint64_t at = 446 + 16 * (c.slot - 1);
                image.seekg(at).read(slot, 16);
                le32(slot + 8, c.start);
                le32(slot + 12, c.count);
                if (c.type >= 0) slot[4] = static_cast<char>(c.type);
                image.seekp(at).write(slot, 16);
            }
            ASSERT_TRUE(image.good());
        }
        CDeviceFolder device;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(device.Load(phone_));
        const std::string said = testing::internal::GetCapturedStderr();
        std::vector<uint64_t> starts;
        for (size_t i = 0; i < device.StorageCount(); ++i) {
            ASSERT_EQ(device.Storage(i)->Open(), 1);
            starts.push_back(device.Storage(i)->Offset() / 512);
        }
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(said, "device: " + disk + ": " + c.said + "\n");
    }
}

TEST_F(DeviceFolderTest, SingleImageIsADeviceWithoutFiles) {
    std::string image = dir_ + "/card.img";
    ASSERT_EQ(Shell("truncate -s 4M " + image), 0);
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(image));
    EXPECT_EQ(device.StorageCount(), 1u);
    EXPECT_TRUE(Failed(device.PullFile(L"/data/db/a.db", W(dir_ + "/c").c_str())));
    CDeviceFolder none;
    EXPECT_FALSE(none.Load(dir_ + "/no-such-device"));
}

}  // namespace

TEST_F(DeviceFolderTest, LinksThatLeaveTheDeviceFolderAreRefusedWithTheirReason) {
    // Hostile links: a volume that is /etc/passwd, a volume outside, the files folder outside;
    // a link that stays inside the device is followed.
    std::ofstream(dir_ + "/outside.img") << std::string(4096, 'x');
    std::ofstream(phone_ + "/inside.bin") << std::string(4096, 'y');
    ASSERT_EQ(symlink("/etc/passwd", (phone_ + "/storage/passwd.img").c_str()), 0);
    ASSERT_EQ(symlink((dir_ + "/outside.img").c_str(), (phone_ + "/storage/outside.img").c_str()), 0);
    ASSERT_EQ(symlink("../inside.bin", (phone_ + "/storage/inside.img").c_str()), 0);
    ASSERT_EQ(symlink("missing", (phone_ + "/storage/dangling.img").c_str()), 0);
    ASSERT_TRUE(platform::CreateDirectory(phone_ + "/storage/folder.img"));
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    ASSERT_EQ(device.StorageCount(), 1u);
    EXPECT_EQ(device.Storage(0)->Path(), platform::RealPath(phone_ + "/inside.bin"));
    const std::vector<std::string> refused = device.Refusals();
    ASSERT_EQ(refused.size(), 4u);
    EXPECT_EQ(refused[0], phone_ + "/storage/dangling.img: a link to nothing");
    EXPECT_EQ(refused[1], phone_ + "/storage/folder.img: not a plain file");
    EXPECT_EQ(refused[2], phone_ + "/storage/outside.img: it leads to " + platform::RealPath(dir_) +
                              "/outside.img, outside the device folder");
    EXPECT_EQ(refused[3], phone_ + "/storage/passwd.img: it leads to /etc/passwd, outside the device folder");

    // fs/ itself a link out of the device: no files are served from there.
    ASSERT_TRUE(platform::CreateDirectories(dir_ + "/elsewhere/data/db"));
    std::ofstream(dir_ + "/elsewhere/data/db/a.db") << "not the phone's";
    std::system(("rm -rf " + phone_ + "/fs").c_str());
    ASSERT_EQ(symlink((dir_ + "/elsewhere").c_str(), (phone_ + "/fs").c_str()), 0);
    CDeviceFolder linked;
    ASSERT_TRUE(linked.Load(phone_));
    EXPECT_TRUE(Failed(linked.PullFile(L"/data/db/a.db", W(dir_ + "/copy").c_str())));
    ASSERT_FALSE(linked.Refusals().empty());
    EXPECT_EQ(linked.Refusals()[0].rfind(phone_ + "/fs: it leads to ", 0), 0u);
}
