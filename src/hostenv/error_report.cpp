#include "hostenv/error_report.h"

#include "winrules/vb_date.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

constexpr const char* kCrLf = "\r\n";

std::string BesideModule(Platform& platform, const char* file_name) {
  return platform.ModuleFolder() + "\\" + file_name;
}

}  // namespace

std::string LogTimeStamp(Platform& platform) {
  VbDate now = platform.Now();
  CivilDateTime civil = ToCivil(now);
  std::string year = std::to_string(civil.year);
  year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
  return TwoDigits(civil.month) + "-" + TwoDigits(civil.day) + "-" + year + "  " +
         platform.FormatTimeOfDay(now);
}

void ReportError(Platform& platform, const std::string& where, const VbError& failure) {
  const std::string number = std::to_string(failure.number());
  platform.MessageBox(
      "PXE_Tavirex IF Error Num=" + number + "  " + failure.description() + "." + kCrLf + where,
      msgbox::kCritical, std::string(kErrorBoxTitle));
  AppendErrorEntry(platform, where, failure);
}

void AppendErrorEntry(Platform& platform, const std::string& where, const VbError& failure) {
  platform.AppendToFile(BesideModule(platform, kErrorFileName),
                        std::string(kCrLf) + LogTimeStamp(platform) + " Error in: " + where +
                            kCrLf + "      Error Num=" + std::to_string(failure.number()) + "  " +
                            failure.description() + kCrLf);
}

void AppendToLog(Platform& platform, const std::string& text) {
  platform.AppendToFile(BesideModule(platform, kLogFileName),
                        std::string(kCrLf) + LogTimeStamp(platform) + text + kCrLf);
}

void AppendToHostLog(Platform& platform, const std::string& text) {
  platform.AppendToFile(BesideModule(platform, kHostLogFileName),
                        std::string(kCrLf) + LogTimeStamp(platform) + text + kCrLf + kCrLf);
}

}  // namespace tavirex
