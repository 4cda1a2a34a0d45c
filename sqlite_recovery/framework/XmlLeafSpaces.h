#pragma once
#include <string>

// The document with the white space inside each leaf's text written as character references,
// where the XML parser would otherwise fold it: runs of it, and any at the text's start or end.
// The parser folds white space as it reads a document, so a value read back would lose its
// blanks; a reference it reads as the character itself. A single blank between two other
// characters stays as it is. Attribute values are left alone (the parser keeps them).
std::string KeepLeafSpaces(const std::string& xml);
