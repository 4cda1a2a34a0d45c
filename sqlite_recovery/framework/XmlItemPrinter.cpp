#include "sqlite_recovery/framework/XmlItemPrinter.h"

#include <cstring>

namespace {
// A printer's text is kept until it holds this much; then a new one starts. Small enough to stay in
// the cache and in the heap's reused blocks: each larger step of a growing text is a new block the
// size of the text, copied into.
constexpr size_t kMaxPrinterText = 1u << 16;
}  // namespace

XmlItemPrinter::XmlItemPrinter(const char* rootName) : root_(rootName) {}

bool XmlItemPrinter::PrintItems(const char** text, size_t* size) {
    if (!root_.FirstChild()) return false;
    if (!printer_ || printer_->Size() > kMaxPrinterText) printer_.reset(new TiXmlPrinter);
    const size_t before = printer_->Size();
    // The root without attributes prints as its start tag and a line break, the items one level
    // in, then a line break and its end tag and a line break.
    root_.Accept(printer_.get());
    const char* printed = printer_->CStr() + before;
    const size_t length = printer_->Size() - before;
    const char* firstBreak = static_cast<const char*>(std::memchr(printed, '\n', length));
    const size_t endTag = std::strlen(root_.Value()) + 4;  // "</" name ">" and its line break
    if (!firstBreak || length < endTag + 1) return false;
    const size_t from = static_cast<size_t>(firstBreak - printed), to = length - endTag - 1;
    if (to < from || printed[to] != '\n') return false;
    *text = printed + from;
    *size = to - from;
    return true;
}

bool XmlItemPrinter::PrintHead(const TiXmlElement& attributes, std::string* head, std::string* tail) const {
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* root = new TiXmlElement(root_.Value());
    for (const TiXmlAttribute* a = attributes.FirstAttribute(); a; a = a->Next()) root->SetAttribute(a->Name(), a->Value());
    document.LinkEndChild(root);
    TiXmlPrinter printer;
    document.Accept(&printer);
    // A root without children prints as an empty-element tag: its start tag is that without the
    // slash.
    static const char kEmptyEnd[] = " />\n";
    const size_t size = printer.Size(), endSize = sizeof kEmptyEnd - 1;
    if (size < endSize || std::memcmp(printer.CStr() + size - endSize, kEmptyEnd, endSize) != 0) return false;
    head->assign(printer.CStr(), size - endSize);
    *head += '>';
    *tail = "\n</";
    *tail += root_.Value();
    *tail += ">\n";
    return true;
}
