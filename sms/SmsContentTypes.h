#pragma once
#include <string>

// The content class of a part's "ct" (0..6), or -1 when the part is of no known kind.
int ClassifyContentType(const std::string& type);
// The multipart kind of a pdu's "ct_t" (0 mixed, 1 related, 2 alternative), or -1.
int LookupMultipartKind(const std::string& type);
