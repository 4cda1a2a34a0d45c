// libVantrel.so driven as the GUI drives it, by a test receiver, over the sample phone.
#include <gtest/gtest.h>
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logic_contract/ILogicalController.h"
#include "logic_contract/RelikordaMsg.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/logic/vantrel/LogicMessages.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"
#include "sqlite_recovery/framework/FileUtils.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kScanTime = std::chrono::seconds(120);
constexpr auto kMessageTime = std::chrono::seconds(10);

// The GUI's notification centre as the logic sees it: records every id posted, in order.
class TestCentre : public INotifyCenter {
public:
    void Notify(unsigned id, const void*, unsigned) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ids_.push_back(id);
        posted_.notify_all();
    }
    void Unsubscribe(unsigned, CMsgReceiver*) override {}

    // The position of the first id posted at or after from; -1 when none came in time.
    long WaitFor(unsigned id, size_t from, Clock::duration wait = kMessageTime) {
        std::unique_lock<std::mutex> lock(mutex_);
        long found = -1;
        posted_.wait_until(lock, Clock::now() + wait, [&] {
            for (size_t i = from; i < ids_.size(); ++i)
                if (ids_[i] == id) return (found = static_cast<long>(i)) >= 0;
            return false;
        });
        return found;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ids_.size();
    }
    std::vector<unsigned> Ids() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ids_;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<unsigned> ids_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Sha256(const void* data, size_t size) {
    gchar* text = g_compute_checksum_for_data(G_CHECKSUM_SHA256, static_cast<const guchar*>(data), size);
    std::string hash = text;
    g_free(text);
    return hash;
}

// Every regular file below root, by its path relative to it, with its content.
void FilesBelow(const std::string& root, const std::string& below, std::map<std::string, std::string>* files) {
    std::vector<std::string> names;
    platform::ListDirectory(below.empty() ? root : root + "/" + below, names);
    for (const std::string& name : names) {
        std::string relative = below.empty() ? name : below + "/" + name;
        platform::EntryKind kind = platform::GetEntryKind(root + "/" + relative);
        if (kind == platform::EntryKind::Directory) FilesBelow(root, relative, files);
        else (*files)[relative] = kind == platform::EntryKind::File ? ReadAll(root + "/" + relative) : "(not a file)";
    }
}

// Takes the contacts' files out of files: each document, and each card of contacts.vcf, by content.
std::multiset<std::string> ContactsApart(std::map<std::string, std::string>* files) {
    std::multiset<std::string> contacts;
    for (auto it = files->begin(); it != files->end();) {
        if (it->first.compare(0, 9, "contacts/") != 0 && it->first != "contacts.vcf") {
            ++it;
            continue;
        }
        if (it->first == "contacts.vcf") {
            const std::string& cards = it->second;
            for (size_t at = 0; at < cards.size();) {
                size_t next = cards.find("BEGIN:VCARD", at + 1);
                if (next == std::string::npos) next = cards.size();
                contacts.insert(cards.substr(at, next - at));
                at = next;
            }
        } else {
            contacts.insert(it->second);
        }
        it = files->erase(it);
    }
    return contacts;
}

class VantrelTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* testdata = std::getenv("RK_TESTDATA");
        ASSERT_NE(testdata, nullptr);
        phone_ = std::string(testdata) + "/sample_phone";
        char pattern[] = "/tmp/rk_vantrel_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        temp_ = pattern;
        // The phone under a name of its own, which the test can take away and give back.
        link_ = temp_ + "/Pixel & Co";
        ASSERT_EQ(symlink(phone_.c_str(), link_.c_str()), 0);
        setenv("RELIKORDA_DEVICE", link_.c_str(), 1);
        setenv("RELIKORDA_LOG", (temp_ + "/log").c_str(), 1);

        platform::LibraryHandle library = platform::LoadLibraryW(L"Vantrel");
        ASSERT_NE(library, nullptr);
        auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(library, "CreateObject"));
        ASSERT_NE(create, nullptr);
        ICommon* object = create();
        controller_ = dynamic_cast<ILogicalController*>(object);
        ASSERT_NE(controller_, nullptr);
        ASSERT_EQ(controller_->Init(&centre_), RK_OK);
    }
    void TearDown() override {
        if (controller_) controller_->Release();
        unsetenv("RELIKORDA_DEVICE");
        unsetenv("RELIKORDA_LOG");
        if (!std::getenv("RK_KEEP_TEMP")) DeleteFolderTree(platform::Utf8ToWide(temp_));
    }

    // The payload of a delivered id, fetched once as the GUI does; false when none is pending.
    bool Fetch(unsigned id, void* buf, unsigned size) {
        std::memset(buf, 0, size);
        unsigned len = size;
        return Succeeded(controller_->GetMsg(id, buf, &len));
    }
    std::string FetchText(unsigned id) {
        char16_t text[128];
        if (!Fetch(id, text, sizeof text)) return "(none)";
        text[127] = 0;
        return platform::Utf16ToUtf8(std::u16string(text));
    }

    // Follows the progress records of id from the posting at position from until a finished one;
    // every finished record met is counted (there must be one).
    PROGRESS_INFO FollowToEnd(unsigned id, size_t* from, int* finished, std::vector<std::string>* names = nullptr) {
        PROGRESS_INFO record{};
        Clock::time_point end = Clock::now() + kScanTime;
        while (Clock::now() < end) {
            long at = centre_.WaitFor(id, *from, end - Clock::now());
            if (at < 0) break;
            *from = static_cast<size_t>(at) + 1;
            PROGRESS_INFO got;
            if (!Fetch(id, &got, sizeof got)) continue;  // a later posting replaced it, and was fetched
            if (names && got.text[0]) names->push_back(got.text);
            if (got.state != PROGRESS_STATE_FINISHED) continue;
            ++*finished;
            record = got;
            break;
        }
        return record;
    }

    // Connects and scans the phone to its end.
    void Scan() {
        size_t from = centre_.Count();
        ASSERT_EQ(controller_->StartScan(), RK_OK);
        int finished = 0;
        PROGRESS_INFO last = FollowToEnd(MSG_SCAN_PROGRESS, &from, &finished);
        ASSERT_EQ(finished, 1);
        EXPECT_EQ(ResultCode{last.result}, RK_OK);  // packed: read by value
        const std::vector<unsigned> ids = centre_.Ids();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), unsigned{MSG_SCAN_UNREAD}), 0);  // both databases read
    }

    ResultCode Recover(const std::string& folder, int category, std::vector<std::string>* names = nullptr) {
        size_t from = centre_.Count();
        controller_->GetRecoveryObject()->Start((folder + "/").c_str(), nullptr, category);
        int finished = 0;
        PROGRESS_INFO last = FollowToEnd(MSG_RECOVERY_PROGRESS, &from, &finished, names);
        EXPECT_EQ(finished, 1);
        return finished ? last.result : RK_FAIL(RK_E_FAIL);
    }

    template <class Record>
    static size_t TickAll(IDataContainer<Record>* container) {
        if (!container) return 0;
        autolocker<IDataContainer<Record>*> lock(container);
        size_t count = 0;
        for (auto it = container->Begin(); it != container->End(); ++it, ++count) it->second.check = 1;
        return count;
    }

    std::string phone_, temp_, link_;
    TestCentre centre_;
    ILogicalController* controller_ = nullptr;
};

}  // namespace

TEST_F(VantrelTest, ConnectionMessagesFollowThePhone) {
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, 0), 0);
    EXPECT_EQ(FetchText(MSG_DEVICE_STATE), "Pixel & Co");
    // A page built anew hears of the phone again.
    size_t from = centre_.Count();
    EXPECT_EQ(controller_->EnterConnectStage(), RK_OK);
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, from), 0);
    EXPECT_EQ(FetchText(MSG_DEVICE_STATE), "Pixel & Co");

    from = centre_.Count();
    EXPECT_EQ(controller_->StartConnect(), RK_OK);
    long root = centre_.WaitFor(MSG_STEP3_ROOT, from), storage = centre_.WaitFor(MSG_STEP3_STORAGE, from);
    ASSERT_GE(root, 0);
    ASSERT_GT(storage, root);
    int64_t result = -1;
    ASSERT_TRUE(Fetch(MSG_STEP3_STORAGE, &result, sizeof result));
    EXPECT_EQ(result, 0);
    for (auto option : {std::make_pair(&ILogicalController::ChooseOption1, MSG_STEP3_OPTION1),
                        std::make_pair(&ILogicalController::ChooseOption2, MSG_STEP3_OPTION2)}) {
        from = centre_.Count();
        EXPECT_EQ((controller_->*option.first)(), RK_OK);
        ASSERT_GE(centre_.WaitFor(option.second, from), 0);
        result = -1;
        ASSERT_TRUE(Fetch(option.second, &result, sizeof result));
        EXPECT_EQ(result, 0);
    }

    // Taken away: off line; given back: the phone again.
    from = centre_.Count();
    ASSERT_EQ(unlink(link_.c_str()), 0);
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_OFFLINE, from), 0);
    from = centre_.Count();
    EXPECT_EQ(controller_->EnterConnectStage(), RK_OK);  // nothing to tell of an absent phone
    EXPECT_TRUE(Failed(controller_->StartConnect()));
    EXPECT_GE(centre_.WaitFor(MakeMsgId(1, 2, 26), from), 0);  // the connection failed
    ASSERT_EQ(symlink(phone_.c_str(), link_.c_str()), 0);
    long back = centre_.WaitFor(MSG_DEVICE_STATE, from);
    ASSERT_GE(back, 0);
    for (size_t i = from; i < static_cast<size_t>(back); ++i) EXPECT_NE(centre_.Ids()[i], MSG_DEVICE_STATE);
    EXPECT_EQ(FetchText(MSG_DEVICE_STATE), "Pixel & Co");
}

