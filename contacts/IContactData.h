#pragma once
#include <cstddef>

#include "sqlite_recovery/framework/ICommon.h"

// One field of a recovered contact. Every item handed out is new; the receiver releases it.
class RK_INTERFACE IConactItem : public ICommon {
public:
    ~IConactItem() override;
    // The field-type code of the "res" attribute; -1 when the type is a custom label.
    virtual int GetResId() = 0;
    virtual const char* GetLabel() = 0;
    // 1 text, 2 binary.
    virtual int GetKind() = 0;
    // The text of a text item, the decoded bytes of a binary one.
    virtual const char* GetValue() = 0;
    // Text: its byte length plus the terminating zero; binary: the byte count.
    virtual int GetLength() = 0;
    // 1 for a value the field held before an edit (its contact's field has another now), else 0.
    virtual int GetFlag() = 0;
    // The stored text of a binary item (its base64 form).
    virtual const char* GetRawText() = 0;
};

// One recovered contact, a read-only view over its XML document.
class RK_INTERFACE IContactData : public ICommon {
public:
    ~IContactData() override;
    // Walk over the fields in document order; the name and the photo are reached only through
    // GetName and GetPhoto.
    virtual IConactItem* FirstItem() = 0;
    virtual IConactItem* NextItem() = 0;
    virtual IConactItem* GetName() = 0;
    virtual IConactItem* GetPhoto() = 0;
    virtual IConactItem* GetPhone() = 0;
    virtual IConactItem* GetEmail() = 0;
    // 1 also when the document has no root.
    virtual int IsDeleted() = 0;
    // The keyword is expected upper-cased, as the container stores it; empty matches everything.
    virtual int Matches(const char* keyword) = 0;
};

// The contact's XML document as text, for callers that store or export it. Reached from an
// IContactData by a run-time cast, so that the data object's slots stay as they are.
class RK_INTERFACE IContactDocument {
public:
    virtual ~IContactDocument();
    virtual const char* GetDocumentText() = 0;
    // What the document says beside the items' values, so that an export need not parse it: the
    // names of the root's child elements in order and of their leaves ("" for none; null past the
    // last), and an attribute of the first name item's leaf ("family", "given", "middle", "prefix",
    // "suffix"; "" when absent).
    virtual const char* ItemElement(size_t index) = 0;
    virtual const char* ItemLeaf(size_t index) = 0;
    virtual const char* NamePart(const char* part) = 0;
};
