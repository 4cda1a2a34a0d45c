#pragma once
#include <vector>

#include "media_recovery/raw/IRawFileAnalyser.h"

using RawAnalyserList = std::vector<IRawFileAnalyser*>;

// The 48 analyser classes of signature carving, in registration order.
enum class RawAnalyserClass {
    F3DS, F3GP, ASF, AU, BMP, CAB, CHM, CPT, CRW, DBX, DWG, DXF, EMF, EPS, FH11, GIF, GZ, HLP, HTM, ICO, JPG,
    LowDoc, LZH, MDB, MID, MNY, MOV, MP3, MP4, OLE, ONE, PDF, PNG, PSD, PSP, PST, RAR, RIFF, RTF, SWF, TAR,
    TIF, TTF, UnicodeHTM, WMF, WPD, ZIP, Custom,
    Count
};

// A new instance of the class, or null when the class is not available in this build.
IRawFileAnalyser* NewRawAnalyser(RawAnalyserClass cls);

// The process-wide analyser list (owned; built on first use, destroyed at exit).
RawAnalyserList& GetRawAnalyserList();
void RegisterRawAnalysers(RawAnalyserList& list);
void ClearRawAnalyserList(RawAnalyserList& list);
// Appends the analyser(s) that recognise a file type id; a CustomFileAnalyser for ids outside 1..73.
void CreateRawAnalyser(RawAnalyserList& list, int typeId);
// The ids a search requests, in the order their analysers are asked.
const std::vector<int>& GetSearchTypeOrder();
