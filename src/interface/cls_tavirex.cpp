#include "interface/cls_tavirex.h"

#include <exception>

#include "hostenv/error_report.h"
#include "winrules/vb_string.h"

namespace tavirex {

ClsTavirex::ClsTavirex(HostModule& module, ImageListView& view)
    : module_(module), platform_(module.platform()), view_(view) {
  module_.EnsureStarted();
  GetPraxoPath(platform_);
}

std::string ClsTavirex::fun_sFixString(const std::string& text) { return Replace(text, "'", "''"); }

std::string ClsTavirex::GetPraxoDBPath() { return tavirex::GetPraxoDBPath(platform_); }

VbBool ClsTavirex::ShouldWriteToLog() {
  std::string value =
      platform_.ReadProfileString("Equipment", "WriteReceiveDataLog", kEquipIniFileName);
  return UpperAscii(value) == "YES" ? kVbTrue : kVbFalse;
}

void ClsTavirex::WriteToLog(const std::string& text) {
  if (props_.gblnShouldWriteToLog == kVbFalse) return;
  try {
    AppendToHostLog(platform_, text);
  } catch (...) {
    ReportError(platform_, "WriteToLog", CurrentFailure(std::current_exception()));
  }
}

}  // namespace tavirex
