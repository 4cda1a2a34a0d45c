#include "media_recovery/raw/IRawFileAnalyser.h"

IRawFileAnalyser::~IRawFileAnalyser() = default;

bool IRawFileAnalyser::ComputeSize(RawHit&, IStorageDevice*) { return true; }
