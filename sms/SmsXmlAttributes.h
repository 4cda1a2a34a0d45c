#pragma once
#include <cstdint>

class TiXmlElement;

// A decimal attribute with its full 64 bits; 0 when absent or not a number.
int64_t ReadInt64Attribute(const TiXmlElement* element, const char* name);
// The same clamped to the range of int, for the interfaces that return int.
int ReadIntAttribute(const TiXmlElement* element, const char* name);
int ClampToInt(int64_t value);

// Whether no element of the text nests deeper than limit. The XML parser recurses once per level,
// so a text from a message (an MMS presentation) is checked before it is parsed.
bool XmlNestingWithin(const char* text, int limit);
