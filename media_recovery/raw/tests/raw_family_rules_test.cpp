// Header tests and size rules of the audio, video, document, archive and text formats on small
// buffers written by hand: each case is one the tools do not produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "testing/MemoryDevice.h"
#include "media_recovery/raw/RawAnalyserRegistry.h"
#include "media_recovery/raw/RawCarveScanner.h"
#include "media_recovery/raw/formats/File3DSAnalyser.h"
#include "media_recovery/raw/formats/FileMDBAnalyser.h"
#include "media_recovery/raw/formats/FileWPDAnalyser.h"
#include "media_recovery/raw/RawReaders.h"
#include "media_recovery/raw/formats/FileASFAnalyser.h"
#include "media_recovery/raw/formats/FileAUAnalyser.h"
#include "media_recovery/raw/formats/FileCABAnalyser.h"
#include "media_recovery/raw/formats/FileCHMAnalyser.h"
#include "media_recovery/raw/formats/FileDWGAnalyser.h"
#include "media_recovery/raw/formats/FileHTMAnalyser.h"
#include "media_recovery/raw/formats/FileLZHAnalyser.h"
#include "media_recovery/raw/formats/FileLowDocAnalyser.h"
#include "media_recovery/raw/formats/FileMOVAnalyser.h"
#include "media_recovery/raw/formats/FileMP3Analyser.h"
#include "media_recovery/raw/formats/FileOLEAnalyser.h"
#include "media_recovery/raw/formats/FilePDFAnalyser.h"
#include "media_recovery/raw/formats/FilePSTAnalyser.h"
#include "media_recovery/raw/formats/FileRARAnalyser.h"
#include "media_recovery/raw/formats/FileRIFFAnalyser.h"
#include "media_recovery/raw/formats/FileRTFAnalyser.h"
#include "media_recovery/raw/formats/FileTARAnalyser.h"
#include "media_recovery/raw/formats/FileTTFAnalyser.h"
#include "media_recovery/raw/formats/FileZIPAnalyser.h"

namespace {

struct Bytes : std::vector<uint8_t> {
    explicit Bytes(size_t n = 512, uint8_t fill = 0) : std::vector<uint8_t>(n, fill) {}
    void le16(size_t at, uint16_t v) { (*this)[at] = v; (*this)[at + 1] = v >> 8; }
    void le32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) (*this)[at + i] = v >> (8 * i); }
    void be32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) (*this)[at + i] = v >> (24 - 8 * i); }
    void put(size_t at, const void* p, size_t n) { std::memcpy(data() + at, p, n); }
    void put(size_t at, const char* s) { put(at, s, std::strlen(s)); }
    void append(const char* s) { insert(end(), s, s + std::strlen(s)); }
};

// Runs the header test on the first sector and then the size rule over the whole buffer.
bool Carve(IRawFileAnalyser& a, const Bytes& b, RawHit& hit, uint32_t sectorSize = 512) {
    MemoryDevice dev(b, sectorSize);
    hit.size = 0;  // as the searcher does before each header test
    hit.fileTypeId = 0;
    if (!a.IsHeader(dev.Bytes().data(), hit)) return false;
    if (hit.size != 0) return true;
    return a.ComputeSize(hit, &dev);
}

TEST(RiffHeader, FormsAndSizesBeyond32Bits) {
    FileRIFFAnalyser a;
    Bytes b;
    b.put(0, "RIFF");
    b.le32(4, 0xFFFFFFFF);
    b.put(8, "cdr8vrsn");
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.fileTypeId, 11u);
    EXPECT_EQ(hit.size, 0xFFFFFFFFull + 8);  // no wrap to 7
    b.put(8, "cmx1");
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.fileTypeId, 55u);  // CMX is compared exactly
    b.put(8, "CMX1");
    b.put(20, "{Corel Binary Meta File}");
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.fileTypeId, 14u);
}

TEST(AuHeader, OffsetPlusSizeInSixtyFourBits) {
    FileAUAnalyser a;
    Bytes b;
    b.put(0, ".snd");
    b.be32(4, 0xFFFFFF00);
    b.be32(8, 0x200);
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.size, 0x100000100ull);
    b.be32(8, 0xFFFFFFFF);
    EXPECT_FALSE(a.IsHeader(b.data(), hit));
}

