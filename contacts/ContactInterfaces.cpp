// Out-of-line destructors: each contact interface's type information has one home per module, and
// the run-time cast from a caller's module finds the library's objects.
#include "contacts/IContactData.h"

IConactItem::~IConactItem() {}
IContactData::~IContactData() {}
IContactDocument::~IContactDocument() {}
