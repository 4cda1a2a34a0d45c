#pragma once
#include <string>

// Whether two texts denote the same phone number: formatting is ignored, an international number
// matches its national form with or without the trunk zero, and two carrier prefixes are tolerated.
bool MatchPhoneNumber(const std::string& a, const std::string& b);
