#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/CriticalSection.h"
#include "platform/PageMemory.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/PlatformFile.h"
#include "platform/Semaphore.h"
#include "platform/StringConversion.h"
#include "platform/TimeConversion.h"

using namespace platform;

TEST(CriticalSectionTest, OwnerMayEnterAgainOthersWait) {
    CriticalSection cs;
    cs.Enter();
    cs.Enter();  // re-entrant
    std::atomic<bool> entered{false};
    std::thread other([&] {
        cs.Enter();
        entered = true;
        cs.Leave();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    cs.Leave();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered);  // still held once
    cs.Leave();
    other.join();
    EXPECT_TRUE(entered);
}

TEST(DynamicLibraryTest, MapsWindowsNamesToSharedObjects) {
    EXPECT_EQ(MapLibraryName(L"Log.dll"), "libLog.so");
    EXPECT_EQ(MapLibraryName(L"Merrowin"), "libMerrowin.so");
    EXPECT_EQ(MapLibraryName(L"Pellucet.DLL"), "libPellucet.so");
    EXPECT_EQ(MapLibraryName(L"libz.so.1"), "libz.so.1");
    EXPECT_EQ(MapLibraryName(L"plugins\\Dredgel.dll"), "plugins/libDredgel.so");
}

TEST(DynamicLibraryTest, MissingLibraryAndSymbolGiveNull) {
    EXPECT_EQ(LoadLibraryW(L"NoSuchLibraryAnywhere.dll"), nullptr);
    EXPECT_EQ(LoadLibraryW(L""), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
}

TEST(DynamicLibraryTest, FindsTheLibraryBesideTheProgram) {
    LibraryHandle log = LoadLibraryW(L"Log.dll");
    ASSERT_NE(log, nullptr) << "libLog.so is built beside the tests";
    EXPECT_NE(GetProcAddress(log, "CreateObject"), nullptr);
    EXPECT_EQ(GetProcAddress(log, "NoSuchExport"), nullptr);
}

TEST(StringConversionTest, RoundTripsAndReplacesBadInput) {
    std::wstring wide = L"Gr\u00fc\u00dfe \u4e2d\U0001F600";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide);
    std::u16string utf16 = u"a\u00e9\U0001F600";
    EXPECT_EQ(Utf16ToUtf8(utf16), "a\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(utf16)), utf16);
    EXPECT_EQ(Utf8ToWide("\xc3"), L"\ufffd");             // truncated sequence
    EXPECT_EQ(Utf8ToWide("\xc0\x80" "a"), L"\ufffd\ufffd" L"a");  // over-long
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xd800')), "\xef\xbf\xbd");  // lone surrogate
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/rk_platform_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string dir_;
};

TEST_F(TempFolder, FilesReadWriteAndCreateNewRefusesExisting) {
    std::string path = JoinPath(dir_, "a.bin");
    PlatformFile out;
    ASSERT_TRUE(out.Open(path, PlatformFile::Mode::CreateNew));
    ASSERT_TRUE(out.WriteAt(4, "wxyz", 4));
    out.Close();
    PlatformFile again;
    EXPECT_FALSE(again.Open(path, PlatformFile::Mode::CreateNew));
    PlatformFile in;
    ASSERT_TRUE(in.Open(path, PlatformFile::Mode::Read));
    EXPECT_EQ(in.Size(), 8);
    char buffer[8];
    ASSERT_TRUE(in.ReadAt(0, buffer, 8));
    EXPECT_EQ(std::string(buffer, 8), std::string("\0\0\0\0wxyz", 8));
    EXPECT_FALSE(in.ReadAt(6, buffer, 4));  // past the end
    EXPECT_EQ(in.ReadSomeAt(6, buffer, 4), 2);
    // A copy of the file's first bytes, on this file system and (where there is one) another, whose
    // bytes the system may not copy across; never more than the file holds.
    std::vector<std::string> copies = {JoinPath(dir_, "copy.bin")};
    if (GetEntryKind("/dev/shm") == EntryKind::Directory) copies.push_back("/dev/shm/rk_copy_" + std::to_string(getpid()));
    for (const std::string& copy : copies) {
        PlatformFile to;
        ASSERT_TRUE(to.Open(copy, PlatformFile::Mode::CreateAlways)) << copy;
        ASSERT_TRUE(to.CopyFrom(in, 6)) << copy;
        EXPECT_FALSE(to.CopyFrom(in, 9)) << copy;
        to.Close();
        std::ifstream copied(copy, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}).substr(0, 6), std::string("\0\0\0\0wx", 6));
        std::remove(copy.c_str());
    }
    // Pieces written one after another, more of them than one system call takes, empty ones among them.
    std::vector<std::string> texts;
    std::vector<std::pair<const char*, size_t>> pieces;
    std::string whole;
    for (int i = 0; i < 3000; ++i) texts.push_back(i % 7 == 0 ? std::string() : std::to_string(i) + ",");
    for (const std::string& text : texts) {
        pieces.emplace_back(text.data(), text.size());
        whole += text;
    }
    PlatformFile gathered;
    ASSERT_TRUE(gathered.Open(JoinPath(dir_, "pieces"), PlatformFile::Mode::CreateNew));
    ASSERT_TRUE(gathered.Write(pieces));
    gathered.Close();
    std::ifstream written(JoinPath(dir_, "pieces"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), whole);
}

