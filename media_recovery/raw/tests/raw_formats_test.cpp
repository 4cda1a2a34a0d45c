// Header tests and size rules of the picture formats on small hand-made buffers (the byte layouts
// here are written by hand on purpose: each case is one the tools do not produce).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "testing/MemoryDevice.h"
#include "media_recovery/raw/RawReaders.h"
#include "media_recovery/raw/formats/FileBMPAnalyser.h"
#include "media_recovery/raw/formats/FileCPTAnalyser.h"
#include "media_recovery/raw/formats/FileEMFAnalyser.h"
#include "media_recovery/raw/formats/FileEPSAnalyser.h"
#include "media_recovery/raw/formats/FileGIFAnalyser.h"
#include "media_recovery/raw/formats/FileICOAnalyser.h"
#include "media_recovery/raw/formats/FileJPGAnalyser.h"
#include "media_recovery/raw/formats/FilePNGAnalyser.h"
#include "media_recovery/raw/formats/FilePSDAnalyser.h"
#include "media_recovery/raw/formats/FileTIFAnalyser.h"
#include "media_recovery/raw/formats/FileWMFAnalyser.h"

namespace {

struct Bytes : std::vector<uint8_t> {
    explicit Bytes(size_t n = 512, uint8_t fill = 0) : std::vector<uint8_t>(n, fill) {}
    void le16(size_t at, uint16_t v) { (*this)[at] = v; (*this)[at + 1] = v >> 8; }
    void le32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) (*this)[at + i] = v >> (8 * i); }
    void be16(size_t at, uint16_t v) { (*this)[at] = v >> 8; (*this)[at + 1] = v; }
    void be32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) (*this)[at + i] = v >> (24 - 8 * i); }
    void put(size_t at, const void* p, size_t n) { std::memcpy(data() + at, p, n); }
    void put(size_t at, const char* s) { put(at, s, std::strlen(s)); }
};

TEST(BmpHeader, InfoHeaderLengths) {
    FileBMPAnalyser a;
    for (uint32_t info : {40u, 124u, 108u, 12u}) {
        Bytes s;
        s.put(0, "BM");
        s.le32(2, 5000);
        s.le32(14, info);
        RawHit hit;
        bool ok = a.IsHeader(s.data(), hit);
        EXPECT_EQ(ok, info == 40 || info == 124) << info;
        if (ok) {
            EXPECT_EQ(hit.size, 5000u);
        }
    }
}

Bytes Icon(int images, uint32_t bytesEach) {
    Bytes s;
    s.le16(2, 1);
    s.le16(4, images);
    for (int i = 0; i < images && i < 16; ++i) {
        s[6 + 16 * i] = 16;
        s.le16(6 + 16 * i + 6, 32);
        s.le32(6 + 16 * i + 8, bytesEach);
        s.le32(6 + 16 * i + 12, 6 + 16 * images);
    }
    return s;
}

TEST(IcoHeader, CountsAndTotals) {
    FileICOAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(Icon(2, 1000).data(), hit));
    EXPECT_EQ(hit.size, 6u + 2 * (16 + 1000));
    EXPECT_EQ(hit.fileTypeId, 32u);
    EXPECT_FALSE(a.IsHeader(Icon(17, 10).data(), hit));
    EXPECT_FALSE(a.IsHeader(Icon(2, 0x90000).data(), hit));  // more than 1 MiB in all
    Bytes cur = Icon(1, 300);
    cur.le16(2, 2);
    ASSERT_TRUE(a.IsHeader(cur.data(), hit));
    EXPECT_EQ(hit.fileTypeId, 18u);
}

TEST(MetafileHeaders, EmfWmfAndEps) {
    Bytes emf;
    emf.le32(0, 1);
    emf.le32(40, 0x464D4520);
    emf.le32(48, 7777);
    RawHit hit;
    ASSERT_TRUE(FileEMFAnalyser().IsHeader(emf.data(), hit));
    EXPECT_EQ(hit.size, 7777u);

    Bytes wmf;
    wmf.put(0, "\x01\x00\x09\x00", 4);
    wmf.le32(6, 0xFFFFFFFF);  // the word count doubled passes 32 bits
    ASSERT_TRUE(FileWMFAnalyser().IsHeader(wmf.data(), hit));
    EXPECT_EQ(hit.size, 0x1FFFFFFFEull);
    Bytes placeable;
    placeable.put(0, "\xD7\xCD\xC6\x9A", 4);
    EXPECT_FALSE(FileWMFAnalyser().IsHeader(placeable.data(), hit));

    Bytes eps;
    eps.put(0, "\xC5\xD0\xD3\xC6", 4);
    eps.le32(4, 30);
    eps.le32(8, 1000);
    eps.le32(12, 0xFFFFFFF0);
    eps.le32(16, 0x20);
    eps.put(28, "\xFF\xFF\x69\x69", 4);  // lower case "ii": the TIFF-preview case
    ASSERT_TRUE(FileEPSAnalyser().IsHeader(eps.data(), hit));
    EXPECT_EQ(hit.size, 1030u);
    eps.put(28, "\xFF\xFF\x25\x21", 4);
    ASSERT_TRUE(FileEPSAnalyser().IsHeader(eps.data(), hit));
    EXPECT_EQ(hit.size, 0xFFFFFFF0ull + 0x20);  // no 32-bit wrap
    eps.put(28, "\x00\x00\x25\x21", 4);
    EXPECT_FALSE(FileEPSAnalyser().IsHeader(eps.data(), hit));
}

