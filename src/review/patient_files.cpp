#include "review/patient_files.h"

namespace tavirex {

std::string PatientFilePattern(std::string_view folder, std::string_view PatID) {
  std::string pattern(folder);
  pattern += '\\';
  pattern += PatID;
  pattern += "_*.*";
  return pattern;
}

bool IsPatientFile(std::string_view name, std::string_view PatID) {
  return name.substr(0, name.find('_')) == PatID;
}

}  // namespace tavirex
