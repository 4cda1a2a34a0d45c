#pragma once
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "platform/Export.h"

class IFileNode;
class IProgress;
class IRecoveryFilter;

// Turns the nodes that a searcher finds into result records.
class RK_INTERFACE IDirecotryTreeBuilder {
public:
    virtual ~IDirecotryTreeBuilder();
    // False (and nothing stored) when any argument is null.
    virtual bool Init(IDataContainer<_ARCHIVE_INFOMATION>* container, IProgress* sink, IRecoveryFilter* filter) = 0;
    // True: the builder owns the node from now on (a file becomes a record, a directory is kept
    // aside, a file it does not list may be kept for the clusters it holds). False: the node stays
    // the caller's, who releases it.
    virtual bool AddNode(IFileNode* node, int searcherCode) = 0;
    // Called with (code, 0, 0) before a searcher's first node of a tree walk; returns 1.
    virtual int BeginSearch(int searcherCode, int a, int b) = 0;
    // Called with the code after the walk.
    virtual void EndSearch(int searcherCode) = 0;
    virtual void Release() = 0;
};
