#include "sqlite_recovery/framework/CXmlWriter.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

ResultCode CXmlWriter::Create() {
    Free();
    document_ = new (std::nothrow) CTiXmlDocumentEx;
    if (!document_) return RK_FAIL(RK_E_FAIL);
    // A document without its declaration is still usable.
    declaration_ = new (std::nothrow) TiXmlDeclaration("1.0", "utf-8", "");
    if (declaration_) document_->LinkEndChild(declaration_);
    return RK_OK;
}

int CXmlWriter::AddRoot(const char* name) {
    if (!document_ || !name) return 1;
    TiXmlElement* element = new (std::nothrow) TiXmlElement(name);
    if (!element) return 1;
    document_->LinkEndChild(element);
    root_ = element;
    return 0;
}

int CXmlWriter::AddItem(const char* name) {
    if (!root_ || !name) return 1;
    TiXmlElement* element = new (std::nothrow) TiXmlElement(name);
    if (!element) return 1;
    root_->LinkEndChild(element);
    item_ = element;
    leaf_ = nullptr;
    return 0;
}

int CXmlWriter::AddLeaf(const char* name, const char* text) {
    if (!item_ || !name) return 1;
    TiXmlElement* element = new (std::nothrow) TiXmlElement(name);
    if (!element) return 1;
    TiXmlText* node = new (std::nothrow) TiXmlText(text ? text : "");
    if (!node) {
        delete element;
        return 1;
    }
    element->LinkEndChild(node);
    item_->LinkEndChild(element);
    leaf_ = element;
    return 0;
}

ResultCode CXmlWriter::SetAttribute(TiXmlElement* element, const char* name, const char* value) {
    if (!element || !name) return RK_FAIL(RK_E_FAIL);
    // An existing attribute keeps its place and takes the new value.
    element->SetAttribute(name, value ? value : "");
    return RK_OK;
}

ResultCode CXmlWriter::SetRootAttribute(const char* name, const char* value) { return SetAttribute(root_, name, value); }

namespace {
// A number as an attribute carries it: decimal, with a sign when negative.
struct DecimalText {
    char text[24];
    explicit DecimalText(int64_t value) { std::snprintf(text, sizeof text, "%" PRId64, value); }
};
}  // namespace

ResultCode CXmlWriter::SetRootAttributeInt64(const char* name, int64_t value) {
    return SetAttribute(root_, name, DecimalText(value).text);
}

ResultCode CXmlWriter::SetItemAttribute(const char* name, const char* value) { return SetAttribute(item_, name, value); }

ResultCode CXmlWriter::SetItemAttributeInt(const char* name, int value) {
    return SetAttribute(item_, name, DecimalText(value).text);
}

ResultCode CXmlWriter::SetItemAttributeInt64(const char* name, int64_t value) {
    return SetAttribute(item_, name, DecimalText(value).text);
}

ResultCode CXmlWriter::SetLeafAttribute(const char* name, const char* value) { return SetAttribute(leaf_, name, value); }

ResultCode CXmlWriter::SetLeafAttributeInt(const char* name, int value) {
    return SetAttribute(leaf_, name, DecimalText(value).text);
}

char* CXmlWriter::Print() const {
    if (!document_) return nullptr;
    TiXmlPrinter printer;
    document_->Accept(&printer);
    size_t size = printer.Size();
    if (size == 0) return nullptr;
    char* text = new (std::nothrow) char[size + 1];
    if (!text) return nullptr;
    std::memcpy(text, printer.CStr(), size);
    text[size] = '\0';
    return text;
}

void CXmlWriter::Free() {
    delete document_;
    document_ = nullptr;
    declaration_ = nullptr;
    root_ = nullptr;
    item_ = nullptr;
    leaf_ = nullptr;
}
