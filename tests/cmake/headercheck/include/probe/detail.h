// Included by complete.h through the include directory the check is given.
#pragma once
inline const char* Detail() { return "d"; }
