#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "media_recovery/file_model/IFileProperties.h"

// Properties of a carved file: its size, the analyser's extra name and one extent.
class CRAWFileProperties : public IFileProperties {
public:
    CRAWFileProperties() = default;
    // The extents belong to the node, which releases them.
    ~CRAWFileProperties() override;
    CRAWFileProperties(const CRAWFileProperties&) = delete;
    CRAWFileProperties& operator=(const CRAWFileProperties&) = delete;

    uint16_t GetNameLength() override { return nameLength_; }
    void SetName(const char*) override {}
    char* GetName() override { return name_.get(); }
    uint64_t GetSize() override { return size_; }
    uint16_t GetAttributes() override { return attributes_; }
    std::string GetExtraName() override { return extraName_; }
    uint64_t* GetCreationTime(uint64_t* out) override { return Zero(out); }
    uint64_t* GetModificationTime(uint64_t* out) override { return Zero(out); }
    uint64_t* GetAccessTime(uint64_t* out) override { return Zero(out); }
    uint8_t GetFlags() override { return flags_; }
    void SetFlags(uint8_t flags) override { flags_ = flags; }
    IDataRunList* GetDataRuns() override { return runs_; }
    // Carved properties are never copied.
    IFileProperties* Clone() override { return this; }
    virtual uint8_t GetByteA() { return byteA_; }
    virtual void SetByteA(uint8_t v) { byteA_ = v; }
    virtual int GetKindConstant() { return 463; }
    virtual uint8_t GetByteB() { return byteB_; }
    virtual int SetByteB(uint8_t v) {
        byteB_ = v;
        return 1;
    }

    void SetSize(uint64_t size) { size_ = size; }
    void SetAttributes(uint16_t a) { attributes_ = a; }
    void SetExtraName(const std::string& s) { extraName_ = s; }
    void SetDataRuns(IDataRunList* runs) { runs_ = runs; }

private:
    static uint64_t* Zero(uint64_t* out) {
        if (out) *out = 0;
        return out;
    }
    uint8_t nameLength_ = 0;
    std::unique_ptr<char[]> name_;
    uint64_t size_ = 0;
    uint16_t attributes_ = 0;
    uint8_t byteA_ = 0;
    uint8_t byteB_ = 0;
    uint8_t flags_ = 0;
    std::string extraName_;
    std::unique_ptr<uint8_t[]> bytes_;
    IDataRunList* runs_ = nullptr;
};
