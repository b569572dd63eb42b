// The capture workflow's pieces that stand on their own.
#pragma once

#include <string>

#include "interface/cls_tavirex.h"

namespace tavirex {

inline constexpr const char* kDefaultVendorProgram = "C:\\KSOCTVIEW\\bin\\CreatePatient.exe";

// The vendor program's nine command-line parameters for the patient in
// `props`, joined by single blanks.
std::string BuildVendorParameters(const TavirexProperties& props, const std::string& capture_date);

// The folder part of a program path, up to and including its last backslash
// ("" when it has none).
std::string ProgramFolder(const std::string& program_path);

}  // namespace tavirex