// The SMS/MMS library numbers its made-up partners on from the process's last scan, as the console
// does in a process of its own: this must be the first scan of its process (ctest runs each case
// alone).
TEST_F(VantrelTest, ScanThenRecoverEverythingAsTheConsoleDoes) {
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, 0), 0);
    ASSERT_EQ(controller_->StartConnect(), RK_OK);
    ASSERT_NO_FATAL_FAILURE(Scan());
    for (unsigned id : {MSG_SCAN_NEW_CONTACTS, MSG_SCAN_NEW_MESSAGES, MSG_SCAN_NEW_FILES})
        EXPECT_GE(centre_.WaitFor(id, 0), 0) << std::hex << id;
    EXPECT_GT(TickAll(controller_->GetContactContainer()), 0u);
    EXPECT_GT(TickAll(controller_->GetSmsContainer()), 0u);
    EXPECT_GT(TickAll(controller_->GetArchiveContainer()), 0u);

    const std::string gui = temp_ + "/gui";
    ASSERT_TRUE(platform::CreateDirectory(gui));
    std::vector<std::string> names;
    for (int category = 1; category <= 6; ++category) EXPECT_EQ(Recover(gui, category, &names), RK_OK) << category;
    EXPECT_FALSE(names.empty());

    // The console front over the same phone writes the same files (and its log).
    const std::string console = temp_ + "/console", output = temp_ + "/console.txt";
    std::string command = std::string("'") + RK_RECOVER_PROGRAM + "' --device '" + phone_ + "' --out '" + console +
                          "' > '" + output + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(output);
    std::string report = ReadAll(output);
    ASSERT_EQ(report.compare(0, 7, "output "), 0) << report;
    std::map<std::string, std::string> expected, written;
    FilesBelow(report.substr(7, report.find('\n') - 7), "", &expected);
    expected.erase("relikorda.log");
    FilesBelow(gui, "", &written);
    EXPECT_GT(expected.size(), 20u);
    // The contacts library numbers its contacts in the order of its rows' addresses, which differ
    // between processes: the contacts are the same, under numbers that may differ.
    std::multiset<std::string> contacts = ContactsApart(&expected);
    EXPECT_EQ(contacts.size(), 20u);  // the sample phone's ten contacts, each a document and a card
    EXPECT_EQ(ContactsApart(&written), contacts);
    EXPECT_EQ(written.size(), expected.size());
    for (const auto& file : expected) {
        auto found = written.find(file.first);
        ASSERT_NE(found, written.end()) << file.first;
        EXPECT_TRUE(found->second == file.second) << file.first;
    }
}