TEST_F(TempFolder, DirectoriesAndLinks) {
    std::string deep = JoinPath(dir_, "a/b/c");
    EXPECT_TRUE(CreateDirectories(deep));
    EXPECT_EQ(GetEntryKind(deep), EntryKind::Directory);
    ASSERT_EQ(symlink(deep.c_str(), JoinPath(dir_, "link").c_str()), 0);
    EXPECT_EQ(GetEntryKind(JoinPath(dir_, "link")), EntryKind::Link);
    std::vector<std::string> names;
    EXPECT_TRUE(ListDirectory(dir_, names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "link"}));
    int error = 0;
    EXPECT_FALSE(ListDirectory(JoinPath(dir_, "none"), names, &error));
    EXPECT_EQ(error, ENOENT);
    // Looked up without following: a dangling link is an entry; what is missing says why.
    ASSERT_EQ(symlink(JoinPath(dir_, "gone").c_str(), JoinPath(dir_, "dangling").c_str()), 0);
    EXPECT_TRUE(EntryExists(JoinPath(dir_, "dangling")));
    EXPECT_FALSE(EntryExists(JoinPath(dir_, "none"), &error));
    EXPECT_EQ(error, ENOENT);
    std::ofstream(JoinPath(dir_, "file")) << "x";
    EXPECT_FALSE(EntryExists(JoinPath(dir_, "file/x"), &error));
    EXPECT_EQ(error, ENOTDIR);
    // A private folder is made afresh or not at all, and only its owner may enter it.
    std::string own = JoinPath(dir_, "own");
    EXPECT_TRUE(CreatePrivateDirectory(own));
    EXPECT_FALSE(CreatePrivateDirectory(own));
    EXPECT_FALSE(CreatePrivateDirectory(JoinPath(dir_, "link")));
    struct stat st {};
    ASSERT_EQ(stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<long>(getpid()));
    EXPECT_EQ(ParentFolder("/x/y"), "/x");
    EXPECT_EQ(ParentFolder("/x"), "/");
    EXPECT_EQ(ParentFolder("x"), "");
}

TEST_F(TempFolder, RealPathsResolveLinksAndDots) {
    std::string deep = JoinPath(dir_, "a/b/c");
    ASSERT_TRUE(CreateDirectories(deep));
    ASSERT_EQ(symlink(deep.c_str(), JoinPath(dir_, "link").c_str()), 0);
    EXPECT_EQ(RealPath(JoinPath(dir_, "link/../c/.")), RealPath(deep));
    EXPECT_EQ(RealPath(JoinPath(dir_, "none")), "");
    EXPECT_EQ(GetCurrentFolder(), RealPath("."));
}

