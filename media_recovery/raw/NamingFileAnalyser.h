#pragma once
#include <string>

#include "media_recovery/raw/IRawFileAnalyser.h"

// A format whose size rule also reads two texts from the file (a camera model and a date, a title
// and a year): the first names the carved file, the second becomes its extra name. The texts stay
// those of the last sized candidate.
class NamingFileAnalyser : public IRawFileAnalyser {
public:
    using IRawFileAnalyser::IRawFileAnalyser;
    std::string GetInfoText() override { return text1_; }
    std::string GetInfoText2() override { return text2_; }

protected:
    void ClearTexts() {
        text1_.clear();
        text2_.clear();
    }
    // Keeps both texts and names the candidate after them.
    void NameHit(RawHit& hit, std::string first, std::string second) {
        text1_ = std::move(first);
        text2_ = std::move(second);
        hit.SetNamePrefix(text1_);
        hit.extraName = text2_;
    }

private:
    std::string text1_;
    std::string text2_;
};