TEST(MovWalk, SixtyFourBitAtomLengthAndUnknownAtom) {
    FileMOVAnalyser a;
    Bytes b(8192);
    b.be32(0, 20);
    b.put(4, "ftypqt  ");
    b.be32(20, 1);  // mdat with its length in the 64-bit field
    b.put(24, "mdat");
    b.be32(28, 0);
    b.be32(32, 5000);
    b.be32(5020, 100);
    b.put(5024, "moov");
    b.be32(5120, 64);
    b.put(5124, "junk");
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, 5120u);  // ends before the third atom of unknown type
}

TEST(Mp3Frames, LayerTwoBitrateModesAndLength) {
    const uint8_t stereo32[4] = {0xFF, 0xFD, 0x10, 0x00};  // MPEG-1 layer II 32 kbit/s stereo
    const uint8_t mono32[4] = {0xFF, 0xFD, 0x10, 0xC0};
    EXPECT_EQ(FileMP3Analyser::FrameLength(stereo32), 0u);
    EXPECT_EQ(FileMP3Analyser::FrameLength(mono32), 144u * 32000 / 44100);
    const uint8_t l3[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1 layer III 128 kbit/s 44.1 kHz
    EXPECT_EQ(FileMP3Analyser::FrameLength(l3), 417u);
    const uint8_t emphasis2[4] = {0xFF, 0xFB, 0x90, 0x66};
    EXPECT_EQ(FileMP3Analyser::FrameLength(emphasis2), 0u);
}

// An ID3v2.3 tag with the given title, then frames of 417 bytes.
Bytes Mp3(const std::string& title, int frames) {
    Bytes b(0);
    Bytes tag(10);
    tag.put(0, "ID3\x03");
    Bytes frame(10);
    frame.put(0, "TIT2");
    frame.be32(4, static_cast<uint32_t>(title.size() + 1));
    tag.insert(tag.end(), frame.begin(), frame.end());
    tag.push_back(0);
    tag.insert(tag.end(), title.begin(), title.end());
    uint32_t size = static_cast<uint32_t>(tag.size() - 10);
    for (int i = 0; i < 4; ++i) tag[6 + i] = (size >> (7 * (3 - i))) & 0x7F;
    b.insert(b.end(), tag.begin(), tag.end());
    for (int f = 0; f < frames; ++f) {
        Bytes fr(417, 0x55);
        fr[0] = 0xFF, fr[1] = 0xFB, fr[2] = 0x90, fr[3] = 0x64;
        b.insert(b.end(), fr.begin(), fr.end());
    }
    return b;
}

TEST(Mp3Size, TitleIsCleanedAndBounded) {
    FileMP3Analyser a;
    Bytes b = Mp3("Live/at\\home", 3);
    size_t end = b.size();
    b.resize(end + 2048, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, end);
    EXPECT_EQ(hit.namePrefix, "Live_at_home");
    Bytes longer = Mp3(std::string(250, 'x'), 2);
    longer.resize(longer.size() + 1024, 0);
    ASSERT_TRUE(Carve(a, longer, hit));
    EXPECT_LE(hit.namePrefix.size(), 100u);
}

TEST(Mp3Size, TrailerRightBehindFramesOrAtSectorEndOnly) {
    FileMP3Analyser a;
    Bytes b = Mp3("t", 2);
    size_t end = b.size();
    Bytes tag(128, ' ');
    tag.put(0, "TAG");
    tag.put(3, "Tagged");
    b.insert(b.end(), tag.begin(), tag.end());
    b.resize(b.size() + 600, 0x11);  // non-zero bytes behind, mid-sector
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, end + 128);  // directly behind the last frame: the trailer
    // After stray bytes, a "TAG" that ends mid-sector with data behind is no trailer.
    Bytes c = Mp3("t", 2);
    size_t frames = c.size();
    c.resize(c.size() + 7, 0x22);
    c.insert(c.end(), tag.begin(), tag.end());
    c.resize(c.size() + 600, 0x11);
    if ((frames + 7 + 128) % 512 == 0) c.insert(c.begin() + frames, 0x22);
    ASSERT_TRUE(Carve(a, c, hit));
    EXPECT_EQ(hit.size, frames);
}

