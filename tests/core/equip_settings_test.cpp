// The equipment INI lookup against real "PXEquip.ini" files.
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "interface/equip_settings.h"
#include "test_support.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

class EquipSettingsTest : public ::testing::Test {
 protected:
  EquipSettingsTest() {
    ws_.WriteHostIni("[System]\nPgmsDir=C:\\Pgms\nDataDir=C:\\Data\n");
    module_.emplace(ws_.platform());
    object_.emplace(*module_, ws_.window());
  }

  // The lookup's result as text, or "error" and the VB error number it raised.
  std::string Lookup(const std::string& key) {
    try {
      return std::to_string(object_->GetEquipNumber(key));
    } catch (const VbError& e) {
      return "error " + std::to_string(e.number());
    }
  }

  testing::Workstation ws_;
  std::optional<HostModule> module_;
  std::optional<ClsTavirex> object_;
};

constexpr const char* kKey = "Tavirex:Review Vessara";

struct LookupCase {
  const char* what;
  const char* entries;  // section "Equipment"; nullptr: no equipment INI at all
  const char* result;
  const char* key = kKey;
};

const LookupCase kLookupCases[] = {
    {"no equipment INI", nullptr, "0"},
    {"no Number key", "1=7:x:Tavirex:Review Vessara", "0"},
    {"Number 0 reads no entry", "Number=0\n1=7:x:Tavirex:Review Vessara", "0"},
    {"non-numeric Number counts none", "Number=x3\n1=7:x:Tavirex:Review Vessara", "0"},
    {"plain match", "Number=1\n1=7:x:Tavirex:Review Vessara", "7"},
    {"negative number", "Number=1\n1=-3:x:Tavirex:Review Vessara", "-3"},
    {"2.5 counts two entries", "Number=2.5\n3=7:x:Tavirex:Review Vessara", "0"},
    {"3.5 counts four entries", "Number=3.5\n4=7:x:Tavirex:Review Vessara", "7"},
    {"first match wins across a gap",
     "Number=3\n1=7:x:Tavirex:Review Vessara\n3=9:x:Tavirex:Review Vessara", "7"},
    {"extra colon in the second field", "Number=1\n1=7:x:y:Tavirex:Review Vessara", "0"},
    {"compared case-sensitively",
     "Number=2\n1=7:x:Tavirex:review Vessara\n2=8:x:tavirex:Review Vessara", "0"},
    {"the twin is another key", "Number=1\n1=7:x:Tavirex:Capture Vessara", "0"},
    {"non-matching garbage is never converted",
     "Number=4\n1=abc:x:Tavirex:Capture Vessara\n2=99999\n3=zz:x:Tavirex:Review Vessara:\n"
     "4=12:x:Tavirex:Review Vessara",
     "12"},
    {"three-field key", "Number=1\n1=5:x:Tavirex:Review:Vessara", "5", "Tavirex:Review:Vessara"},
    {"one-field key never matches", "Number=1\n1=5:x:Tavirex", "0", "Tavirex"},
    {"four-field key never matches", "Number=1\n1=5:x:a:b:c:d", "0", "a:b:c:d"},
    {"Number above 16 bits", "Number=40000", "error 6"},
    {"matching entry above 16 bits", "Number=1\n1=70000:x:Tavirex:Review Vessara", "error 6"},
    {"matching entry not a number", "Number=1\n1=abc:x:Tavirex:Review Vessara", "error 13"},
};

TEST_F(EquipSettingsTest, GetEquipNumber) {
  for (const LookupCase& c : kLookupCases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(ws_.windows_dir() / kEquipIniFileName);
    if (c.entries != nullptr) ws_.WriteEquipIni(std::string("[Equipment]\n") + c.entries + "\n");
    EXPECT_EQ(Lookup(c.key), c.result);
  }
  // Section and key names match as the profile API matches them.
  ws_.WriteEquipIni("[equipment]\nnumber=1\n1=7:x:Tavirex:Review Vessara\n");
  EXPECT_EQ(Lookup(kKey), "7");
}

TEST_F(EquipSettingsTest, ReadDeviceSetting) {
  const std::string long_value(255, 'v');
  ws_.WriteEquipIni(
      "[Equipment]\nNumber=3\n1=7:x:Tavirex:Review Vessara\n2=-3:x:Tavirex:Capture Vessara\n"
      "3=8:x:Tavirex:Review Corvana\n"
      "[7]\nEquipDataPath=C:\\Store\nEquipProgPathFName=\n"
      "[-3]\nEquipDataPath=C:\\Drop\n"
      "[8]\nEquipDataPath=" +
      long_value +
      "\n"
      "[0]\nEquipDataPath=C:\\Unlisted\n");
  struct {
    const char* device;
    const char* key;
    std::optional<std::string> value;
  } const cases[] = {
      {"Review Vessara", kEquipDataPathKey, "C:\\Store"},
      {"Capture Vessara", kEquipDataPathKey, "C:\\Drop"},
      {"Review Vessara", kEquipProgPathFNameKey, std::nullopt},   // empty value
      {"Capture Vessara", kEquipProgPathFNameKey, std::nullopt},  // missing key
      {"Review Corvana", kEquipDataPathKey, long_value.substr(0, 254)},
      {"Review iPedra", kEquipDataPathKey, "C:\\Unlisted"},  // not listed: section 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.device) + " / " + c.key);
    EXPECT_EQ(object_->ReadDeviceSetting(c.device, c.key), c.value);
  }
  ws_.WriteEquipIni("[Equipment]\nNumber=0\n");
  EXPECT_EQ(object_->ReadDeviceSetting("Review Vessara", kEquipDataPathKey), std::nullopt);
}

TEST(TwinDeviceNameTest, ReplacesEveryVerbCaseSensitively) {
  EXPECT_EQ(TwinDeviceName("Capture Vessara", kCaptureVerb, kReviewVerb), "Review Vessara");
  EXPECT_EQ(TwinDeviceName("Review iPedra", kReviewVerb, kCaptureVerb), "Capture iPedra");
  EXPECT_EQ(TwinDeviceName("Capture CaptureX", kCaptureVerb, kReviewVerb), "Review ReviewX");
  EXPECT_EQ(TwinDeviceName("capture Vessara", kCaptureVerb, kReviewVerb), "capture Vessara");
}

}  // namespace
}  // namespace tavirex
