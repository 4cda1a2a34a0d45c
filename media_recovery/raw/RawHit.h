#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
    // Where the file's own structure breaks off (or the device ends) before the file does: the
    // size then ends there, and this says why. Empty for a file carved whole.
    std::string partReason;
    // The device sectors of the file, {first, count} in order, when they do not simply follow its
    // start (a file system placed its own blocks between them); empty otherwise.
    std::vector<std::pair<uint64_t, uint64_t>> runs;

    // Cuts the file to size bytes, and says why.
    void CutInPart(uint64_t at, std::string why) {
        size = at;
        partReason = std::move(why);
    }

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
        partReason.clear();
        runs.clear();
    }
};