// Behind the frames, stray bytes with near misses (FF without a sync, 'T' without "AG"), then two
// frame headers, each with its frame; a tag at the next sector start when asked for.
TEST(Mp3Size, AfterStrayBytesOnlyTheSameStreamGoesOn) {
    const uint8_t same[4] = {0xFF, 0xFB, 0x90, 0x64};   // MPEG-1 layer III 44.1 kHz, as the frames
    const uint8_t other[4] = {0xFF, 0xE3, 0x90, 0x64};  // MPEG-2.5 layer III 11.025 kHz
    struct Case {
        const char* what;
        const uint8_t* first;
        const uint8_t* second;
        bool tagBefore;
        bool goesOn;
    } cases[] = {
        {"two frames of the stream", same, same, false, true},
        {"a frame of the stream, then one of another", same, other, false, false},
        {"two frames of another stream", other, other, false, false},
        {"a following tag before two frames of the stream", same, same, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileMP3Analyser a;
        Bytes b = Mp3("t", 2);
        const size_t frames = b.size();
        for (int i = 0; i < 175; ++i) b.append("\xFF\x1FTA");
        if (c.tagBefore) {
            b.resize((b.size() + 511) / 512 * 512, 0x22);
            b.append("ID3\x03");
            b.resize(b.size() + 6, 0);
        }
        const size_t stray = b.size();
        for (const uint8_t* h : {c.first, c.second}) {
            Bytes frame(FileMP3Analyser::FrameLength(h), 0x55);
            frame.put(0, h, 4);
            b.insert(b.end(), frame.begin(), frame.end());
        }
        const size_t resynced = b.size();
        b.resize(b.size() + 600, 0);
        RawHit hit;
        ASSERT_TRUE(Carve(a, b, hit));
        EXPECT_EQ(hit.size, c.goesOn ? resynced : frames) << "stray bytes from " << frames << " to " << stray;
    }
}

// A version-3 compound file: header, one FAT sector (sector 0), directory at sector 1.
Bytes Ole(const char16_t* const names[4], uint32_t usedSectors) {
    Bytes b(512 * (usedSectors + 1), 0);
    b.put(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    b.le32(0x2C, 1);
    b.le32(0x30, 1);
    b.le32(0x44, 0xFFFFFFFE);
    for (int i = 0; i < 109; ++i) b.le32(0x4C + 4 * i, 0xFFFFFFFF);
    b.le32(0x4C, 0);
    for (int i = 0; i < 128; ++i) b.le32(512 + 4 * i, 0xFFFFFFFF);
    b.le32(512, 0xFFFFFFFD);
    b.le32(512 + 4, 0xFFFFFFFE);
    for (uint32_t s = 2; s < usedSectors; ++s) b.le32(512 + 4 * s, 0xFFFFFFFE);
    for (int e = 0; e < 4; ++e)
        for (int k = 0; names[e][k]; ++k) b.le16(1024 + 128 * e + 2 * k, names[e][k]);
    return b;
}

TEST(OleSize, TypesByNamesAndFatExtent) {
    FileOLEAnalyser a;
    const char16_t* plain[4] = {u"Root Entry", u"Data", u"Other", u"More"};
    RawHit hit;
    ASSERT_TRUE(Carve(a, Ole(plain, 6), hit));
    EXPECT_EQ(hit.fileTypeId, 39u);
    EXPECT_EQ(hit.size, 7u * 512);
    const char16_t* visio[4] = {u"Root Entry", u"VisioDocument", u"x", u"y"};
    ASSERT_TRUE(Carve(a, Ole(visio, 6), hit));
    EXPECT_EQ(hit.fileTypeId, 62u);
    EXPECT_EQ(hit.size, 7u * 512 + 0x400);
    const char16_t* book[4] = {u"Root Entry", u"Book", u"x", u"y"};
    ASSERT_TRUE(Carve(a, Ole(book, 4), hit));
    EXPECT_EQ(hit.fileTypeId, 67u);
}

TEST(OleSize, NoFatOrEndMarkersAsDifatStart) {
    FileOLEAnalyser a;
    const char16_t* plain[4] = {u"Root Entry", u"Data", u"Other", u"More"};
    Bytes noFat = Ole(plain, 4);
    noFat.le32(0x4C, 0xFFFFFFFF);  // count 0 would wrap the size
    RawHit hit;
    EXPECT_FALSE(Carve(a, noFat, hit));
    Bytes freeStart = Ole(plain, 4);
    freeStart.le32(0x44, 0xFFFFFFFF);  // a free marker ends the chain like the end marker
    ASSERT_TRUE(Carve(a, freeStart, hit));
    EXPECT_EQ(hit.size, 5u * 512);
}

TEST(LowDocHeader, SectorCountInSixtyFourBits) {
    FileLowDocAnalyser a;
    Bytes b;
    b.put(0, "\xD0\xCF\x11\xE0", 4);
    b.le32(48, 0xFFFFFFFF);
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.size, (0xFFFFFFFFull + 5) * 512);
}

void AddLocal(Bytes& b, const char* name, uint16_t method, uint32_t packed, uint16_t flags = 0) {
    Bytes h(30);
    h.put(0, "PK\x03\x04", 4);
    h.le16(6, flags);
    h.le16(8, method);
    h.le32(18, packed);
    h.le16(26, static_cast<uint16_t>(std::strlen(name)));
    b.insert(b.end(), h.begin(), h.end());
    b.append(name);
    b.insert(b.end(), packed, 0x41);
}

void AddCentral(Bytes& b, const char* name) {
    Bytes h(46);
    h.put(0, "PK\x01\x02", 4);
    h.le16(28, static_cast<uint16_t>(std::strlen(name)));
    b.insert(b.end(), h.begin(), h.end());
    b.append(name);
}

void AddEnd(Bytes& b, const char* comment) {
    Bytes h(22);
    h.put(0, "PK\x05\x06", 4);
    h.le16(20, static_cast<uint16_t>(std::strlen(comment)));
    b.insert(b.end(), h.begin(), h.end());
    b.append(comment);
}

TEST(ZipSize, PackagesByContentTypesAndRelationships) {
    FileZIPAnalyser a;
    Bytes x(0);
    AddLocal(x, "[Content_Types].xml", 8, 40);
    AddLocal(x, "xl/_rels/workbook.xml.rels", 8, 30);
    AddCentral(x, "[Content_Types].xml");
    AddEnd(x, "");
    size_t end = x.size();
    x.resize(end + 700, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, x, hit));
    EXPECT_EQ(hit.fileTypeId, 70u);
    EXPECT_EQ(hit.size, end);
    // The relationship part without a content-types entry is a plain archive.
    Bytes z(0);
    AddLocal(z, "readme.txt", 0, 10);
    AddLocal(z, "xl/_rels/workbook.xml.rels", 8, 30);
    AddEnd(z, "a comment");
    end = z.size();
    z.resize(end + 700, 0);
    ASSERT_TRUE(Carve(a, z, hit));
    EXPECT_EQ(hit.fileTypeId, 68u);
    EXPECT_EQ(hit.size, end);  // the end record's comment belongs to the archive
}

