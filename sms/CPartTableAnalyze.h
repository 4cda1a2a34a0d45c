#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "part" table.
class CPartTableAnalyze : public CLayoutTableAnalyze {
public:
    CPartTableAnalyze() : CLayoutTableAnalyze(kPartLayout) {}
};
