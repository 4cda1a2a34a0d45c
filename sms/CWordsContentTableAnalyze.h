#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "words_content" table.
class CWordsContentTableAnalyze : public CLayoutTableAnalyze {
public:
    CWordsContentTableAnalyze() : CLayoutTableAnalyze(kWordsContentLayout) {}
};
