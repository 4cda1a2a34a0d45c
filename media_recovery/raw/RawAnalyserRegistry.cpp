#include "media_recovery/raw/RawAnalyserRegistry.h"

#include <memory>
#include <new>

#include "media_recovery/raw/CustomFileAnalyser.h"
#include "media_recovery/raw/formats/File3DSAnalyser.h"
#include "media_recovery/raw/formats/File3GPAnalyser.h"
#include "media_recovery/raw/formats/FileASFAnalyser.h"
#include "media_recovery/raw/formats/FileAUAnalyser.h"
#include "media_recovery/raw/formats/FileBMPAnalyser.h"
#include "media_recovery/raw/formats/FileCABAnalyser.h"
#include "media_recovery/raw/formats/FileCHMAnalyser.h"
#include "media_recovery/raw/formats/FileCPTAnalyser.h"
#include "media_recovery/raw/formats/FileCRWAnalyser.h"
#include "media_recovery/raw/formats/FileDBXAnalyser.h"
#include "media_recovery/raw/formats/FileDWGAnalyser.h"
#include "media_recovery/raw/formats/FileDXFAnalyser.h"
#include "media_recovery/raw/formats/FileEMFAnalyser.h"
#include "media_recovery/raw/formats/FileEPSAnalyser.h"
#include "media_recovery/raw/formats/FileFH11Analyser.h"
#include "media_recovery/raw/formats/FileGIFAnalyser.h"
#include "media_recovery/raw/formats/FileGZAnalyser.h"
#include "media_recovery/raw/formats/FileHLPAnalyser.h"
#include "media_recovery/raw/formats/FileHTMAnalyser.h"
#include "media_recovery/raw/formats/FileICOAnalyser.h"
#include "media_recovery/raw/formats/FileJPGAnalyser.h"
#include "media_recovery/raw/formats/FileLZHAnalyser.h"
#include "media_recovery/raw/formats/FileLowDocAnalyser.h"
#include "media_recovery/raw/formats/FileMDBAnalyser.h"
#include "media_recovery/raw/formats/FileMIDAnalyser.h"
#include "media_recovery/raw/formats/FileMNYAnalyser.h"
#include "media_recovery/raw/formats/FileMOVAnalyser.h"
#include "media_recovery/raw/formats/FileMP3Analyser.h"
#include "media_recovery/raw/formats/FileMP4Analyser.h"
#include "media_recovery/raw/formats/FileOLEAnalyser.h"
#include "media_recovery/raw/formats/FileONEAnalyser.h"
#include "media_recovery/raw/formats/FilePDFAnalyser.h"
#include "media_recovery/raw/formats/FilePNGAnalyser.h"
#include "media_recovery/raw/formats/FilePSDAnalyser.h"
#include "media_recovery/raw/formats/FilePSPAnalyser.h"
#include "media_recovery/raw/formats/FilePSTAnalyser.h"
#include "media_recovery/raw/formats/FileRARAnalyser.h"
#include "media_recovery/raw/formats/FileRIFFAnalyser.h"
#include "media_recovery/raw/formats/FileRTFAnalyser.h"
#include "media_recovery/raw/formats/FileSWFAnalyser.h"
#include "media_recovery/raw/formats/FileTARAnalyser.h"
#include "media_recovery/raw/formats/FileTIFAnalyser.h"
#include "media_recovery/raw/formats/FileTTFAnalyser.h"
#include "media_recovery/raw/formats/FileUnicodeHTMAnalyser.h"
#include "media_recovery/raw/formats/FileWMFAnalyser.h"
#include "media_recovery/raw/formats/FileWPDAnalyser.h"
#include "media_recovery/raw/formats/FileZIPAnalyser.h"

