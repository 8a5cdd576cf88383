#include <gtest/gtest.h>

#include "engine/Codes.h"
#include "engine/NameRules.h"

namespace kestrun {
namespace {

using Pieces = std::vector<std::string>;

TEST(NameRules, SplitTextNeverYieldsEmptyPieces) {
  EXPECT_EQ(SplitText("__a__b_c_", "_"), (Pieces{"a", "b", "c"}));
  EXPECT_EQ(SplitText("", "_"), Pieces{});
  EXPECT_EQ(SplitText("___", "_"), Pieces{});
  EXPECT_EQ(SplitText(" x.dat  T2 25 QZ48", " "), (Pieces{"x.dat", "T2", "25", "QZ48"}));
}

TEST(NameRules, LeadingIntegerReadsLikeTheDialogsFields) {
  EXPECT_EQ(LeadingInteger("25ps"), 25);
  EXPECT_EQ(LeadingInteger(""), 0);
  EXPECT_EQ(LeadingInteger("abc"), 0);
  EXPECT_EQ(LeadingInteger("  -7x"), -7);
  EXPECT_EQ(LeadingInteger("+3"), 3);
  EXPECT_EQ(LeadingInteger("99999999999999"), 2147483647);
  EXPECT_EQ(LeadingInteger("-99999999999999"), -2147483647 - 1);
}

TEST(NameRules, EightPieceNamesDecideDeviceTypeAndResolution) {
  NameSettings qz = SettingsFromName("QZ48abc_x_T2_16ps_e_f_g_h");
  EXPECT_EQ(qz.deviceIndex, 2);
  EXPECT_TRUE(qz.showPacketInfo);
  EXPECT_EQ(qz.resolutionEnabled, false);
  EXPECT_EQ(qz.dataTypeIndex, 1);
  EXPECT_EQ(qz.resolutionText, "16");

  NameSettings ittr = SettingsFromName("QZ48_x_ITTR_M_e_f_g_h");
  EXPECT_EQ(ittr.dataTypeIndex, 4);
  EXPECT_EQ(ittr.resolutionText, "");
  EXPECT_EQ(SettingsFromName("QZ48_x_ITTR_T_e_f_g_h").dataTypeIndex, 3);
  NameSettings ittrOther = SettingsFromName("QZ48_x_ITTR_Q_e_f_g_h");
  EXPECT_EQ(ittrOther.dataTypeIndex, std::nullopt);
  EXPECT_EQ(ittrOther.resolutionText, "");  // emptied all the same

  NameSettings kr = SettingsFromName("AB_x_T1_5_e_f_g_h");
  EXPECT_EQ(kr.deviceIndex, 0);
  EXPECT_FALSE(kr.showPacketInfo);
  EXPECT_EQ(kr.resolutionEnabled, false);
  EXPECT_EQ(kr.dataTypeIndex, 0);
  EXPECT_EQ(kr.resolutionText, "");  // one character: nothing left after the unit is cut

  NameSettings nine = SettingsFromName("QZ48_x_T2_16ps_e_f_g_h_i");
  EXPECT_EQ(nine.deviceIndex, 2);
  EXPECT_TRUE(nine.showPacketInfo);
  EXPECT_EQ(nine.dataTypeIndex, std::nullopt);
  EXPECT_EQ(nine.resolutionText, std::nullopt);
  EXPECT_EQ(SettingsFromName("QZ48_x_T5_16ps_e_f_g_h").dataTypeIndex, std::nullopt);
  EXPECT_EQ(SettingsFromName("qz48_x_T2_16ps_e_f_g_h").deviceIndex, 0);  // case matters
}

TEST(NameRules, ShorterNamesMeanRB9531) {
  NameSettings rb = SettingsFromName("RB9531x_T3_4ps_d_e_f_g");
  EXPECT_EQ(rb.deviceIndex, 1);
  EXPECT_FALSE(rb.showPacketInfo);
  EXPECT_EQ(rb.resolutionEnabled, std::nullopt);
  EXPECT_EQ(rb.dataTypeIndex, 2);
  EXPECT_EQ(rb.resolutionText, "4");
  EXPECT_EQ(SettingsFromName("RB9531x_ITTR_T_d_e_f_g").dataTypeIndex, std::nullopt);
  EXPECT_EQ(SettingsFromName("XX9531_T3_4ps_d_e_f_g").dataTypeIndex, std::nullopt);
  NameSettings one = SettingsFromName("a");
  EXPECT_EQ(one.deviceIndex, 1);
  EXPECT_EQ(one.dataTypeIndex, std::nullopt);
  EXPECT_EQ(SettingsFromName("").deviceIndex, 1);
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
