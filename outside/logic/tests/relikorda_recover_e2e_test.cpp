// relikorda-recover run as a user runs it, on the sample phone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/FileUtils.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

extern char** environ;

namespace {
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Result {
    int code = -1;
    std::string out, err;
};

class RelikordaRecoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* testdata = std::getenv("RK_TESTDATA");
        ASSERT_NE(testdata, nullptr);
        phone_ = std::string(testdata) + "/sample_phone";
        ASSERT_EQ(platform::GetEntryKind(phone_ + "/device.ini"), platform::EntryKind::File);
        char pattern[] = "/tmp/rk_recover_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        temp_ = pattern;
        before_ = Snapshot(phone_);
        ASSERT_GT(before_.size(), 10u);
    }
    void TearDown() override {
        // Whatever a run did or refused, the phone is as it was.
        EXPECT_EQ(Snapshot(phone_), before_);
        DeleteFolderTree(platform::Utf8ToWide(temp_));
    }

    Result Run(const std::vector<std::string>& args) {
        std::vector<std::string> all{RK_RECOVER_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        const std::string outFile = temp_ + "/stdout", errFile = temp_ + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        Result result;
        pid_t pid;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
            waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.code = WEXITSTATUS(status);
        posix_spawn_file_actions_destroy(&actions);
        result.out = ReadAll(outFile);
        result.err = ReadAll(errFile);
        platform::DeleteFile(outFile);
        platform::DeleteFile(errFile);
        return result;
    }

    // Every entry below a folder: kind, size, modification time and content.
    static std::map<std::string, std::string> Snapshot(const std::string& root, const std::string& below = "") {
        std::map<std::string, std::string> entries;
        std::vector<std::string> names;
        std::string folder = below.empty() ? root : root + "/" + below;
        if (!platform::ListDirectory(folder, names)) return entries;
        for (const std::string& name : names) {
            std::string relative = below.empty() ? name : below + "/" + name;
            std::string path = root + "/" + relative;
            struct stat info {};
            if (lstat(path.c_str(), &info) != 0) continue;
            std::ostringstream facts;
            facts << (info.st_mode & S_IFMT) << ' ' << info.st_size << ' ' << info.st_mtim.tv_sec << '.'
                  << info.st_mtim.tv_nsec;
            if (S_ISREG(info.st_mode)) facts << ' ' << std::hash<std::string>()(ReadAll(path));
            entries[relative] = facts.str();
            if (S_ISDIR(info.st_mode)) {
                std::map<std::string, std::string> inner = Snapshot(root, relative);
                entries.insert(inner.begin(), inner.end());
            }
        }
        return entries;
    }

    std::string phone_, temp_;
    std::map<std::string, std::string> before_;
};

bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }
}  // namespace


// The run folder a run named on its first line ("output DIR").
std::string RunFolder(const Result& run) {
    if (run.out.compare(0, 7, "output ") != 0) return std::string();
    return run.out.substr(7, run.out.find('\n') - 7);
}

// Every regular file below root by its path relative to it.
std::vector<std::string> FilesBelow(const std::string& root, const std::string& below = "") {
    std::vector<std::string> names, found;
    platform::ListDirectory(below.empty() ? root : root + "/" + below, names);
    for (const std::string& name : names) {
        std::string relative = below.empty() ? name : below + "/" + name;
        platform::EntryKind kind = platform::GetEntryKind(root + "/" + relative);
        if (kind == platform::EntryKind::Directory) {
            std::vector<std::string> inner = FilesBelow(root, relative);
            found.insert(found.end(), inner.begin(), inner.end());
        } else if (kind == platform::EntryKind::File) {
            found.push_back(relative);
        }
    }
    return found;
}

// The text of every conversation rendering of a run.
std::string AllConversations(const std::string& runFolder) {
    std::string all;
    for (const std::string& name : FilesBelow(runFolder + "/sms"))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) all += ReadAll(runFolder + "/sms/" + name);
    return all;
}