TEST(ZipSize, MethodTwelveEndsAndDescriptorsAreCrossed) {
    FileZIPAnalyser a;
    Bytes b(0);
    AddLocal(b, "a.txt", 8, 20);
    size_t before = b.size();
    AddLocal(b, "b.bz2", 12, 20);
    b.resize(b.size() + 600, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, before);
    // An entry whose sizes follow its data in a descriptor.
    Bytes s(0);
    AddLocal(s, "stream", 8, 0, 8);
    s.insert(s.end(), 100, 0x33);
    Bytes desc(16);
    desc.put(0, "PK\x07\x08", 4);
    desc.le32(8, 100);
    s.insert(s.end(), desc.begin(), desc.end());
    AddCentral(s, "stream");
    AddEnd(s, "");
    size_t end = s.size();
    s.resize(end + 600, 0);
    ASSERT_TRUE(Carve(a, s, hit));
    EXPECT_EQ(hit.size, end);
}

Bytes TarHeader(const char* name, uint32_t size, char type) {
    Bytes h(512);
    h.put(0, name);
    char oct[12];
    std::snprintf(oct, sizeof(oct), "%011o", size);
    h.put(124, oct, 11);
    h[156] = static_cast<uint8_t>(type);
    h.put(257, "ustar");
    return h;
}

