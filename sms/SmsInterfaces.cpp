// Out-of-line destructors: each conversation interface's type information has one home.
#include "sms/ISMSSession.h"

ISMSItem::~ISMSItem() {}
ISMSData::~ISMSData() {}
ISMSSession::~ISMSSession() {}
ISMSDocument::~ISMSDocument() {}
ISMSMessageKind::~ISMSMessageKind() {}