Bytes Png(uint64_t iendAt, size_t deviceBytes) {
    Bytes s(deviceBytes);
    s.put(0, "\x89PNG\r\n\x1a\n", 8);
    s.be32(8, 13);
    s.put(12, "IHDR");
    s.be32(16, 10);
    s.be32(20, 10);
    // One IDAT chunk runs up to the IEND chunk.
    s.be32(33, static_cast<uint32_t>(iendAt - 33 - 12));
    s.put(37, "IDAT");
    s.be32(iendAt, 0);
    s.put(iendAt + 4, "IEND");
    return s;
}

TEST(PngSize, EndsAfterIendWithinTwentyMiB) {
    MemoryDevice dev(Png(5000, 8192), 512);
    FilePNGAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(dev.Bytes().data(), hit));
    ASSERT_TRUE(a.ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, 5012u);
    MemoryDevice far(Png(0x1400000 + 4, 0x1400000 + 4096), 4096);
    RawHit h2;
    EXPECT_FALSE(a.ComputeSize(h2, &far));
}

TEST(GifSize, GlobalTableCountedEvenWhenAbsent) {
    Bytes s(1024);
    s.put(0, "GIF87a");
    s[10] = 0x00;  // no global table flag, size bits 0: still 2 entries counted
    size_t at = 13 + 6;
    s[at++] = 0x2C;
    at += 9;       // descriptor, packed byte 0
    s[at++] = 2;   // LZW minimum code size
    s[at++] = 3;
    at += 3;
    s[at++] = 0;
    s[at] = 0x3B;
    MemoryDevice dev(s, 512);
    FileGIFAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, at + 1);
}

TEST(GifSize, StrayBytesBeforeABlockAreSkipped) {
    Bytes s(1024);
    s.put(0, "GIF89a");
    s[10] = 0x80;  // global table of 2 entries
    size_t at = 13 + 6;
    s[at++] = 0x99;  // stray bytes, then an image
    s[at++] = 0x42;
    s[at++] = 0x2C;
    at += 9;
    s[at++] = 2;
    s[at++] = 1;
    at += 1;
    s[at++] = 0;
    s[at] = 0x3B;
    MemoryDevice dev(s, 512);
    RawHit hit;
    ASSERT_TRUE(FileGIFAnalyser().ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, at + 1);
}

TEST(GifSize, EndlessGarbageIsRejectedQuickly) {
    Bytes s(512 * 64, 0x55);
    s.put(0, "GIF89a");
    MemoryDevice dev(s, 512);
    RawHit hit;
    EXPECT_FALSE(FileGIFAnalyser().ComputeSize(hit, &dev));
}

// SOI, APP0 JFIF, two SOF2 frames (the second a different size), SOS, data, EOI.
Bytes Jpeg(uint16_t w, uint16_t h, size_t dataBytes) {
    Bytes s(4096 + dataBytes);
    size_t at = 0;
    s.put(at, "\xFF\xD8\xFF\xE0", 4);
    s.be16(4, 16);
    s.put(6, "JFIF");
    at = 2 + 2 + 16;
    for (int f = 0; f < 2; ++f) {
        s.put(at, "\xFF\xC2", 2);
        s.be16(at + 2, 17);
        s[at + 4] = 8;
        s.be16(at + 5, f ? 1 : h);
        s.be16(at + 7, f ? 1 : w);
        s[at + 9] = 3;
        at += 2 + 17;
    }
    s.put(at, "\xFF\xDA", 2);
    s.be16(at + 2, 12);
    s[at + 4] = 3;
    at += 2 + 12;
    for (size_t i = 0; i < dataBytes; ++i) s[at + i] = static_cast<uint8_t>(i % 0xFF);
    at += dataBytes;
    s.put(at, "\xFF\xD9", 2);
    s.resize(at + 2 + 1000);
    return s;
}

TEST(JpegSize, FirstProgressiveFrameGivesTheSearchSpan) {
    FileJPGAnalyser a;
    MemoryDevice dev(Jpeg(40, 30, 3000), 512);
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(dev.Bytes().data(), hit));
    ASSERT_TRUE(a.ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, Jpeg(40, 30, 3000).size() - 1000);
    // With the second frame's 1 x 1 the span would be 3 bytes and the end never reached.
    EXPECT_GT(hit.size, 3000u);
}

