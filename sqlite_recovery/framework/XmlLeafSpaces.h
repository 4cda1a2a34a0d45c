#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Where a document's pieces lie, found as its leaves' blanks are written as references.
struct XmlLeafLayout {
    // Each leaf's text: its first byte and its size, in document order.
    std::vector<std::pair<size_t, size_t>> leaves;
    size_t rootStartEnd = 0;        // just past the root's start tag; 0 when there is none
    std::vector<size_t> childEnds;  // just past each of the root's child elements
    bool nested = true;             // every end tag closes an element
};

// The document with the white space inside each leaf's text written as character references,
// where the XML parser would otherwise fold it: runs of it, and any at the text's start or end.
// The parser folds white space as it reads a document, so a value read back would lose its
// blanks; a reference it reads as the character itself. A single blank between two other
// characters stays as it is. Attribute values are left alone (the parser keeps them). Where the
// leaves and the root's children lie goes to layout.
std::string KeepLeafSpaces(const char* xml, size_t size, XmlLeafLayout* layout);
std::string KeepLeafSpaces(const std::string& xml);
