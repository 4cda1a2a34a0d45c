// Out-of-line destructors: each contract interface's type information has one home per module.
#include "logic_contract/ILogicalController.h"
#include "logic_contract/INotifyCenter.h"
#include "logic_contract/IItemReader.h"
#include "logic_contract/IRecoveryJob.h"
#include "logic_contract/IResourceReader.h"

INotifyCenter::~INotifyCenter() {}
IResourceReader::~IResourceReader() {}
IItemReader::~IItemReader() {}
IRecoveryJob::~IRecoveryJob() {}
ILogicalController::~ILogicalController() {}
