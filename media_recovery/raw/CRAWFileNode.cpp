#include "media_recovery/raw/CRAWFileNode.h"

CRAWFileNode::~CRAWFileNode() = default;

void CRAWFileNode::SetProperties(std::unique_ptr<CRAWFileProperties> properties) {
    properties_ = std::move(properties);
    SetDataRuns(properties_ ? properties_->GetDataRuns() : nullptr);
}
