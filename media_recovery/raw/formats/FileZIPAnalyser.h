#pragma once
#include "media_recovery/raw/IRawFileAnalyser.h"

// ZIP archives, with the Office Open XML packages (DOCX, XLSX, PPTX) and CorelDRAW's zipped
// drawings told apart by their entry names.
class FileZIPAnalyser : public IRawFileAnalyser {
public:
    FileZIPAnalyser() : IRawFileAnalyser(RAW_TYPE_ZIP) {}
    bool IsHeader(const uint8_t* sector, RawHit& hit) override;
    bool ComputeSize(RawHit& hit, IStorageDevice* device) override;
    void GetLeadBytes(LeadByteSet& set) const override {
        set.reset();
        set.set('P');
    }

    bool IsOfficePackage() const { return officePackage_; }
    bool IsDrawingPackage() const { return drawingPackage_; }

private:
    bool officePackage_ = false;   // first entry "[Content_Types].xml"
    bool drawingPackage_ = false;  // first entry "content/riffData.cdr"
};
