// A patient's stored image files: the wildcard pattern that finds them in a
// folder and the test on the key in front of the first "_", which the
// pattern alone cannot make because the listing ignores case.
#pragma once

#include <string>
#include <string_view>

namespace tavirex {

// folder + "\" + PatID + "_*.*" (C:\img\4711_*.*).
std::string PatientFilePattern(std::string_view folder, std::string_view PatID);

// True when the name's field 0, the text before its first "_", is PatID
// exactly (case-sensitive).
bool IsPatientFile(std::string_view name, std::string_view PatID);

}  // namespace tavirex
