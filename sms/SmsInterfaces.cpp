// Out-of-line destructors: each conversation interface's type information has one home.
#include "ISMSSession.h"

ISMSItem::~ISMSItem() {}
ISMSData::~ISMSData() {}
ISMSSession::~ISMSSession() {}
ISMSDocument::~ISMSDocument() {}
