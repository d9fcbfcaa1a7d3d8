// Nations, governments and the text functions that go with them.
#include <gtest/gtest.h>

#include <climits>

#include "game/Game.h"

using namespace torvane;

TEST(Nations, NamesColoursAndPaths) {
    EXPECT_EQ(NationName(0), "Irak");
    EXPECT_EQ(NationName(2), "Jama\xEFque");
    EXPECT_EQ(NationName(3), "Etat-Unis");
    EXPECT_EQ(NationName(-1), "En cours...");
    EXPECT_EQ(NationName(8), "En cours...");
    EXPECT_EQ(NationColour(1), 0xFFFF7F00u);
    EXPECT_EQ(NationColour(7), 0xFFFF00FFu);
    EXPECT_EQ(NationColour(-1), 0xFF7F7F7Fu);
    EXPECT_EQ(NationColour(200), 0xFF7F7F7Fu);
    EXPECT_EQ(NationFlagPath(0), "..\\Ressources\\Graphics\\Pays\\Irak.png");
    EXPECT_EQ(NationPortraitPath(3), "..\\Ressources\\Graphics\\Personnage\\EtatsUnis.png");
    EXPECT_EQ(NationFlagPath(9), "");
}

TEST(Nations, LeaderTitles) {
    EXPECT_EQ(LeaderTitle(0, 0), "Pr\xE9sident des irakiens");
    EXPECT_EQ(LeaderTitle(3, 2), "Secr\xE9taire des am\xE9ricains");
    EXPECT_EQ(LeaderTitle(-1, -1), "Titre des peuple");
    EXPECT_EQ(LeaderTitle(-1, 1), "Empereur des peuple");
    EXPECT_EQ(LeaderTitle(4, 7),
              "Titre des fran\xE7"
              "ais");
}

TEST(Governments, NamesAndFigures) {
    EXPECT_EQ(GovernmentName(0), "D\xE9mocratie");
    EXPECT_EQ(GovernmentName(2), "Communisme");
    EXPECT_EQ(GovernmentName(3), "En cours...");
    EXPECT_EQ(GovernmentName(-1), "En cours...");
    EXPECT_EQ(GovernmentAt(3), nullptr);
    ASSERT_NE(GovernmentAt(1), nullptr);
    EXPECT_STREQ(GovernmentAt(1)->description,
                 "D\xE9tiens les arm\xE9"
                 "es les\r\nplus puissantes et les moins chers");
    EXPECT_EQ(GovernmentAt(1)->armyValue, 85000);
    EXPECT_EQ(GovernmentEmblemPath(1, false), "..\\Ressources\\Graphics\\Embleme\\Empire.png");
    EXPECT_EQ(GovernmentEmblemPath(0, true), "..\\Ressources\\Graphics\\Embleme\\Democratie.jpg");
}

TEST(Governments, LobbyForms) {
    EXPECT_EQ(RevenueText(*GovernmentAt(0)), "+10%");
    EXPECT_EQ(RevenueText(*GovernmentAt(2)), "+0%");
    EXPECT_EQ(CounterEspionageText(*GovernmentAt(0)), "0% - 30%");
    EXPECT_EQ(CounterEspionageText(*GovernmentAt(2)), "10% - 50%");
    EXPECT_EQ(AbilitiesText(*GovernmentAt(0)), "Scandale & Propagande");
    EXPECT_EQ(AbilitiesText(*GovernmentAt(1)), "Scandale & Tir \xE0 vue");
    EXPECT_EQ(AbilitiesText(*GovernmentAt(2)), "Tir \xE0 vue & Propagande");
    EXPECT_EQ(FormatAmount(GovernmentAt(0)->boatValue), "40 000");
}

TEST(Text, FormatAmountGroupsDigits) {
    EXPECT_EQ(FormatAmount(0), "0");
    EXPECT_EQ(FormatAmount(999), "999");
    EXPECT_EQ(FormatAmount(1000), "1 000");
    EXPECT_EQ(FormatAmount(1005), "1 005");
    EXPECT_EQ(FormatAmount(100000), "100 000");
    EXPECT_EQ(FormatAmount(1000000), "1 000 000");
    EXPECT_EQ(FormatAmount(1234567), "1 234 567");
    EXPECT_EQ(FormatAmount(-5000), "-5000");
    EXPECT_EQ(FormatAmount(INT_MAX), "2 147 483 647");
    EXPECT_EQ(FormatAmount(INT_MIN), "-2147483648");
}