namespace {

using Factory = IRawFileAnalyser* (*)();

template <class T>
IRawFileAnalyser* Make() {
    return new (std::nothrow) T();
}

// Classes not built yet have no factory; their ids then append nothing.
Factory FactoryOf(RawAnalyserClass cls) {
    switch (cls) {
        case RawAnalyserClass::BMP: return &Make<FileBMPAnalyser>;
        case RawAnalyserClass::CPT: return &Make<FileCPTAnalyser>;
        case RawAnalyserClass::CRW: return &Make<FileCRWAnalyser>;
        case RawAnalyserClass::EMF: return &Make<FileEMFAnalyser>;
        case RawAnalyserClass::EPS: return &Make<FileEPSAnalyser>;
        case RawAnalyserClass::GIF: return &Make<FileGIFAnalyser>;
        case RawAnalyserClass::ICO: return &Make<FileICOAnalyser>;
        case RawAnalyserClass::JPG: return &Make<FileJPGAnalyser>;
        case RawAnalyserClass::PNG: return &Make<FilePNGAnalyser>;
        case RawAnalyserClass::PSD: return &Make<FilePSDAnalyser>;
        case RawAnalyserClass::PSP: return &Make<FilePSPAnalyser>;
        case RawAnalyserClass::TIF: return &Make<FileTIFAnalyser>;
        case RawAnalyserClass::WMF: return &Make<FileWMFAnalyser>;
        case RawAnalyserClass::F3DS: return &Make<File3DSAnalyser>;
        case RawAnalyserClass::F3GP: return &Make<File3GPAnalyser>;
        case RawAnalyserClass::ASF: return &Make<FileASFAnalyser>;
        case RawAnalyserClass::AU: return &Make<FileAUAnalyser>;
        case RawAnalyserClass::CAB: return &Make<FileCABAnalyser>;
        case RawAnalyserClass::CHM: return &Make<FileCHMAnalyser>;
        case RawAnalyserClass::DBX: return &Make<FileDBXAnalyser>;
        case RawAnalyserClass::DWG: return &Make<FileDWGAnalyser>;
        case RawAnalyserClass::DXF: return &Make<FileDXFAnalyser>;
        case RawAnalyserClass::FH11: return &Make<FileFH11Analyser>;
        case RawAnalyserClass::GZ: return &Make<FileGZAnalyser>;
        case RawAnalyserClass::HLP: return &Make<FileHLPAnalyser>;
        case RawAnalyserClass::HTM: return &Make<FileHTMAnalyser>;
        case RawAnalyserClass::LowDoc: return &Make<FileLowDocAnalyser>;
        case RawAnalyserClass::LZH: return &Make<FileLZHAnalyser>;
        case RawAnalyserClass::MDB: return &Make<FileMDBAnalyser>;
        case RawAnalyserClass::MID: return &Make<FileMIDAnalyser>;
        case RawAnalyserClass::MNY: return &Make<FileMNYAnalyser>;
        case RawAnalyserClass::MOV: return &Make<FileMOVAnalyser>;
        case RawAnalyserClass::MP3: return &Make<FileMP3Analyser>;
        case RawAnalyserClass::MP4: return &Make<FileMP4Analyser>;
        case RawAnalyserClass::OLE: return &Make<FileOLEAnalyser>;
        case RawAnalyserClass::ONE: return &Make<FileONEAnalyser>;
        case RawAnalyserClass::PDF: return &Make<FilePDFAnalyser>;
        case RawAnalyserClass::PST: return &Make<FilePSTAnalyser>;
        case RawAnalyserClass::RAR: return &Make<FileRARAnalyser>;
        case RawAnalyserClass::RIFF: return &Make<FileRIFFAnalyser>;
        case RawAnalyserClass::RTF: return &Make<FileRTFAnalyser>;
        case RawAnalyserClass::SWF: return &Make<FileSWFAnalyser>;
        case RawAnalyserClass::TAR: return &Make<FileTARAnalyser>;
        case RawAnalyserClass::TTF: return &Make<FileTTFAnalyser>;
        case RawAnalyserClass::UnicodeHTM: return &Make<FileUnicodeHTMAnalyser>;
        case RawAnalyserClass::WPD: return &Make<FileWPDAnalyser>;
        case RawAnalyserClass::ZIP: return &Make<FileZIPAnalyser>;
        case RawAnalyserClass::Custom: return &Make<CustomFileAnalyser>;
        default: return nullptr;
    }
}

using C = RawAnalyserClass;

// What each file type id appends, in order (ids 0..73).
struct TypeRow {
    C first;
    C second;  // Count: none
};
constexpr C kNone = C::Count;

const TypeRow kTypeRows[74] = {
    {C::Custom, kNone},  // 0 Raw
    {C::F3DS, kNone},    {C::F3GP, kNone},  {C::ONE, kNone},   {C::RIFF, kNone},       // 1-4
    {C::PDF, kNone},     {C::ASF, kNone},   {C::AU, kNone},    {C::RIFF, kNone},       // 5-8
    {C::BMP, kNone},     {C::CAB, kNone},   {C::RIFF, kNone},  {C::CHM, kNone},        // 9-12
    {C::RIFF, kNone},    {C::RIFF, kNone},  {C::CPT, kNone},   {C::CRW, kNone},        // 13-16
    {C::RIFF, kNone},    {C::ICO, kNone},   {C::DBX, kNone},   {kNone, kNone},         // 17-20
    {C::OLE, C::LowDoc}, {C::DWG, kNone},   {C::DXF, kNone},   {C::EMF, kNone},        // 21-24
    {C::EPS, kNone},     {kNone, kNone},    {C::FH11, kNone},  {C::GIF, kNone},        // 25-28
    {C::GZ, kNone},      {C::HLP, kNone},   {C::HTM, C::UnicodeHTM}, {C::ICO, kNone},  // 29-32
    {C::JPG, kNone},     {C::LZH, kNone},   {C::OLE, kNone},   {C::MID, kNone},        // 33-36
    {C::MDB, kNone},     {C::MNY, kNone},   {C::OLE, kNone},   {C::MOV, kNone},        // 37-40
    {C::MP3, kNone},     {C::MP4, kNone},   {C::OLE, kNone},   {C::OLE, kNone},        // 41-44
    {C::ONE, kNone},     {C::PDF, kNone},   {C::PNG, kNone},   {C::OLE, kNone},        // 45-48
    {C::OLE, kNone},     {C::PSD, kNone},   {C::PSP, kNone},   {C::PST, kNone},        // 49-52
    {C::OLE, kNone},     {C::RAR, kNone},   {C::RIFF, kNone},  {C::RTF, kNone},        // 53-56
    {C::OLE, C::WPD},    {C::SWF, kNone},   {C::TAR, kNone},   {C::TIF, kNone},        // 57-60
    {C::TTF, kNone},     {C::OLE, kNone},   {C::RIFF, kNone},  {C::OLE, C::WPD},       // 61-64
    {C::OLE, C::WPD},    {C::WMF, kNone},   {C::OLE, kNone},   {C::ZIP, kNone},        // 65-68
    {C::ZIP, kNone},     {C::ZIP, kNone},   {C::ZIP, kNone},   {C::MDB, kNone},        // 69-72
    {C::TIF, kNone},                                                                   // 73 NEF
};

void Append(RawAnalyserList& list, C cls) {
    if (cls == kNone) return;
    if (IRawFileAnalyser* a = NewRawAnalyser(cls)) {
        try {
            list.push_back(a);
        } catch (const std::bad_alloc&) {
            delete a;
        }
    }
}

struct ListHolder {
    RawAnalyserList list;
    ListHolder() { RegisterRawAnalysers(list); }
    ~ListHolder() { ClearRawAnalyserList(list); }  // the list's analysers die with the process
};

}  // namespace