TEST_F(RelikordaRecoverTest, ListsWhatTheSamplePhoneHolds) {
    const std::string out = temp_ + "/recovered";
    Result run = Run({"--device", phone_, "--out", out});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(Contains(run.out, "(Android 4.4)\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "database /data/data/com.android.providers.contacts/databases/contacts2.db ("));
    EXPECT_TRUE(Contains(run.out, "database /data/data/com.android.providers.contacts/databases/contacts2.db-wal ("));
    EXPECT_TRUE(Contains(run.out, "database /data/data/com.android.providers.telephony/databases/mmssms.db ("));
    EXPECT_FALSE(Contains(run.out, "mmssms.db-wal"));  // kept in a rollback journal, as Android does
    EXPECT_TRUE(Contains(run.out, "mms parts /data/data/com.android.providers.telephony/app_parts: 5 files"));
    EXPECT_TRUE(Contains(run.out, "/storage/sdcard.img +0: 4096 sectors of 512 bytes\n")) << run.out;
    // Not on a terminal: a line per tenth of each phase, and its end.
    EXPECT_TRUE(Contains(run.out, "\ncontacts: 50%\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "\ncontacts: done\n"));
    EXPECT_TRUE(Contains(run.out, "\nmedia scan of 4096 sectors: done\n"));
    EXPECT_FALSE(Contains(run.out, "\r"));
}

TEST_F(RelikordaRecoverTest, ASecondRunNeverTouchesTheFirst) {
    const std::string out = temp_ + "/recovered";
    Result first = Run({"--device", phone_, "--out", out});
    ASSERT_EQ(first.code, 0) << first.err;
    const std::string firstFolder = RunFolder(first);
    ASSERT_EQ(platform::ParentFolder(firstFolder), out);
    // Named by the run's start: YYYY-MM-DD-hh-mm-ss (with a suffix for a second run that second).
    const std::string name = firstFolder.substr(out.size() + 1);
    ASSERT_GE(name.size(), 19u);
    EXPECT_EQ(name[4], '-');
    EXPECT_EQ(name[10], '-');
    EXPECT_EQ(name[16], '-');
    std::map<std::string, std::string> before = Snapshot(firstFolder);
    ASSERT_GT(before.size(), 20u);

    Result second = Run({"--device=" + phone_, "--out=" + out});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_NE(RunFolder(second), firstFolder);
    EXPECT_EQ(Snapshot(firstFolder), before);
    EXPECT_EQ(FilesBelow(RunFolder(second)), FilesBelow(firstFolder));

    // Two runs over one phone give the same files with the same bytes (contacts numbered alike),
    // also when what the runs hold in memory differs (here the length of the output's path).
    Result third = Run({"--device", phone_, "--out", temp_ + "/another/output/of/another/length"});
    ASSERT_EQ(third.code, 0) << third.err;
    const std::vector<std::string> names = FilesBelow(firstFolder);
    ASSERT_EQ(FilesBelow(RunFolder(third)), names);
    for (const std::string& file : names)
        EXPECT_TRUE(ReadAll(firstFolder + "/" + file) == ReadAll(RunFolder(third) + "/" + file)) << file;
}

TEST_F(RelikordaRecoverTest, EachFileOfTheCardIsWrittenOnce) {
    Result run = Run({"--device", phone_, "--out", temp_ + "/o"});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string files = RunFolder(run) + "/files";
    std::map<std::string, std::string> byContent;
    for (const std::string& name : FilesBelow(files)) {
        std::string bytes = ReadAll(files + "/" + name);
        auto known = byContent.emplace(bytes, name);
        EXPECT_TRUE(known.second) << name << " repeats " << known.first->second;
    }
    // Every picture the card holds (two live, one deleted), under the file system's names.
    EXPECT_EQ(byContent.size(), 3u);
    EXPECT_TRUE(Contains(run.out, "media: 3 files found (pictures 3, videos 0, audio 0, documents 0; 1 deleted)\n"))
        << run.out;
    EXPECT_EQ(platform::GetEntryKind(files + "/DCIM/Camera/IMG_0001.jpg"), platform::EntryKind::File);
}

TEST_F(RelikordaRecoverTest, ConversationsAreKeyedByTheirPartnersAndTagged) {
    Result run = Run({"--device", phone_, "--out", temp_ + "/o"});
    ASSERT_EQ(run.code, 0) << run.err;
    std::string all = AllConversations(RunFolder(run));
    // An e-mail sender and a sender's name are the partners' addresses, not made-up ones.
    EXPECT_TRUE(Contains(all, "Conversation with info@bank.example: 1 messages")) << all;
    EXPECT_TRUE(Contains(all, "2023-03-09 09:00:00 UTC  SMS from info@bank.example\n  Your statement is ready\n"));
    EXPECT_TRUE(Contains(all, "Conversation with AcmeTel: 1 messages"));
    EXPECT_TRUE(Contains(all, "SMS from AcmeTel\n  Your data plan renews tomorrow\n"));
    // Each kind of message by what it is.
    EXPECT_TRUE(Contains(all, "SMS to Alice Anders (+16505550101)  [failed]\n  Sorry, running late\n"));
    EXPECT_TRUE(Contains(all, "  [draft]\n  Bring snacks\n"));
    EXPECT_TRUE(Contains(all, "  [queued]\n  Thanks Dave\n"));
    EXPECT_TRUE(Contains(all, "  [outbox]\n  On my way\n"));
    EXPECT_TRUE(Contains(all, "2023-03-01 09:05:00 UTC  SMS to Alice Anders (+16505550101)\n  Yes, 12:30"));
    // Texts only the word index kept have no date and no direction.
    EXPECT_TRUE(Contains(all, "date unknown  SMS with UnknownAdress")) << all;
    EXPECT_TRUE(Contains(all, ", direction unknown, from the word index  [deleted]\n")) << all;
    EXPECT_FALSE(Contains(all, "1970-01-01"));
}

TEST_F(RelikordaRecoverTest, SingleImageIsADeviceWithOneVolumeAndNoDatabases) {
    Result run = Run({"--device", phone_ + "/storage/sdcard.img", "--out", temp_ + "/o"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_FALSE(Contains(run.out, "database "));
    EXPECT_TRUE(Contains(run.out, "volume 0 "));
}

TEST_F(RelikordaRecoverTest, NothingToReadIsADeviceThatCannotBeOpened) {
    ASSERT_TRUE(platform::CreateDirectory(temp_ + "/empty"));
    std::ofstream(temp_ + "/notes.txt") << "not a phone\n";
    for (const std::string& device : {temp_ + "/empty", temp_ + "/notes.txt"}) {
        Result run = Run({"--device", device, "--out", temp_ + "/o"});
        EXPECT_EQ(run.code, 3) << device << run.out;
        EXPECT_TRUE(Contains(run.err, "no database and no storage volume that can be read")) << run.err;
        EXPECT_EQ(platform::GetEntryKind(temp_ + "/o"), platform::EntryKind::Missing);
    }
}

TEST_F(RelikordaRecoverTest, BadArgumentsGiveUsageAndCode2) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--device", phone_}, {"--out", temp_ + "/o"}, {"--device", phone_, "--out"},
             {"--device", phone_, "--out", temp_ + "/o", "--verbose"}, {"--device", phone_, "--device", phone_}}) {
        Result run = Run(args);
        EXPECT_EQ(run.code, 2) << args.size();
        EXPECT_TRUE(Contains(run.err, "usage: relikorda-recover --device DIR|IMAGE --out DIR")) << run.err;
        EXPECT_EQ(run.out, "");
    }
    Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(Contains(help.out, "exit codes:"));
    EXPECT_EQ(platform::GetEntryKind(temp_ + "/o"), platform::EntryKind::Missing);
}

TEST_F(RelikordaRecoverTest, MissingDeviceGivesCode3AndMakesNoFolder) {
    Result run = Run({"--device", temp_ + "/no-such-phone", "--out", temp_ + "/o"});
    EXPECT_EQ(run.code, 3);
    EXPECT_TRUE(Contains(run.err, "relikorda-recover: the device " + temp_ + "/no-such-phone does not exist"));
    EXPECT_EQ(platform::GetEntryKind(temp_ + "/o"), platform::EntryKind::Missing);
}

TEST_F(RelikordaRecoverTest, OutputFolderThatCannotBeMadeGivesCode4) {
    std::ofstream(temp_ + "/plain-file") << "x";
    Result run = Run({"--device", phone_, "--out", temp_ + "/plain-file/sub"});
    EXPECT_EQ(run.code, 4);
    EXPECT_TRUE(Contains(run.err, "cannot make the output folder")) << run.err;
    EXPECT_EQ(Run({"--device", phone_, "--out", temp_ + "/plain-file"}).code, 4);
}

TEST_F(RelikordaRecoverTest, OutputInsideTheDeviceIsRefused) {
    ASSERT_EQ(symlink((phone_ + "/fs").c_str(), (temp_ + "/into-phone").c_str()), 0);
    for (const std::string& out : {phone_, phone_ + "/recovered", phone_ + "/fs/../storage/x",
                                   temp_ + "/into-phone/new", temp_ + "/into-phone"}) {
        Result run = Run({"--device", phone_, "--out", out});
        EXPECT_EQ(run.code, 2) << out;
        EXPECT_TRUE(Contains(run.err, "lies inside the device")) << run.err;
    }
    // An output folder beside the phone whose name merely begins like it is fine.
    EXPECT_EQ(Run({"--device", phone_, "--out", temp_ + "/x" + "/sample_phone_copy"}).code, 0);
}

// A bind mount of a folder inside the phone is the phone too: nothing is written through it.
TEST_F(RelikordaRecoverTest, OutputThroughABindMountOfAFolderInsideTheDeviceIsRefused) {
    const std::string mount = temp_ + "/mnt";
    ASSERT_TRUE(platform::CreateDirectory(mount));
    if (std::system(("mount --bind '" + phone_ + "/fs/data' '" + mount + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "bind mounts are not allowed here";
    for (const std::string& out : {mount + "/o", mount, mount + "/data/new/deeper"}) {
        Result run = Run({"--device", phone_, "--out", out});
        EXPECT_EQ(run.code, 2) << out;
        EXPECT_TRUE(Contains(run.err, "lies inside the device")) << run.err;
    }
    // Detached even when busy: the work folder is deleted afterwards, and through the mount that
    // would delete the phone.
    EXPECT_EQ(std::system(("umount '" + mount + "' || umount -l '" + mount + "'").c_str()), 0);
}

// The hostile bytes: a contacts database that is no database. The contacts job fails; the others
// run all the same, and the exit code says which failed.
TEST_F(RelikordaRecoverTest, OneFailingJobCostsOnlyItself) {
    const std::string copy = temp_ + "/phone";
    ASSERT_EQ(std::system(("cp -r '" + phone_ + "' '" + copy + "'").c_str()), 0);
    const std::string db = copy + "/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
    platform::DeleteFile(db + "-wal");
    std::ofstream(db, std::ios::trunc) << "HOSTILE: not an SQLite database";
    Result run = Run({"--device", copy, "--out", temp_ + "/o"});
    EXPECT_EQ(run.code, 8 + 1) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, "relikorda-recover: failed: contacts\n")) << run.err;
    EXPECT_TRUE(Contains(run.out, "sms: 11 conversations")) << run.out;
    EXPECT_TRUE(Contains(run.out, "media: 3 written under ")) << run.out;
}

// The log is not written through a link someone left where it goes.
TEST_F(RelikordaRecoverTest, ALinkWhereTheLogGoesIsNotFollowed) {
    ASSERT_EQ(symlink((temp_ + "/elsewhere").c_str(), (temp_ + "/log").c_str()), 0);
    setenv("RELIKORDA_LOG", (temp_ + "/log").c_str(), 1);
    Result run = Run({"--device", phone_, "--out", temp_ + "/o"});
    unsetenv("RELIKORDA_LOG");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(platform::GetEntryKind(temp_ + "/elsewhere"), platform::EntryKind::Missing);
    EXPECT_TRUE(Contains(run.err, "log: cannot write " + temp_ + "/log: it is a link, and links are not followed; logging to standard error\n"))
        << run.err;
}

// A full disk: every file that did not fit is named with the system's reason and counted, and
// no partial file stays.
TEST_F(RelikordaRecoverTest, FilesThatDoNotFitAreNamedAndRemoved) {
    const std::string small = temp_ + "/small";
    ASSERT_TRUE(platform::CreateDirectory(small));
    if (std::system(("mount -t tmpfs -o size=96k tmpfs '" + small + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    Result run = Run({"--device", phone_, "--out", small});
    const std::string folder = RunFolder(run);
    std::map<std::string, std::string> expected;
    std::vector<std::string> written = FilesBelow(folder + "/files");
    std::string storage = ReadAll(phone_ + "/expected/storage.tsv");
    std::system(("cp -r '" + small + "' '" + temp_ + "/kept' && umount '" + small + "'").c_str());
    EXPECT_GE(run.code, 9) << run.out;
    EXPECT_TRUE(Contains(run.err, " was not written: No space left on device\n")) << run.err;
    EXPECT_FALSE(Contains(run.out, ", 0 failed")) << run.out;
    // What was written is whole: each media file has the size the card gives it, each document
    // its last line.
    const std::string kept = temp_ + "/kept/" + folder.substr(small.size() + 1);
    for (const std::string& name : written) {
        long long size = platform::FileSize(kept + "/files/" + name);
        EXPECT_TRUE(Contains(storage, "\t" + std::to_string(size) + "\t")) << name << " " << size;
    }
    for (const std::string& name : FilesBelow(kept)) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".xml") != 0) continue;
        std::string text = ReadAll(kept + "/" + name);
        EXPECT_EQ(text.compare(text.size() - 2, 2, ">\n"), 0) << name;
    }
}

namespace {
// A regular file of a card as The Sleuth Kit lists it (CARD.files of the fixture).
struct CardFile {
    std::string inode, path;
    bool deleted = false, overwritten = false;
    // Of a category the run leaves out (the cards' .DAT files): never written.
    bool Unlisted() const { return path.size() > 4 && path.compare(path.size() - 4, 4, ".DAT") == 0; }
};

std::vector<CardFile> CardFiles(const std::string& listing) {
    std::vector<CardFile> files;
    std::istringstream lines(ReadAll(listing));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '|');) fields.push_back(field);
        if (fields.size() != 6) continue;
        files.push_back({fields[0], fields[4], fields[1] == "1", fields[5] == "1"});
    }
    return files;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string CardsFolder() {
    const char* testdata = std::getenv("RK_TESTDATA");
    return std::string(testdata ? testdata : "") + "/reused_cluster_cards";
}
}  // namespace

// New files took the clusters of deleted ones, in other folders: on the held cards a file of a
// category the run leaves out and a folder (FAT12/16/32, exFAT, 512- and 4096-byte sectors), and
// the exFAT ones have sets with impossible times among their pictures. Every live file The Sleuth
// Kit lists is written with icat's bytes (in its folders on FAT), and only once; a deleted entry
// whose clusters now meet a live file's or folder's is counted overwritten and not written as if
// it held its own data; one whose clusters stayed its own is written with them.
TEST_F(RelikordaRecoverTest, LiveFilesKeepTheClustersDeletedEntriesStillPointAt) {
    const std::string cards = CardsFolder();
    if (platform::EntryExists(cards + "/SKIPPED")) GTEST_SKIP() << ReadAll(cards + "/SKIPPED");
    for (const std::string card : {"fat16", "fat32", "exfat", "heldfat12", "heldfat16.4k", "heldfat32", "heldexfat",
                                   "heldexfat.4k"}) {
        Result run = Run({"--device", cards + "/" + card + ".img", "--out", temp_ + "/" + card});
        ASSERT_EQ(run.code, 0) << card << run.err;
        EXPECT_EQ(run.err, "") << card;
        const std::string files = RunFolder(run) + "/files";
        std::map<std::string, std::string> written;  // by path below files/
        for (const std::string& name : FilesBelow(files)) written[name] = ReadAll(files + "/" + name);
        size_t expected = 0, overwritten = 0;
        for (const CardFile& file : CardFiles(cards + "/" + card + ".files")) {
            const std::string bytes = ReadAll(cards + "/" + card + ".icat/" + file.inode);
            if (file.overwritten) {
                ++overwritten;
                // Not written under its name (a deleted FAT entry has lost its first letter).
                for (const auto& entry : written)
                    EXPECT_NE(BaseName(entry.first).substr(1), BaseName(file.path).substr(1)) << card << " " << file.path;
                continue;
            }
            if (file.Unlisted()) {
                EXPECT_EQ(written.count(file.path), 0u) << card << " " << file.path;
                continue;
            }
            ++expected;
            if (!file.deleted) {
                EXPECT_TRUE(written.count(file.path) && written[file.path] == bytes) << card << " " << file.path;
                continue;
            }
            bool found = false;
            for (const auto& entry : written)
                found |= BaseName(entry.first).substr(1) == BaseName(file.path).substr(1) && entry.second == bytes;
            EXPECT_TRUE(found) << card << " " << file.path;
        }
        EXPECT_EQ(overwritten, 2u) << card;
        EXPECT_EQ(written.size(), expected) << card << run.out;
        EXPECT_TRUE(Contains(run.out, "media: " + std::to_string(overwritten) + " deleted entries overwritten: "))
            << card << run.out;
    }
}

// Cards cut short (inside a FAT16 card's last file; inside an exFAT card's heap, files lying past
// the end, or right after its folders, every file's data past the end), an exFAT card without its
// boot regions (its FAT placed among the FAT starts the scan met), and one with an older FAT copy
// in front of the one in use, which the files' chains fit alike (so neither is trusted, and chained
// files keep their first cluster), also with its allocation bitmap zeroed, and FAT cards whose live
// chain has a free, bad or far link: what could be read is written in its folder, each file written
// short is named with the reason and counted (one of which no byte could be read is not left, and named
// as not written), and the exit status says the media job fell short. A
// deleted entry whose clusters a live file took is counted overwritten and never written, also
// where the live file's chain cannot be followed (by the allocation bitmap, or without it by the
// clusters after the live file's first).
TEST_F(RelikordaRecoverTest, FilesTheDeviceHoldsOnlyInPartAreNamedAndCounted) {
    const std::string cards = CardsFolder();
    if (platform::EntryExists(cards + "/SKIPPED")) GTEST_SKIP() << ReadAll(cards + "/SKIPPED");
    struct Case {
        const char* card;
        std::vector<std::string> shortFiles;  // that must be named, with the start of their reason
    } cases[] = {
        {"fat16_cut", {"DCIM/Camera/big.jpg is short: the file system recorded it larger"}},
        {"exfat_noboot", {}},
        {"exfat_cut",
         {"DCIM/photo2.jpg is short: only 8192 of its 27443 bytes could be read: the rest lies past the end of the "
          "volume",
          "Music/frag1.mp3 was not written: none of its 40960 bytes could be read: it lies past the end",
          "Music/frag2.mp3 was not written: none of its 40960 bytes"}},
        {"exfat_cutdata",
         {"DCIM/Camera/photo1.jpg was not written: none of its 17744 bytes could be read: it lies past the end",
          "readme.txt was not written: none of its 700 bytes"}},
        {"exfat_stalefat",
         {"Music/frag1.mp3 is short: only 4096 of its 40960 bytes could be read: which clusters hold the rest is not "
          "known (its chain ends early, or no FAT of its volume could be trusted)",
          "Music/frag2.mp3 is short: only 4096 of its 40960 bytes could be read: which clusters"}},
        {"exfat_nobitmap", {"Music/frag1.mp3 is short: only 4096 of its 40960 bytes", "Music/frag2.mp3 is short: "}},
    };
    for (const Case& c : cases) {
        const std::string card = c.card, base = card.substr(0, card.find('_'));
        Result run = Run({"--device", cards + "/" + card + ".img", "--out", temp_ + "/" + card});
        const std::string files = RunFolder(run) + "/files";
        std::vector<std::string> written = FilesBelow(files);
        size_t named = 0, lost = 0, overwritten = 0;
        std::set<std::string> folders;
        for (const CardFile& file : CardFiles(cards + "/" + base + ".files")) {
            folders.insert(platform::ParentFolder(file.path));
            if (file.overwritten) {
                ++overwritten;
                // Neither whole nor short (a deleted FAT entry has lost its first letter).
                for (const std::string& name : written)
                    EXPECT_NE(BaseName(name).substr(1), BaseName(file.path).substr(1)) << card << " wrote " << name;
            }
            // A deleted FAT entry has lost its first letter: only exFAT's are found by their path.
            if (file.Unlisted() || file.overwritten || (file.deleted && base != "exfat")) continue;
            const std::string bytes = ReadAll(cards + "/" + base + ".icat/" + file.inode);
            const std::string path = files + "/" + file.path;
            // Of which no byte could be read: not left, not even empty or unfinished, and named.
            if (!bytes.empty() && !platform::EntryExists(path)) {
                EXPECT_FALSE(platform::EntryExists(path + ".part")) << card << " " << path;
                EXPECT_TRUE(Contains(run.err, "relikorda-recover: " + path + " was not written: none of its " +
                                                  std::to_string(bytes.size()) + " bytes could be read: "))
                    << card << run.err;
                ++lost;
                continue;
            }
            ASSERT_EQ(platform::GetEntryKind(path), platform::EntryKind::File) << card << " " << path;
            const std::string got = ReadAll(path);
            if (got == bytes) continue;
            // Short, never different: the bytes that could be read, and a line saying so.
            EXPECT_LT(got.size(), bytes.size()) << card << " " << path;
            EXPECT_EQ(bytes.compare(0, got.size(), got), 0) << card << " " << path;
            EXPECT_TRUE(Contains(run.err, "relikorda-recover: " + path + " is short: ")) << card << run.err;
            ++named;
        }
        if (Contains(card, "link")) {
            EXPECT_EQ(named, 1u) << card << run.err;
        }
        EXPECT_TRUE(Contains(run.out, "media: " + std::to_string(overwritten) + " deleted entries overwritten: "))
            << card << run.out;
        for (const std::string& line : c.shortFiles) EXPECT_TRUE(Contains(run.err, files + "/" + line)) << card << run.err;
        EXPECT_GE(named + lost, c.shortFiles.size()) << card;
        // On exFAT every file keeps its folders, also where its data is gone: none is written a second
        // time in a folder of its own (DIRn, made for entries whose folder is not known).
        if (base == "exfat") {
            for (const std::string& name : written)
                EXPECT_EQ(folders.count(platform::ParentFolder(name)), 1u) << card << " wrote " << name;
        }
        if (named + lost == 0) continue;
        if (named) {
            EXPECT_TRUE(Contains(run.out, "media: " + std::to_string(named) + " of them short: ")) << card << run.out;
        }
        if (lost) {
            EXPECT_TRUE(Contains(run.out, "media: " + std::to_string(lost) + " not written: the device holds none"))
                << card << run.out;
        }
        EXPECT_EQ(run.code, 8 + 4) << card;
        EXPECT_TRUE(Contains(run.err, "relikorda-recover: failed: media\n")) << card;
    }
}

// A run ended (SIGTERM) while it writes a 64 MiB file: no file is left under its own name unless
// it is whole; the one being written is left under its unfinished name, NAME.part.
TEST_F(RelikordaRecoverTest, ARunEndedWhileWritingLeavesNoPartialFileUnderItsName) {
    const std::string cards = CardsFolder();
    if (platform::EntryExists(cards + "/SKIPPED")) GTEST_SKIP() << ReadAll(cards + "/SKIPPED");
    const uint64_t whole = uint64_t{64} << 20;
    bool caught = false;
    // The end must land while the file is written: tried again when it landed before or after.
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const std::string out = temp_ + "/o" + std::to_string(attempt);
        std::vector<std::string> all{RK_RECOVER_PROGRAM, "--device", cards + "/big.img", "--out", out};
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // The moment a file appears under files/, whatever its name, the run is ended.
        std::string run;
        int status = 0;
        for (bool ended = false; !ended;) {
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            std::vector<std::string> names;
            if (run.empty() && platform::ListDirectory(out, names) && !names.empty()) run = out + "/" + names[0];
            if (!run.empty() && !FilesBelow(run + "/files").empty()) {
                kill(pid, SIGTERM);
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                ended = true;
            }
            usleep(200);
        }
        for (const std::string& name : FilesBelow(run + "/files")) {
            const bool unfinished = name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0;
            const long long size = platform::FileSize(run + "/files/" + name);
            if (unfinished) caught |= WIFSIGNALED(status) && size < static_cast<long long>(whole);
            else EXPECT_EQ(size, static_cast<long long>(whole)) << name << " is under its name, but not whole";
        }
    }
    EXPECT_TRUE(caught) << "no run was ended while it wrote the file";
}
