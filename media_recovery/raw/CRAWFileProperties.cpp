#include "media_recovery/raw/CRAWFileProperties.h"

CRAWFileProperties::~CRAWFileProperties() = default;
