#pragma once
#include <tinyxml.h>

// The document type of the per-contact and per-conversation XML.
class CTiXmlDocumentEx : public TiXmlDocument {
public:
    using TiXmlDocument::TiXmlDocument;
};
