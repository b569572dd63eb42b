// The device catalogue and the fixed device properties.
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "hostenv/host_paths.h"
#include "interface/cls_tavirex.h"
#include "test_support.h"

namespace tavirex {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  ClsTavirex& MakeObject(const std::string& host_ini) {
    ws_.WriteHostIni(host_ini);
    module_.emplace(ws_.platform());
    object_.emplace(*module_, ws_.window());
    return *object_;
  }

  // Every property LoadEquipProps sets, plus three it must leave alone.
  static auto Watched(const TavirexProperties& p) {
    return std::make_tuple(p.UseSerialPort, p.DataSource, p.EquipProgPathFName, p.EquipDataPath,
                           p.EquipDataFileStartChars, p.EquipDataFileEndChars,
                           p.Look4EndOfTransChar, p.UseOtherCommCtrl, p.CompanyName, p.Model,
                           p.DeviceName);
  }
  static void FillSentinels(TavirexProperties& p) {
    std::tie(p.UseSerialPort, p.DataSource, p.EquipProgPathFName, p.EquipDataPath,
             p.EquipDataFileStartChars, p.EquipDataFileEndChars, p.Look4EndOfTransChar,
             p.UseOtherCommCtrl, p.CompanyName, p.Model, p.DeviceName) =
        std::make_tuple(kVbTrue, "s1", "s2", "s3", "s4", "s5", kVbTrue, kVbTrue, "s6", "s7", "s8");
  }

  testing::Workstation ws_;
  std::optional<HostModule> module_;
  std::optional<ClsTavirex> object_;
};

const std::vector<std::string> kCatalogue = {
    "Capture iKoraiBlendo", "Review iKoraiBlendo", "Capture Vessara", "Review Vessara",
    "Capture Corvana",      "Review Corvana",      "Capture iScopa",  "Review iScopa",
    "Capture iBlendo",      "Review iBlendo",      "Capture iPicta",  "Review iPicta",
    "Capture iVitara",      "Review iVitara",      "Capture iPedra",  "Review iPedra",
};

TEST(DeviceNamesTest, SixteenNamesInCatalogueOrder) {
  EXPECT_EQ(ClsTavirex::DeviceNames(), kCatalogue);
  EXPECT_EQ(ClsTavirex::GetIDFromEquipFName("Review Vessara", "x.jpg"), "");
}

TEST_F(CatalogueTest, LoadEquipPropsActsOnExactCatalogueNamesOnly) {
  ClsTavirex& object = MakeObject("[System]\nPgmsDir=C:\\Praxo\\Pgms\nDataDir=C:\\Data\n");
  TavirexProperties& p = object.props();
  FillSentinels(p);
  const auto untouched = Watched(p);
  const auto loaded =
      std::make_tuple(kVbFalse, "File", "C:\\KSOCTVIEW\\bin\\CreatePatient.exe", "C:\\Praxo\\Pgms",
                      "op_", ".jpg", kVbFalse, kVbFalse, "s6", "s7", "s8");
  for (const std::string& name : kCatalogue) {
    SCOPED_TRACE(name);
    FillSentinels(p);
    object.LoadEquipProps(name);
    EXPECT_EQ(Watched(p), loaded);
  }
  for (const char* name : {"capture iPedra", "Capture iKora", "Review IPEDRA", "Capture iPedra ",
                           " Review Vessara", "Review  Vessara", "Tavirex:Review Vessara", ""}) {
    SCOPED_TRACE(name);
    FillSentinels(p);
    object.LoadEquipProps(name);
    EXPECT_EQ(Watched(p), untouched);
  }
}

TEST_F(CatalogueTest, LoadEquipPropsWithoutPgmsDirEmptiesEquipDataPath) {
  ClsTavirex& object = MakeObject("[System]\nDataDir=C:\\Data\n");
  object.props().EquipDataPath = "C:\\Earlier";
  object.LoadEquipProps("Review Corvana");
  EXPECT_EQ(object.props().EquipDataPath, "");
  EXPECT_EQ(object.props().DataSource, "File");
}

}  // namespace
}  // namespace tavirex