IRawFileAnalyser* NewRawAnalyser(RawAnalyserClass cls) {
    Factory f = FactoryOf(cls);
    return f ? f() : nullptr;
}

RawAnalyserList& GetRawAnalyserList() {
    static ListHolder holder;
    return holder.list;
}

void RegisterRawAnalysers(RawAnalyserList& list) {
    for (int c = 0; c < static_cast<int>(C::Count); ++c) Append(list, static_cast<C>(c));
}

void ClearRawAnalyserList(RawAnalyserList& list) {
    for (IRawFileAnalyser* a : list) delete a;
    list.clear();
}

void CreateRawAnalyser(RawAnalyserList& list, int typeId) {
    if (typeId < 1 || typeId >= static_cast<int>(RAW_TYPE_COUNT)) {
        Append(list, C::Custom);
        return;
    }
    Append(list, kTypeRows[typeId].first);
    Append(list, kTypeRows[typeId].second);
}

const std::vector<int>& GetSearchTypeOrder() {
    // Ids 1..72 ascending (NEF is never asked for), except that MP4 is asked before MOV: the
    // QuickTime test takes any "ftyp" box, so MP4 files would otherwise never be told apart.
    static const std::vector<int> order = [] {
        std::vector<int> ids;
        for (int id = RAW_TYPE_3DS; id <= static_cast<int>(RAW_TYPE_ACCDB); ++id) {
            if (id == RAW_TYPE_MOV) ids.push_back(RAW_TYPE_MP4);
            if (id == RAW_TYPE_MP4) continue;
            ids.push_back(id);
        }
        return ids;
    }();
    return order;
}