TEST(TarSize, DirectoriesPassedTwoZeroBlocksEnd) {
    FileTARAnalyser a;
    Bytes b(0);
    Bytes f = TarHeader("a.txt", 700, '0');
    b.insert(b.end(), f.begin(), f.end());
    b.insert(b.end(), 1024, 0x61);
    Bytes d = TarHeader("dir/", 0, '5');
    b.insert(b.end(), d.begin(), d.end());
    Bytes g = TarHeader("dir/b.txt", 10, '0');
    b.insert(b.end(), g.begin(), g.end());
    b.insert(b.end(), 512, 0x62);
    size_t members = b.size();
    b.insert(b.end(), 1024, 0);
    b.insert(b.end(), 4096, 0x7E);  // data of something else behind the archive
    for (uint32_t ss : {512u, 4096u}) {
        RawHit hit;
        ASSERT_TRUE(Carve(a, b, hit, ss));
        EXPECT_EQ(hit.size, members + 1024) << ss;  // 512-byte blocks on any device
    }
}

TEST(ChmHeader, SizeCappedToLargestCarve) {
    FileCHMAnalyser a;
    Bytes b;
    b.put(0, "ITSF");
    b.le32(8, 96);
    const uint8_t g0[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                            0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
    b.put(24, g0, 16);
    b.put(40, g0, 16);
    b[40] = 0x11;
    b.le32(96, 0x1FE);
    b.le32(104, 0);
    b.le32(108, 0x10);  // 64 GiB
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(b.data(), hit));
    EXPECT_EQ(hit.size, kRawMaxFileSize);
    b[40] = 0x10;  // the first GUID twice
    EXPECT_FALSE(a.IsHeader(b.data(), hit));
}

Bytes Font(const std::vector<const char*>& tags, uint32_t length) {
    Bytes b;
    b.le32(0, 0x00000100);
    b[4] = 0;
    b[5] = static_cast<uint8_t>(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        b.put(12 + 16 * i, tags[i], 4);
        b.be32(12 + 16 * i + 12, length);
    }
    return b;
}

TEST(TtfHeader, KnownTagShareAndLargeLengths) {
    FileTTFAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(Font({"cmap", "glyf", "GSUB", "FFTM"}, 10).data(), hit));
    EXPECT_EQ(hit.size, 12u + 64 + 4 * 12);
    EXPECT_FALSE(a.IsHeader(Font({"cmap", "GSUB", "FFTM"}, 10).data(), hit));
    ASSERT_TRUE(a.IsHeader(Font({"cmap", "glyf"}, 0xFFFFFFFF).data(), hit));
    EXPECT_EQ(hit.size, 12u + 32 + 2 * 0x100000000ull);  // no wrap
}

TEST(RtfSize, EscapedBracesAreText) {
    FileRTFAnalyser a;
    Bytes b(0);
    b.append("{\\rtf1 a \\{ b \\} c \\\\{\\b d} e}");
    size_t end = b.size();
    b.append("}}} tail");
    b.resize(1024, 0x20);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, end);
}

