#include "vocabulary/stored_name.h"

#include "winrules/utf8.h"
#include "winrules/vb_string.h"

namespace tavirex {

std::string MakePatID(const std::string& patient_id) {
  std::string key = Replace(patient_id, "-", "");
  key.resize(Utf16CutPoint(key, 16));
  return key;
}

bool IsPatientFile(std::string_view name, std::string_view PatID) {
  return name.substr(0, name.find('_')) == PatID;
}

std::string MakeStoredName(std::string_view exported_name, std::int32_t exam) {
  const std::size_t underscore = exported_name.find('_');
  const std::size_t head_length = underscore == std::string_view::npos ? 0 : underscore + 1;
  std::string stored(exported_name.substr(0, head_length));
  stored += std::to_string(exam);
  stored += '_';
  stored += exported_name.substr(head_length);
  return stored;
}

StoredName::StoredName(std::string_view name) : fields_(Split(name, '_')) {}

const std::string& StoredName::Field(std::size_t index) const {
  return tavirex::Field(fields_, index);
}

std::string StoredName::Time() const { return Replace(Field(9), "-", ":"); }

}  // namespace tavirex
