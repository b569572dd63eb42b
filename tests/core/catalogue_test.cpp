// The device catalogue, the fixed device properties, SQL quoting and the
// equipment INI lookup, against real INI files.
#include "interface/equip_settings.h"
#include "test_support.h"

namespace tavirex {
namespace {

using testing::Workstation;

TEST(Catalogue, SixteenNamesAndTheFixedPropertiesOfExactNamesOnly) {
  const std::vector<std::string> catalogue = {
      "Capture iKoraiBlendo", "Review iKoraiBlendo", "Capture Vessara", "Review Vessara",
      "Capture Corvana",      "Review Corvana",      "Capture iScopa",  "Review iScopa",
      "Capture iBlendo",      "Review iBlendo",      "Capture iPicta",  "Review iPicta",
      "Capture iVitara",      "Review iVitara",      "Capture iPedra",  "Review iPedra",
  };
  EXPECT_EQ(ClsTavirex::DeviceNames(), catalogue);
  Workstation ws;
  ws.WriteHostIni("[System]\nPgmsDir=C:\\Praxo\\Pgms\n");
  ClsTavirex& object = ws.NewObject();
  auto props = [&] {
    const TavirexProperties& p = object.props();
    return std::to_string(p.UseSerialPort) + "|" + p.DataSource + "|" + p.EquipProgPathFName + "|" +
           p.EquipDataPath + "|" + p.EquipDataFileStartChars + "|" + p.EquipDataFileEndChars + "|" +
           std::to_string(p.Look4EndOfTransChar) + "|" + std::to_string(p.UseOtherCommCtrl) + "|" +
           p.CompanyName + p.Model + p.DeviceName;
  };
  std::vector<std::string> others = {"capture iPedra",  "Capture iKora",          "Capture iPedra ",
                                     " Review Vessara", "Tavirex:Review Vessara", ""};
  for (const std::string& name : catalogue) others.push_back(name);
  for (const std::string& name : others) {
    TavirexProperties& p = object.props();
    p.UseSerialPort = p.Look4EndOfTransChar = p.UseOtherCommCtrl = kVbTrue;
    p.DataSource = p.EquipProgPathFName = p.EquipDataPath = p.EquipDataFileStartChars =
        p.EquipDataFileEndChars = p.CompanyName = p.Model = p.DeviceName = "s";
    object.LoadEquipProps(name);
    const bool listed = std::find(catalogue.begin(), catalogue.end(), name) != catalogue.end();
    EXPECT_EQ(props(), listed ? "0|File|C:\\KSOCTVIEW\\bin\\CreatePatient.exe|C:\\Praxo\\Pgms|op_|"
                                ".jpg|0|0|sss"
                              : "-1|s|s|s|s|s|-1|-1|sss")
        << name;
  }
  ws.WriteHostIni("[System]\nDataDir=C:\\D\n");  // no PgmsDir: no folder
  object.LoadEquipProps("Review Corvana");
  EXPECT_EQ(object.props().EquipDataPath, "");
}

TEST(Catalogue, FixStringDoublesEveryQuote) {
  for (auto [text, fixed] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {"Smith", "Smith"}, {"O'Brien", "O''Brien"}, {"'a''b'", "''a''''b''"}}) {
    EXPECT_EQ(ClsTavirex::fun_sFixString(text), fixed);
  }
}

// The "Equipment" list: `entries` is its body (nullptr: no equipment INI).
struct LookupCase {
  const char* entries;
  const char* result;  // the number, or "error N"
  const char* key = "Tavirex:Review Vessara";
};

const LookupCase kLookups[] = {
    {nullptr, "0"},
    {"1=7:x:Tavirex:Review Vessara", "0"},  // no Number
    {"Number=0\n1=7:x:Tavirex:Review Vessara", "0"},
    {"Number=x3\n1=7:x:Tavirex:Review Vessara", "0"},
    {"Number=1\n1=-3:x:Tavirex:Review Vessara", "-3"},
    {"Number=2.5\n3=7:x:Tavirex:Review Vessara", "0"},  // 2.5 rounds to 2
    {"Number=3.5\n4=7:x:Tavirex:Review Vessara", "7"},  // 3.5 rounds to 4
    {"Number=3\n1=7:x:Tavirex:Review Vessara\n3=9:x:Tavirex:Review Vessara", "7"},
    {"Number=1\n1=7:x:y:Tavirex:Review Vessara", "0"},  // a colon too many
    {"Number=2\n1=7:x:Tavirex:review Vessara\n2=8:x:tavirex:Review Vessara", "0"},
    {"Number=1\n1=7:x:Tavirex:Capture Vessara", "0"},
    {"Number=3\n1=abc:x:Tavirex:Capture Vessara\n2=99999\n3=12:x:Tavirex:Review Vessara", "12"},
    {"Number=1\n1=5:x:Tavirex:Review:Vessara", "5", "Tavirex:Review:Vessara"},
    {"Number=1\n1=5:x:Tavirex", "0", "Tavirex"},
    {"Number=1\n1=5:x:a:b:c:d", "0", "a:b:c:d"},
    {"Number=40000", "error 6"},
    {"Number=1\n1=70000:x:Tavirex:Review Vessara", "error 6"},
    {"Number=1\n1=abc:x:Tavirex:Review Vessara", "error 13"},
};

TEST(Equipment, LookupTable) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  for (const LookupCase& c : kLookups) {
    fs::remove(ws.Path("windows/PXEquip.ini"));
    if (c.entries) ws.WriteEquipIni(std::string("[Equipment]\n") + c.entries + "\n");
    std::string result;
    const int error =
        testing::ErrorOf([&] { result = std::to_string(object.GetEquipNumber(c.key)); });
    EXPECT_EQ(error ? "error " + std::to_string(error) : result, c.result) << c.entries;
  }
}

TEST(Equipment, SettingsOfTheNumberedSection) {
  Workstation ws;
  ClsTavirex& object = ws.NewObject();
  ws.WriteEquipIni(
      "[Equipment]\nNumber=3\n1=7:x:Tavirex:Review Vessara\n2=-3:x:Tavirex:Capture Vessara\n"
      "3=8:x:Tavirex:Review Corvana\n[7]\nEquipDataPath=C:\\Store\nEquipProgPathFName=\n"
      "EquipDataPath=C:\\Second\n"
      "[-3]\nEquipDataPath=C:\\Drop\n[8]\nEquipDataPath=" +
      std::string(255, 'v') + "\n[0]\nEquipDataPath=C:\\Unlisted\n");
  const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
      {"Review Vessara", kEquipDataPathKey, "C:\\Store"},
      {"Capture Vessara", kEquipDataPathKey, "C:\\Drop"},
      {"Review Vessara", kEquipProgPathFNameKey, std::nullopt},   // empty value
      {"Capture Vessara", kEquipProgPathFNameKey, std::nullopt},  // missing key
      {"Review Corvana", kEquipDataPathKey, std::string(254, 'v')},
      {"Review iPedra", kEquipDataPathKey, "C:\\Unlisted"},  // not listed: section 0
  };
  for (const auto& [device, key, value] : cases) {
    EXPECT_EQ(object.ReadDeviceSetting(device, key), value) << device << " " << key;
  }
}

}  // namespace
}  // namespace tavirex
