#include "IRawFileAnalyser.h"

IRawFileAnalyser::~IRawFileAnalyser() = default;

bool IRawFileAnalyser::ComputeSize(RawHit&, IStorageDevice*) { return true; }