TEST(JpegSize, HugeDimensionsDoNotWrap) {
    FileJPGAnalyser a;
    // 65535 x 65535 x 3 passes 32 bits; the search is capped instead of wrapping to a small span.
    MemoryDevice dev(Jpeg(0xFFFF, 0xFFFF, 5000), 512);
    RawHit hit;
    ASSERT_TRUE(a.ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, Jpeg(0xFFFF, 0xFFFF, 5000).size() - 1000);
}

TEST(JpegSize, ExifLoopsAreBounded) {
    // An EXIF block whose directory points at itself.
    Bytes s(4096);
    s.put(0, "\xFF\xD8\xFF\xE1", 4);
    s.be16(4, 200);
    s.put(6, "Exif\0\0II", 8);
    s.le16(14, 42);
    s.le32(16, 8);
    s.le16(20, 1);           // one entry at TIFF offset 8 (file 20)
    s.le16(22, 0x8769);      // EXIF sub-directory ...
    s.le32(30, 8);           // ... pointing back at the same directory
    s.le32(34, 8);           // next directory: itself
    MemoryDevice dev(s, 512);
    FileJPGAnalyser a;
    RawHit hit;
    EXPECT_FALSE(a.ComputeSize(hit, &dev));  // no frame: rejected, but it ends
}

TEST(TiffSize, LittleEndianSubDirectoryAndBoundedModel) {
    Bytes s(4096);
    s.put(0, "II*\0", 4);
    s.le32(4, 8);
    s.le16(8, 2);
    // model text of 64 letters without a terminator
    s.le16(10, 0x110);
    s.le16(12, 2);
    s.le32(14, 64);
    s.le32(18, 1000);
    for (int i = 0; i < 64; ++i) s[1000 + i] = 'N';
    s.put(1000, "NIKON D70");
    s.le16(22, 0x14A);
    s.le16(24, 4);
    s.le32(26, 2);
    s.le32(30, 2000);
    s.le32(2004, 2100);  // second sub-directory, little-endian like the file
    s.le16(2100, 2);
    s.le16(2102, 0x111);
    s.le32(2110, 3000);
    s.le16(2114, 0x117);
    s.le32(2122, 900);
    MemoryDevice dev(s, 512);
    FileTIFAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, 3900u);
    EXPECT_EQ(hit.fileTypeId, 73u);
    EXPECT_EQ(hit.namePrefix.size(), 63u);
    EXPECT_EQ(a.GetInfoText(), hit.namePrefix);
}

TEST(PsdSize, ImageDataIsCounted) {
    Bytes s(8192);
    s.put(0, "8BPS");
    s.be16(4, 1);
    s.be16(12, 3);    // channels
    s.be32(14, 10);   // height
    s.be32(18, 20);   // width
    s.be16(22, 8);
    s.be32(26, 0);    // colour mode data
    s.be32(30, 100);  // image resources
    s.be32(134, 0);   // layers
    s.be16(138, 0);   // raw data
    MemoryDevice dev(s, 512);
    RawHit hit;
    ASSERT_TRUE(FilePSDAnalyser().ComputeSize(hit, &dev));
    EXPECT_EQ(hit.size, 140u + 3 * 10 * 20);
    s.be16(138, 1);   // run-length rows: a table of 30 lengths of 7
    for (int i = 0; i < 30; ++i) s.be16(140 + 2 * i, 7);
    MemoryDevice rle(s, 512);
    ASSERT_TRUE(FilePSDAnalyser().ComputeSize(hit, &rle));
    EXPECT_EQ(hit.size, 140u + 60 + 30 * 7);
    s.be16(138, 2);
    MemoryDevice zip(s, 512);
    EXPECT_FALSE(FilePSDAnalyser().ComputeSize(hit, &zip));
}

TEST(CptSize, OffsetsBelowTheirBaseAreRejected) {
    Bytes s(2048);
    s.put(0, "CPT9FILE");
    s.le32(52, 316);
    s.le32(0x28, 1);
    s.le32(316, 1024);
    s.le32(1024 + 0x3C, 4);  // C = 4: C - 8 would wrap
    s.le32(1024 + 0x40, 1);
    MemoryDevice dev(s, 512);
    FileCPTAnalyser a;
    RawHit hit;
    ASSERT_TRUE(a.IsHeader(s.data(), hit));
    EXPECT_FALSE(a.ComputeSize(hit, &dev));
    s.le32(0x28, 0x7FFFFFFF);  // n far out
    MemoryDevice far(s, 512);
    EXPECT_FALSE(a.ComputeSize(hit, &far));
}

}  // namespace
