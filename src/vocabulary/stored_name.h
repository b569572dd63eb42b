// The stored image name: an exported file's name with the exam record number
// inserted as field 1. The Review functions find a patient's images by it
// alone, and the forwarder reads the eye, date and time from it.
//
//   field 0      the patient key (MakePatID)
//   field 1      the exam record number
//   fields 2-6   the vendor's own, carried unchanged
//   field 7      the eye
//   field 8      the acquisition date as the vendor wrote it
//   field 9      the acquisition time, "-" for ":"; the extension rides on it
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex {

// The patient key: PATIENTID without hyphens, cut to 16 characters (UTF-16
// code units, as VB's Left counts them). It names the patient for the vendor
// program and is field 0 of every stored name.
std::string MakePatID(const std::string& patient_id);

// Whether a stored name belongs to the patient of key `PatID`: its field 0 is
// the key, compared case for case.
bool IsPatientFile(std::string_view name, std::string_view PatID);

// The stored name of an exported file: the exam record number right after
// the first "_", or in front of a name without one.
std::string MakeStoredName(std::string_view exported_name, std::int32_t exam);

// The shortest stored name the Review functions can show: the key, the exam
// number, five vendor fields, eye, date and time, with room to spare.
inline constexpr std::size_t kStoredNameRoom = 60;

// The fields of a stored name, split at "_". A field the name does not have
// raises 9 "Subscript out of range" when it is read.
class StoredName {
 public:
  explicit StoredName(std::string_view name);

  // Whether the name has every field up to the time.
  bool IsComplete() const { return fields_.size() > 9; }

  const std::string& PatID() const { return Field(0); }
  const std::string& Exam() const { return Field(1); }
  const std::string& Eye() const { return Field(7); }
  // The acquisition date as the vendor wrote it.
  const std::string& Date() const { return Field(8); }
  // The acquisition time with each "-" as ":"; the extension is part of it.
  std::string Time() const;

 private:
  const std::string& Field(std::size_t index) const;

  std::vector<std::string> fields_;
};

}  // namespace tavirex
