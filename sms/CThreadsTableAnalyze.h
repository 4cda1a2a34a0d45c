#pragma once
#include "sms/CLayoutTableAnalyze.h"

// The analyser of the "threads" table.
class CThreadsTableAnalyze : public CLayoutTableAnalyze {
public:
    CThreadsTableAnalyze() : CLayoutTableAnalyze(kThreadsLayout) {}
};
