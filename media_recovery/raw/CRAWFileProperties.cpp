#include "CRAWFileProperties.h"

CRAWFileProperties::~CRAWFileProperties() = default;
