// Out-of-line destructors: each contract interface's type information has one home per module.
#include "gui/shell/ILogicalController.h"
#include "gui/shell/INotifyCenter.h"
#include "gui/shell/IItemReader.h"
#include "gui/shell/IRecoveryJob.h"
#include "gui/shell/IResourceReader.h"

INotifyCenter::~INotifyCenter() {}
IResourceReader::~IResourceReader() {}
IItemReader::~IItemReader() {}
IRecoveryJob::~IRecoveryJob() {}
ILogicalController::~ILogicalController() {}
