// relikorda-recover run as a user runs it, on the sample phone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
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

TEST_F(RelikordaRecoverTest, ListsWhatTheSamplePhoneHolds) {
    const std::string out = temp_ + "/recovered/run1";
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
    EXPECT_EQ(platform::GetEntryKind(out), platform::EntryKind::Directory);

    // A second run into the same folder is fine.
    EXPECT_EQ(Run({"--device=" + phone_, "--out=" + out}).code, 0);
}

TEST_F(RelikordaRecoverTest, SingleImageIsADeviceWithOneVolumeAndNoDatabases) {
    Result run = Run({"--device", phone_ + "/storage/sdcard.img", "--out", temp_ + "/o"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_FALSE(Contains(run.out, "database "));
    EXPECT_TRUE(Contains(run.out, "volume 0 "));
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
