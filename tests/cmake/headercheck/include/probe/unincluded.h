// Uses std::string without including <string>.
#pragma once
inline std::string Unincluded() { return "u"; }