TEST_F(VantrelTest, ItemsReadAsTheCardHoldsThem) {
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, 0), 0);
    ASSERT_NO_FATAL_FAILURE(Scan());
    // The pictures the card holds, by content.
    std::set<std::string> expected;
    std::istringstream rows(ReadAll(phone_ + "/expected/storage.tsv"));
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row)) {
        std::vector<std::string> columns;
        std::istringstream fields(row);
        for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
        ASSERT_EQ(columns.size(), 5u) << row;
        expected.insert(columns[3]);
    }
    ASSERT_EQ(expected.size(), 3u);

    IDataContainer<_ARCHIVE_INFOMATION>* files = controller_->GetArchiveContainer();
    ASSERT_NE(files, nullptr);
    IRecoveryJob* job = controller_->GetRecoveryObject();
    std::set<std::string> read;
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
    for (auto it = files->Begin(); it != files->End(); ++it) {
        IItemReader* reader = job->OpenItem(&it->second);
        if (!reader) continue;
        std::vector<unsigned char> bytes(65536, 0);
        ASSERT_NE(reader->ReadSmall(bytes.data(), static_cast<unsigned>(bytes.size())), 0);
        EXPECT_EQ(reader->GetSize64(), reader->GetSize());
        std::string whole = Sha256(bytes.data(), reader->GetSize());
        read.insert(whole);
        // Read in pieces it is the same.
        std::vector<unsigned char> pieces(reader->GetSize());
        for (unsigned at = 0; at < pieces.size();) {
            unsigned got = reader->Read(at, pieces.data() + at, 1000);
            ASSERT_GT(got, 0u);
            at += got;
        }
        EXPECT_EQ(Sha256(pieces.data(), pieces.size()), whole);
        EXPECT_EQ(reader->ReadSmall(bytes.data(), reader->GetSize() - 1), 0);  // does not fit
        reader->Release();
    }
    for (const std::string& hash : expected) EXPECT_EQ(read.count(hash), 1u) << hash;
    // A record that is no record of this scan is not read.
    _ARCHIVE_INFOMATION stranger{};
    stranger.id = 0x7FFFFFFF;
    EXPECT_EQ(job->OpenItem(&stranger), nullptr);
    EXPECT_EQ(job->OpenItem(nullptr), nullptr);
}

TEST_F(VantrelTest, AStoppedScanEndsWithOneFinishedRecord) {
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, 0), 0);
    for (int round = 0; round < 2; ++round) {
        size_t from = centre_.Count();
        ASSERT_EQ(controller_->StartScan(), RK_OK);
        EXPECT_EQ(controller_->Stop(), RK_OK);
        int finished = 0;
        PROGRESS_INFO last = FollowToEnd(MSG_SCAN_PROGRESS, &from, &finished);
        ASSERT_EQ(finished, 1);
        EXPECT_EQ(ErrorNumber(last.result), RK_E_CANCELLED);
        // Nothing of the scan follows its end.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        size_t count = centre_.Count();
        PROGRESS_INFO more;
        EXPECT_FALSE(Fetch(MSG_SCAN_PROGRESS, &more, sizeof more));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (size_t i = count; i < centre_.Count(); ++i) EXPECT_NE(centre_.Ids()[i] >> 24, 2u) << std::hex << centre_.Ids()[i];
    }
    // Released at once, with a scan running: every thread is joined, and nothing is posted after.
    ASSERT_EQ(controller_->StartScan(), RK_OK);
    controller_->Release();
    controller_ = nullptr;
    size_t count = centre_.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(centre_.Count(), count);
}

TEST_F(VantrelTest, RecoveryWritesOnlyIntoAFolderOutsideThePhone) {
    ASSERT_GE(centre_.WaitFor(MSG_DEVICE_STATE, 0), 0);
    // Before any scan there is nothing to recover.
    EXPECT_EQ(ErrorNumber(Recover(temp_, 1)), LOGIC_E_NO_SCAN);
    ASSERT_NO_FATAL_FAILURE(Scan());
    TickAll(controller_->GetArchiveContainer());
    std::ofstream(temp_ + "/plain.txt") << "a file";
    for (const std::string& folder : {temp_ + "/missing", phone_ + "/storage", link_ + "/fs", temp_ + "/plain.txt"})
        EXPECT_EQ(ErrorNumber(Recover(folder, 3)), LOGIC_E_WRITE_FAILED) << folder;
    EXPECT_EQ(ErrorNumber(Recover(temp_, 7)), RK_E_INVALID_ARGUMENT);
    // A bind mount of a folder inside the phone is the phone too.
    ASSERT_TRUE(platform::CreateDirectory(temp_ + "/mnt"));
    if (std::system(("mount --bind '" + phone_ + "/fs/data' '" + temp_ + "/mnt' 2>/dev/null").c_str()) == 0) {
        EXPECT_EQ(ErrorNumber(Recover(temp_ + "/mnt/data", 3)), LOGIC_E_WRITE_FAILED);
        EXPECT_EQ(std::system(("umount '" + temp_ + "/mnt' || umount -l '" + temp_ + "/mnt'").c_str()), 0);
    } else {
        std::printf("bind mounts are not allowed here: a bind-mounted folder of the phone was not tried\n");
    }
    // Twice into one folder: the second run's files take free names beside the first's.
    ASSERT_TRUE(platform::CreateDirectory(temp_ + "/twice"));
    EXPECT_EQ(Recover(temp_ + "/twice", 3), RK_OK);
    EXPECT_EQ(Recover(temp_ + "/twice", 3), RK_OK);
    std::map<std::string, std::string> files;
    FilesBelow(temp_ + "/twice", "", &files);
    EXPECT_EQ(files.count("files/DCIM/Camera/IMG_0001_2.jpg"), 1u);
}

