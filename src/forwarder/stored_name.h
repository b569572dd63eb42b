// The fields of a stored name as Review reads them. Until the capture
// workflow's own StoredName is available to the tools, this is the same
// reading on the same rules (Split, Field, Replace); replace this file by
// an include of that class when it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "winrules/vb_string.h"

namespace tavirex {

class StoredName {
 public:
  explicit StoredName(std::string_view name) : fields_(Split(name, '_')) {}
  const std::string& PatID() const { return Field(fields_, 0); }
  const std::string& Exam() const { return Field(fields_, 1); }
  const std::string& Eye() const { return Field(fields_, 7); }
  const std::string& Date() const { return Field(fields_, 8); }
  std::string Time() const { return Replace(Field(fields_, 9), "-", ":"); }

 private:
  std::vector<std::string> fields_;
};

}  // namespace tavirex
