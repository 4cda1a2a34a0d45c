#include "media_recovery/raw/RawFileTypes.h"

namespace {

// Six bytes a row, a zero-terminated name per id.
const char kTypeNames[RAW_TYPE_COUNT][6] = {
    "Raw", "3DS", "3GP", "ADP", "ANI", "AI", "ASF", "AU", "AVI", "BMP", "CAB", "CDR", "CHM", "CLK", "CMX",
    "CPT", "CRW", "CSL", "CUR", "DBX", "DLL", "DOC", "DWG", "DXF", "EMF", "EPS", "EXE", "FH11", "GIF", "GZ",
    "HLP", "HTM", "ICO", "JPG", "LZH", "MAX", "MID", "MDB", "MNY", "MOF", "MOV", "MP3", "MP4", "MPP", "OLE",
    "ONE", "PDF", "PNG", "PPT", "PUB", "PSD", "PSP", "PST", "QPW", "RAR", "RIFF", "RTF", "SHW", "SWF", "TAR",
    "TIF", "TTF", "VSD", "WAV", "WPD", "WPG", "WMF", "XLS", "ZIP", "DOCX", "XLSX", "PPTX", "ACCDB", "NEF",
};

}  // namespace

const char* GetRawTypeName(uint32_t typeId) {
    return typeId < RAW_TYPE_COUNT ? kTypeNames[typeId] : nullptr;
}