// Databases that cannot be read, or only in part, and storage read only in part: the scan says
// which, so that their categories do not just look empty or whole; one that was read is not named.
// Bytes that are no database cannot be read; one that lost its first page is read in part, by the
// layout of its tables; a disk image that ends before its second partition (sfdisk's table) lost
// that partition's files.
TEST_F(VantrelTest, WhatCannotBeReadIsTold) {
    const std::string contacts = "/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
    const std::string sms = "/fs/data/data/com.android.providers.telephony/databases/mmssms.db";
    const struct {
        const char* name;
        bool messagesCut, contactsRandom;
        const char* storage;  // made in the phone's folder
        uint32_t bits;
    } phones[] = {{"messages", true, false, nullptr, 1u << (kReadInPartShift + 2)},
                  {"both", true, true, nullptr, 1u << 1 | 1u << (kReadInPartShift + 2)},
                  {"partition", false, false,
                   "mkdir storage && truncate -s 16M storage/disk.img && printf 'label: dos\\nstart=2048,size=8192,"
                   "type=c\\nstart=20480,size=4096,type=83\\n' | sfdisk -q storage/disk.img && "
                   "truncate -s 8M storage/disk.img",
                   kStorageReadInPart}};
    for (const auto& p : phones) {
        SCOPED_TRACE(p.name);
        const std::string phone = temp_ + "/" + p.name;
        ASSERT_TRUE(platform::CreateDirectory(phone));
        ASSERT_TRUE(platform::CopyFile(phone_ + "/device.ini", phone + "/device.ini"));
        ASSERT_EQ(std::system(("cp -r '" + phone_ + "/fs' '" + phone + "/fs'").c_str()), 0);
        if (p.messagesCut) {
            // The messages' first page zeroed (its log gone, which would bring it back).
            platform::DeleteFile(phone + sms + "-wal");
            unsigned char header[18] = {};
            std::ifstream(phone + sms, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
            const unsigned pageSize = header[16] << 8 | header[17];
            ASSERT_GE(pageSize, 512u);
            ASSERT_EQ(std::system(("dd if=/dev/zero of='" + phone + sms + "' bs=" + std::to_string(pageSize) +
                                   " count=1 conv=notrunc status=none").c_str()),
                      0);
        }
        if (p.contactsRandom) {
            platform::DeleteFile(phone + contacts + "-wal");
            ASSERT_EQ(std::system(("head -c 20000 /dev/urandom > '" + phone + contacts + "'").c_str()), 0);
        }
        if (p.storage) {
            ASSERT_EQ(std::system(("cd '" + phone + "' && " + p.storage).c_str()), 0);
        }
        ASSERT_EQ(symlink(phone.c_str(), (temp_ + "/next").c_str()), 0);
        ASSERT_EQ(rename((temp_ + "/next").c_str(), link_.c_str()), 0);

        size_t from = centre_.Count();
        ASSERT_EQ(controller_->StartScan(), RK_OK);
        int finished = 0;
        const PROGRESS_INFO last = FollowToEnd(MSG_SCAN_PROGRESS, &from, &finished);
        ASSERT_EQ(finished, 1);
        // Read in part, the scan still ends as a scan that ran: what was found is shown.
        EXPECT_EQ(Succeeded(ResultCode{last.result}), !p.contactsRandom);
        uint32_t bits = 0;
        EXPECT_TRUE(Fetch(MSG_SCAN_UNREAD, &bits, sizeof bits));
        EXPECT_EQ(bits, p.bits);
    }
}

// A phone whose scan takes a while: the sample phone's card, a card with a few dozen files in
// file systems found anywhere on it, and a large blank volume scanned last.
TEST_F(VantrelTest, WhileTheScanRunsItsFilesOpenAndOneRecoveryRunsAtATime) {
    const std::string slow = temp_ + "/slow", card = std::string(std::getenv("RK_TESTDATA")) +
                                                         "/complete_search_images/device.img";
    ASSERT_TRUE(platform::CreateDirectories(slow + "/storage"));
    ASSERT_TRUE(platform::CopyFile(phone_ + "/device.ini", slow + "/device.ini"));
    // Hard links: the phone's volumes may not lead out of its folder.
    ASSERT_EQ(link((phone_ + "/storage/sdcard.img").c_str(), (slow + "/storage/a_sdcard.img").c_str()), 0);
    ASSERT_EQ(link(card.c_str(), (slow + "/storage/b_card.img").c_str()), 0);
    std::ofstream(slow + "/storage/zz_blank.img").close();
    ASSERT_EQ(truncate((slow + "/storage/zz_blank.img").c_str(), 256 << 20), 0);
    // The watched name now leads to it, without a moment of no phone.
    ASSERT_EQ(symlink(slow.c_str(), (temp_ + "/next").c_str()), 0);
    ASSERT_EQ(rename((temp_ + "/next").c_str(), link_.c_str()), 0);

    size_t from = centre_.Count();
    ASSERT_EQ(controller_->StartScan(), RK_OK);
    ASSERT_GE(centre_.WaitFor(MSG_SCAN_NEW_FILES, from, kScanTime), 0);
    IDataContainer<_ARCHIVE_INFOMATION>* files = controller_->GetArchiveContainer();
    ASSERT_NE(files, nullptr);
    std::vector<_ARCHIVE_INFOMATION> found;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(files);
        for (auto it = files->Begin(); it != files->End(); ++it) found.push_back(it->second);
    }
    ASSERT_FALSE(found.empty());
    // Opened while the library scans: each reads what it reads once the scan is over.
    std::map<unsigned, std::string> during;
    IRecoveryJob* job = controller_->GetRecoveryObject();
    for (const _ARCHIVE_INFOMATION& item : found) {
        IItemReader* reader = job->OpenItem(&item);
        if (!reader) continue;
        std::vector<unsigned char> bytes(reader->GetSize());
        if (!bytes.empty()) {
            EXPECT_EQ(reader->Read(0, bytes.data(), reader->GetSize()), reader->GetSize());
        }
        during[item.id] = Sha256(bytes.data(), bytes.size());
        reader->Release();
    }
    EXPECT_FALSE(during.empty());
    // From the scan's start: on a slow machine the scan may have ended while the items were read.
    size_t opened = from;
    int finished = 0;
    FollowToEnd(MSG_SCAN_PROGRESS, &opened, &finished);
    ASSERT_EQ(finished, 1);
    for (const _ARCHIVE_INFOMATION& item : found) {
        if (!during.count(item.id)) continue;
        IItemReader* reader = job->OpenItem(&item);
        ASSERT_NE(reader, nullptr);
        std::vector<unsigned char> bytes(reader->GetSize());
        if (!bytes.empty()) reader->Read(0, bytes.data(), reader->GetSize());
        EXPECT_EQ(Sha256(bytes.data(), bytes.size()), during[item.id]) << item.id;
        reader->Release();
    }

    // A second recovery while the first writes is refused; the first goes on, unheard.
    size_t pictures = TickAll(files);
    ASSERT_GT(pictures, 30u);
    for (const char* name : {"/first", "/second", "/third"}) ASSERT_TRUE(platform::CreateDirectory(temp_ + name));
    from = centre_.Count();
    job->Start((temp_ + "/first/").c_str(), nullptr, 3);
    job->Start((temp_ + "/second/").c_str(), nullptr, 3);
    finished = 0;
    EXPECT_EQ(ErrorNumber(FollowToEnd(MSG_RECOVERY_PROGRESS, &from, &finished).result), LOGIC_E_BUSY);
    ResultCode third = RK_FAIL(LOGIC_E_BUSY);
    for (Clock::time_point end = Clock::now() + kScanTime; ErrorNumber(third) == LOGIC_E_BUSY && Clock::now() < end;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        third = Recover(temp_ + "/third", 3);
    }
    EXPECT_EQ(third, RK_OK);
    std::map<std::string, std::string> first, second, last;
    FilesBelow(temp_ + "/first", "", &first);
    FilesBelow(temp_ + "/second", "", &second);
    FilesBelow(temp_ + "/third", "", &last);
    EXPECT_TRUE(second.empty());
    EXPECT_GT(last.size(), 30u);
    EXPECT_TRUE(first == last);
}