TEST(PdfSize, IncrementalUpdateEndsAtLastEof) {
    FilePDFAnalyser a;
    Bytes b(0);
    b.append("%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n");
    size_t first = b.size();
    b.append("2 0 obj\n<<>>\nendobj\nxref\n0 1\ntrailer\n<< /Prev 9 >>\n%%EOF\n");
    size_t last = b.size();
    b.resize(last + 2048, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_GT(last, first);
    EXPECT_EQ(hit.size, last);
    EXPECT_EQ(hit.fileTypeId, 46u);
    // A following document ends it too.
    Bytes c(0);
    c.append("%PDF-1.4\n%%EOF\n%PDF-1.5\n%%EOF\n");
    c.resize(1024, 0);
    ASSERT_TRUE(Carve(a, c, hit));
    EXPECT_EQ(hit.size, 15u);
}

TEST(PdfSize, IllustrationGoesOnWhileTextFollows) {
    FilePDFAnalyser a;
    Bytes b(0);
    b.append("%PDF-1.4\n%!PS-Adobe-3.0\n%%EOF\r\nmore\n%%EOF\r\n");
    size_t end = b.size();
    b.resize(1024, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.fileTypeId, 5u);
    EXPECT_EQ(hit.size, end);
}

TEST(RarSize, WithoutEndBlockEndsAtLastBlock) {
    FileRARAnalyser a;
    Bytes b(0);
    b.append("Rar!\x1A\x07");
    b.push_back(0);
    Bytes main(13);
    main[2] = 0x73;
    main.le16(5, 13);
    b.insert(b.end(), main.begin(), main.end());
    Bytes file(32 + 5);
    file[2] = 0x74;
    file.le16(5, 37);
    file.le32(7, 100);
    file.le32(11, 100);
    file[15] = 2;
    b.insert(b.end(), file.begin(), file.end());
    b.insert(b.end(), 100, 0x44);
    size_t end = b.size();
    b.resize(end + 600, 0);
    RawHit hit;
    ASSERT_TRUE(Carve(a, b, hit));
    EXPECT_EQ(hit.size, end);
}

TEST(OtherHeaders, CabLzhDwgHtmlPstAsf) {
    RawHit hit;
    Bytes cab;
    cab.put(0, "MSCF");
    cab.le32(8, 3000);
    cab.le16(24, 0x0103);
    FileCABAnalyser c;
    EXPECT_TRUE(c.IsHeader(cab.data(), hit));
    cab.le32(4, 1);
    EXPECT_FALSE(c.IsHeader(cab.data(), hit));

    Bytes lzh(2048);
    lzh[0] = 30;
    lzh.put(2, "-lh5-");
    lzh.le32(7, 100);
    lzh[132] = 30;  // a member of another method
    lzh.put(134, "-lh7-");
    FileLZHAnalyser l;
    ASSERT_TRUE(Carve(l, lzh, hit));
    EXPECT_EQ(hit.size, 132u);

    Bytes dwg(4096);
    dwg.put(0, "AC1009");
    FileDWGAnalyser d;
    EXPECT_TRUE(d.IsHeader(dwg.data(), hit));
    MemoryDevice dev(dwg, 512);
    EXPECT_FALSE(d.ComputeSize(hit, &dev));

    Bytes html(2 << 20, 'a');
    html.put(0, "<!-- comment -->");
    html.put(400, "<html>");
    FileHTMAnalyser h;
    ASSERT_TRUE(Carve(h, html, hit));
    EXPECT_EQ(hit.size, 0x100001u);

    Bytes pst;
    pst.put(0, "!BDN");
    pst[10] = 15;
    FilePSTAnalyser p;
    ASSERT_TRUE(p.IsHeader(pst.data(), hit));
    EXPECT_EQ(hit.size, 0x100000u);

    // ASF without a simple index object ends behind its data object.
    Bytes asf(4096);
    const uint8_t hg[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    asf.put(0, hg, 16);
    asf.le32(16, 600);
    asf.put(600, hg, 16);
    asf[600] = 0x36;
    asf.le32(616, 1000);
    FileASFAnalyser s;
    ASSERT_TRUE(Carve(s, asf, hit));
    EXPECT_EQ(hit.size, 1600u);
}

template <class T>
int CountOf(const RawAnalyserList& list) {
    int n = 0;
    for (IRawFileAnalyser* a : list) n += dynamic_cast<T*>(a) != nullptr;
    return n;
}

TEST(RawRegistryFamilies, EveryClassRegisteredAndTheSearchListComplete) {
    RawAnalyserList all;
    RegisterRawAnalysers(all);
    EXPECT_EQ(all.size(), 48u);  // every class is built
    ClearRawAnalyserList(all);

    MemoryDevice dev(std::vector<uint8_t>(4096), 512);
    RawCarveScanner scanner;
    ASSERT_TRUE(scanner.BeginSearch(&dev, 8));
    const RawAnalyserList& list = GetRawAnalyserList();
    ASSERT_EQ(list.size(), 75u);
    EXPECT_NE(dynamic_cast<File3DSAnalyser*>(list.front()), nullptr);
    EXPECT_NE(dynamic_cast<FileMDBAnalyser*>(list.back()), nullptr);
    EXPECT_EQ(CountOf<FileRIFFAnalyser>(list), 8);
    EXPECT_EQ(CountOf<FileOLEAnalyser>(list), 13);
    EXPECT_EQ(CountOf<FileZIPAnalyser>(list), 4);
    EXPECT_EQ(CountOf<FileWPDAnalyser>(list), 3);
    EXPECT_EQ(CountOf<FileMDBAnalyser>(list), 2);
    EXPECT_EQ(CountOf<FilePDFAnalyser>(list), 2);
    // At a compound-file header the compound analyser of id 21 answers before the older format's.
    auto first = [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        return std::find_if(list.begin(), list.end(), [](IRawFileAnalyser* a) { return dynamic_cast<T*>(a); });
    };
    EXPECT_LT(first(static_cast<FileOLEAnalyser*>(nullptr)), first(static_cast<FileLowDocAnalyser*>(nullptr)));
    scanner.EndSearch();
}

}  // namespace