TEST_F(TempFolder, IniFileKeepsSectionsApart) {
    std::string path = JoinPath(dir_, "d.ini");
    std::ofstream(path) << "; comment\n[device]\n version = 4.4 \n[other]\nversion=1\n";
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_EQ(ini.Get("device", "version"), "4.4");
    EXPECT_EQ(ini.Get("other", "version"), "1");
    EXPECT_EQ(ini.Get("device", "missing", "d"), "d");
    ini.Set("new", "k", "v");
    ASSERT_TRUE(ini.Save(path));
    IniFile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Get("new", "k"), "v");
}

TEST(TimeConversionTest, DosAndSystemTimes) {
    uint64_t ft = 0;
    ASSERT_TRUE(SystemTimeToFileTime({1970, 1, 0, 1, 0, 0, 0, 0}, &ft));
    EXPECT_EQ(ft, kFileTimeUnixEpoch);
    ASSERT_TRUE(SystemTimeToFileTime({1601, 1, 0, 1, 0, 0, 0, 0}, &ft));
    EXPECT_EQ(ft, 0u);
    // 2010-06-15 12:34:56: date (30<<9)|(6<<5)|15, time (12<<11)|(34<<5)|28
    ASSERT_TRUE(DosDateTimeToFileTime((30 << 9) | (6 << 5) | 15, (12 << 11) | (34 << 5) | 28, &ft));
    EXPECT_EQ(FileTimeToUnixSeconds(ft), 1276605296);
    SystemTime back{};
    ASSERT_TRUE(FileTimeToSystemTime(ft, &back));
    EXPECT_EQ(back.year, 2010);
    EXPECT_EQ(back.month, 6);
    EXPECT_EQ(back.day, 15);
    EXPECT_EQ(back.second, 56);
    EXPECT_EQ(back.dayOfWeek, 2);  // a Tuesday
    EXPECT_FALSE(DosDateTimeToFileTime((30 << 9) | (2 << 5) | 30, 0, &ft));  // 30 February
    EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &ft));                          // month 0
    EXPECT_EQ(UnixSecondsToFileTime(1276605296), ft);
}

TEST(PageMemoryTest, AlignedZeroedAndOwned) {
    for (size_t bytes : {size_t(1), size_t(5000), size_t(4) << 20, (size_t(4) << 20) + 512}) {
        platform::PageBuffer buffer(bytes);
        ASSERT_TRUE(buffer) << bytes;
        EXPECT_EQ(buffer.size(), bytes);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % 4096, 0u) << bytes;
        EXPECT_EQ(buffer.data()[0], 0);
        EXPECT_EQ(buffer.data()[bytes - 1], 0);
        platform::PrefaultPages(buffer.data(), bytes);  // mapped in, still zeros
        EXPECT_EQ(buffer.data()[bytes / 2], 0);
        buffer.data()[bytes - 1] = 7;  // all of it is writable
        platform::PageBuffer moved(std::move(buffer));
        EXPECT_FALSE(buffer);
        EXPECT_EQ(moved.data()[bytes - 1], 7);
        moved = platform::PageBuffer(0);
        EXPECT_FALSE(moved);
    }
    EXPECT_EQ(platform::AllocatePages(0), nullptr);
    platform::FreePages(nullptr, 10);
    platform::PrefaultPages(nullptr, 10);
}

TEST(SemaphoreTest, RefusesReleaseBeyondMaximumAndWakesWaiter) {
    Semaphore s(0, 2);
    EXPECT_FALSE(s.WaitFor(10));
    EXPECT_TRUE(s.Release());
    EXPECT_TRUE(s.Release());
    EXPECT_FALSE(s.Release());
    EXPECT_EQ(s.Count(), 2u);
    s.Wait();
    s.Wait();
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        s.Release();
    });
    EXPECT_TRUE(s.WaitFor(5000));
    waker.join();
}
