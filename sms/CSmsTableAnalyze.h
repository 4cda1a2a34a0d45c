#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "sms" table.
class CSmsTableAnalyze : public CLayoutTableAnalyze {
public:
    CSmsTableAnalyze() : CLayoutTableAnalyze(kSmsLayout) {}
};
