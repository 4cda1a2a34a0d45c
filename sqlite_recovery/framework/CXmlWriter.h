#pragma once
#include <cstdint>

#include "sqlite_recovery/framework/CTiXmlDocumentEx.h"
#include "sqlite_recovery/framework/ResultCode.h"

// Builds a three-level document: one root, items under the root, leaves (one text each) under the
// current item. Attributes go to whatever was added last at each level.
class CXmlWriter {
public:
    CXmlWriter() = default;
    ~CXmlWriter() { Free(); }
    CXmlWriter(const CXmlWriter&) = delete;
    CXmlWriter& operator=(const CXmlWriter&) = delete;

    ResultCode Create();
    int AddRoot(const char* name);
    ResultCode SetRootAttribute(const char* name, const char* value);
    ResultCode SetRootAttributeInt64(const char* name, int64_t value);
    int AddItem(const char* name);
    ResultCode SetItemAttribute(const char* name, const char* value);
    ResultCode SetItemAttributeInt(const char* name, int value);
    ResultCode SetItemAttributeInt64(const char* name, int64_t value);
    int AddLeaf(const char* name, const char* text);
    ResultCode SetLeafAttribute(const char* name, const char* value);
    ResultCode SetLeafAttributeInt(const char* name, int value);
    // The whole document as a new text the caller frees with delete[]; null when there is nothing.
    char* Print() const;
    // The document being built (null before Create), for a caller that prints it itself or reads
    // it as it stands instead of parsing its text again.
    const CTiXmlDocumentEx* Document() const { return document_; }
    void Free();

private:
    static ResultCode SetAttribute(TiXmlElement* element, const char* name, const char* value);

    CTiXmlDocumentEx* document_ = nullptr;
    TiXmlDeclaration* declaration_ = nullptr;
    TiXmlElement* root_ = nullptr;
    TiXmlElement* item_ = nullptr;
    TiXmlElement* leaf_ = nullptr;
};
