#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include <tinyxml.h>

// Prints a three-level document a piece at a time, each piece as TinyXML prints it within the
// whole: the root's items one at a time as they are made (an item may be reused, its values
// changed, and printed again), then the head once the root's attributes are known. The pieces
// put together are the document's text; no document of every item is held at once.
class XmlItemPrinter {
public:
    explicit XmlItemPrinter(const char* rootName);
    XmlItemPrinter(const XmlItemPrinter&) = delete;
    XmlItemPrinter& operator=(const XmlItemPrinter&) = delete;

    // Items are added under it; they stay until the caller removes them.
    TiXmlElement* Root() { return &root_; }
    // The root's items as they stand, as their text follows what comes before them in the
    // document: from the line break before the first start tag to the end of the last end tag.
    // Points into the printer, valid until the next print. False when the root has no item.
    bool PrintItems(const char** text, size_t* size);

    // The declaration and the start tag of a root that holds the given attributes (the root's
    // own name), and the document's end after its last item.
    bool PrintHead(const TiXmlElement& attributes, std::string* head, std::string* tail) const;

private:
    TiXmlElement root_;
    std::unique_ptr<TiXmlPrinter> printer_;  // what it printed before stays: its buffer is reused
};
