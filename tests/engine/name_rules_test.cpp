#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "engine/Codes.h"
#include "engine/NameRules.h"

namespace kestrun {
namespace {

using Pieces = std::vector<std::string>;

TEST(NameRules, SplitTextNeverYieldsEmptyPiecesAndLeadingIntegerReadsLikeTheDialogsFields) {
  EXPECT_EQ(SplitText("__a__b_c_", "_"), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(SplitText("", "_"), Pieces{});
  EXPECT_EQ(SplitText("___", "_"), Pieces{});
  EXPECT_EQ(SplitText(" x.dat  T2 25 QZ48", " "), (Pieces{"x.dat", "T2", "25", "QZ48"}));
  for (const auto& [text, value] : {std::pair{"25ps", 25}, {"", 0}, {"abc", 0}, {"  -7x", -7}, {"+3", 3},
                                     {"99999999999999", INT32_MAX}, {"-99999999999999", INT32_MIN}}) {
    EXPECT_EQ(LeadingInteger(text), value) << text;
  }
}

TEST(NameRules, EightPieceNamesDecideDeviceTypeAndResolutionAndShorterNamesMeanRB9531) {
  struct Case {
    const char* stem;
    int device;
    bool packetInfo;
    std::optional<bool> resolutionEnabled;
    std::optional<int> dataType;
    std::optional<std::string> resolution;
  };
  const Case cases[] = {
      {"QZ48abc_x_T2_16ps_e_f_g_h", 2, true, false, 1, "16"},
      {"QZ48_x_ITTR_M_e_f_g_h", 2, true, false, 4, ""},
      {"QZ48_x_ITTR_T_e_f_g_h", 2, true, false, 3, ""},
      {"QZ48_x_ITTR_Q_e_f_g_h", 2, true, false, {}, ""},  // no type, but the resolution is emptied all the same
      {"QZ48_x_T5_16ps_e_f_g_h", 2, true, false, {}, {}},
      {"AB_x_T1_5_e_f_g_h", 0, false, false, 0, ""},         // one character: nothing left after the unit is cut
      {"qz48_x_T2_16ps_e_f_g_h", 0, false, false, 1, "16"},  // case matters
      {"QZ48_x_T2_16ps_e_f_g_h_i", 2, true, false, {}, {}},
      {"RB9531x_T3_4ps_d_e_f_g", 1, false, {}, 2, "4"},
      {"RB9531x_ITTR_T_d_e_f_g", 1, false, {}, {}, {}},
      {"XX9531_T3_4ps_d_e_f_g", 1, false, {}, {}, {}},
      {"a", 1, false, {}, {}, {}},
      {"", 1, false, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stem);
    const NameSettings s = SettingsFromName(c.stem);
    EXPECT_EQ(s.deviceIndex, c.device);
    EXPECT_EQ(s.showPacketInfo, c.packetInfo);
    EXPECT_EQ(s.resolutionEnabled, c.resolutionEnabled);
    EXPECT_EQ(s.dataTypeIndex, c.dataType);
    EXPECT_EQ(s.resolutionText, c.resolution);
  }
}

TEST(Codes, TextsAndCodesMapBothWays) {
  EXPECT_EQ(DataTypeFromText("ITTR_M"), 5);
  EXPECT_EQ(DataTypeFromText("t1"), -1);
  EXPECT_EQ(DataTypeText(2), "T2");
  EXPECT_EQ(DataTypeText(6), "");
  EXPECT_EQ(DeviceFromText("QZ48"), 3);
  EXPECT_EQ(DeviceFromText("RB9531"), 64);
  EXPECT_EQ(DeviceFromText("QZ8B48"), -1);
}

}  // namespace
}  // namespace kestrun
