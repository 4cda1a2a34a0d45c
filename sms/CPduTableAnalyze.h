#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "pdu" table.
class CPduTableAnalyze : public CLayoutTableAnalyze {
public:
    CPduTableAnalyze() : CLayoutTableAnalyze(kPduLayout) {}
};
