#pragma once
#include <cstdint>
#include <string>

class IRawFileAnalyser;

// A candidate file found at a sector start; shared by the searcher and the analysers.
struct RawHit {
    uint64_t startSector = 0;    // absolute device sector of the file's first byte
    uint64_t size = 0;           // bytes; 0 while unknown
    uint32_t fileTypeId = 0;     // names and files the result (written by IsHeader / ComputeSize)
    uint32_t analyserTypeId = 0xFFFF;
    std::string namePrefix;      // replaces "FILE" in the generated name when non-empty
    std::string extraName;
    IRawFileAnalyser* analyser = nullptr;  // not owned

    void SetNamePrefix(const std::string& prefix) { namePrefix = prefix; }
    // Back to the state of a fresh hit, so that nothing of a rejected candidate survives.
    void Reset() {
        startSector = 0;
        size = 0;
        fileTypeId = 0;
        analyserTypeId = 0xFFFF;
        namePrefix.clear();
        extraName.clear();
        analyser = nullptr;
    }
};
