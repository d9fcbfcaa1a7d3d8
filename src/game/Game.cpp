// The world of 104 territories, the eight nations, the three governments and their texts.
#include "game/Game.h"

namespace torvane {
namespace {

// x, y, coastal, neighbours (index + 1), name, continent
constexpr Territory kWorld[TerritoryCount] = {
    {39, 90, 1, {2, 0, 0, 0, 0, 0, 0, 0}, "Alaska", 0},                          // 0
    {98, 95, 1, {1, 3, 4, 0, 0, 0, 0, 0}, "Yukon", 0},                           // 1
    {154, 122, 1, {2, 4, 5, 6, 7, 0, 0, 0}, "Rocheuses", 0},                     // 2
    {172, 75, 1, {2, 3, 5, 0, 0, 0, 0, 0}, "Ile Victoria", 0},                   // 3
    {197, 102, 1, {3, 4, 6, 8, 0, 0, 0, 0}, "Fort Smith", 0},                    // 4
    {212, 145, 0, {3, 5, 7, 8, 9, 10, 0, 0}, "Gde Plaines", 0},                  // 5
    {182, 176, 1, {3, 6, 10, 11, 12, 0, 0, 0}, "C\xF4te Ouest", 0},              // 6
    {204, 51, 1, {5, 6, 9, 13, 0, 0, 0, 0}, "Barren Lands", 0},                  // 7
    {273, 150, 1, {6, 8, 10, 14, 15, 0, 0, 0}, "Ontario", 0},                    // 8
    {242, 175, 0, {6, 7, 9, 11, 15, 0, 0, 0}, "Montana", 0},                     // 9
    {240, 220, 1, {7, 10, 12, 15, 16, 17, 0, 0}, "Texas", 0},                    // 10
    {197, 229, 1, {7, 11, 17, 0, 0, 0, 0, 0}, "Californie", 0},                  // 11
    {295, 33, 1, {8, 0, 0, 0, 0, 0, 0, 0}, "Terre de Baffin", 0},                // 12
    {336, 162, 1, {9, 15, 18, 0, 0, 0, 0, 0}, "Etats-Unis", 0},                  // 13
    {284, 203, 0, {9, 10, 11, 14, 16, 0, 0, 0}, "Kentucky", 0},                  // 14
    {290, 244, 1, {11, 15, 0, 0, 0, 0, 0, 0}, "Floride", 0},                     // 15
    {240, 283, 1, {11, 12, 22, 0, 0, 0, 0, 0}, "Mexique", 0},                    // 16
    {353, 132, 1, {14, 0, 0, 0, 0, 0, 0, 0}, "Quebec", 0},                       // 17
    {379, 31, 1, {20, 21, 0, 0, 0, 0, 0, 0}, "Terre Arctique", 0},               // 18
    {443, 74, 1, {19, 21, 0, 0, 0, 0, 0, 0}, "Groenland", 0},                    // 19
    {481, 33, 1, {19, 20, 0, 0, 0, 0, 0, 0}, "C\xF4te du Roi", 0},               // 20
    {297, 329, 1, {17, 24, 0, 0, 0, 0, 0, 0}, "Guatemala", 0},                   // 21
    {337, 313, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Jama\xEFque", 0},                   // 22
    {354, 374, 1, {22, 25, 26, 27, 0, 0, 0, 0}, "Colombie", 1},                  // 23
    {384, 392, 1, {24, 26, 28, 29, 0, 0, 0, 0}, "Venezuela", 1},                 // 24
    {365, 424, 0, {24, 25, 27, 29, 30, 0, 0, 0}, "Amazonie", 1},                 // 25
    {313, 434, 1, {24, 26, 30, 31, 0, 0, 0, 0}, "Perou", 1},                     // 26
    {448, 434, 1, {25, 29, 30, 32, 0, 0, 0, 0}, "Caatingas", 1},                 // 27
    {407, 432, 0, {25, 26, 28, 30, 0, 0, 0, 0}, "Para", 1},                      // 28
    {401, 447, 0, {26, 27, 28, 29, 31, 32, 33, 34}, "Mato Grosso", 1},           // 29
    {383, 522, 1, {27, 30, 34, 35, 36, 0, 0, 0}, "Chili", 1},                    // 30
    {455, 485, 1, {28, 30, 33, 0, 0, 0, 0, 0}, "Campos", 1},                     // 31
    {436, 508, 1, {30, 32, 34, 35, 0, 0, 0, 0}, "Br\xE9sil", 1},                 // 32
    {407, 528, 0, {30, 31, 33, 35, 0, 0, 0, 0}, "Paraguay", 1},                  // 33
    {398, 570, 1, {31, 33, 34, 36, 0, 0, 0, 0}, "Uruguay", 1},                   // 34
    {369, 596, 1, {31, 35, 0, 0, 0, 0, 0, 0}, "Argentine", 1},                   // 35
    {689, 533, 1, {38, 39, 0, 0, 0, 0, 0, 0}, "Afrique du Sud", 2},              // 36
    {679, 487, 1, {37, 39, 40, 0, 0, 0, 0, 0}, "Namibie", 2},                    // 37
    {728, 482, 1, {37, 38, 40, 41, 0, 0, 0, 0}, "Zambie", 2},                    // 38
    {676, 436, 1, {38, 39, 41, 42, 43, 0, 0, 0}, "Za\xEFre", 2},                 // 39
    {741, 407, 1, {39, 40, 43, 44, 45, 0, 0, 0}, "Tanzanie", 2},                 // 40
    {668, 399, 1, {40, 43, 46, 47, 0, 0, 0, 0}, "Gabon", 2},                     // 41
    {704, 396, 0, {40, 41, 42, 45, 46, 0, 0, 0}, "Centrafrique", 2},             // 42
    {773, 376, 1, {41, 45, 0, 0, 0, 0, 0, 0}, "Somalie", 2},                     // 43
    {735, 359, 1, {41, 43, 44, 46, 48, 0, 0, 0}, "Ethiopie", 2},                 // 44
    {677, 342, 0, {42, 43, 45, 47, 48, 49, 0, 0}, "Soudan", 2},                  // 45
    {651, 335, 1, {42, 46, 49, 50, 51, 0, 0, 0}, "Nigeria", 2},                  // 46
    {709, 275, 1, {45, 46, 49, 54, 0, 0, 0, 0}, "Egypte", 2},                    // 47
    {670, 271, 1, {46, 47, 48, 51, 52, 0, 0, 0}, "Libye", 2},                    // 48
    {592, 342, 1, {47, 51, 53, 0, 0, 0, 0, 0}, "C\xF4te d'Ivoire", 2},           // 49
    {614, 288, 0, {47, 49, 50, 52, 53, 0, 0, 0}, "Mali", 2},                     // 50
    {586, 254, 1, {49, 51, 53, 0, 0, 0, 0, 0}, "Magreb", 2},                     // 51
    {577, 306, 1, {50, 51, 52, 0, 0, 0, 0, 0}, "Mauritanie", 2},                 // 52
    {754, 259, 1, {48, 55, 56, 57, 0, 0, 0, 0}, "Arabie Saoudite", 4},           // 53
    {776, 307, 1, {54, 0, 0, 0, 0, 0, 0, 0}, "Yemen", 4},                        // 54
    {730, 214, 1, {54, 57, 58, 0, 0, 0, 0, 0}, "Irak", 4},                       // 55
    {813, 247, 1, {54, 56, 59, 60, 61, 0, 0, 0}, "Iran", 4},                     // 56
    {752, 165, 1, {56, 60, 63, 64, 65, 66, 0, 0}, "Georgie", 3},                 // 57
    {875, 275, 1, {57, 61, 62, 79, 80, 0, 0, 0}, "Pakistan", 4},                 // 58
    {817, 194, 0, {57, 58, 61, 63, 76, 77, 0, 0}, "Ouzb\xE9kistan", 4},          // 59
    {868, 210, 0, {57, 59, 60, 77, 78, 79, 0, 0}, "Tadjikistan", 4},             // 60
    {895, 326, 1, {59, 0, 0, 0, 0, 0, 0, 0}, "Inde", 4},                         // 61
    {796, 134, 0, {58, 60, 64, 75, 76, 0, 0, 0}, "Kazakhstan", 4},               // 62
    {764, 99, 1, {58, 63, 65, 68, 75, 0, 0, 0}, "Oural", 3},                     // 63
    {708, 140, 1, {58, 64, 66, 68, 69, 0, 0, 0}, "Pays Baltes", 3},              // 64
    {708, 175, 1, {58, 65, 67, 69, 0, 0, 0, 0}, "Ukraine", 3},                   // 65
    {665, 202, 1, {66, 69, 70, 0, 0, 0, 0, 0}, "Europe du Sud", 3},              // 66
    {655, 46, 1, {64, 65, 0, 0, 0, 0, 0, 0}, "Scandinavie", 3},                  // 67
    {651, 156, 1, {65, 66, 67, 70, 0, 0, 0, 0}, "Europe du Nord", 3},            // 68
    {621, 185, 1, {67, 69, 71, 0, 0, 0, 0, 0}, "France", 3},                     // 69
    {604, 223, 1, {70, 0, 0, 0, 0, 0, 0, 0}, "Espagne", 3},                      // 70
    {599, 151, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Royaume Uni", 3},                   // 71
    {553, 114, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Islande", 3},                       // 72
    {791, 492, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Madagascrar", 2},                   // 73
    {797, 43, 1, {63, 64, 76, 81, 0, 0, 0, 0}, "Nvlle Zemble", 4},               // 74
    {838, 116, 0, {60, 63, 75, 77, 81, 82, 0, 0}, "Sib\xE9rie Occidentale", 4},  // 75
    {877, 153, 0, {60, 61, 76, 78, 82, 83, 84, 0}, "Steppes Kazakhes", 4},       // 76
    {901, 199, 0, {61, 77, 79, 84, 85, 0, 0, 0}, "Tian Shan", 4},                // 77
    {936, 240, 0, {59, 61, 78, 80, 85, 86, 0, 0}, "Kulun Shan", 4},              // 78
    {956, 293, 1, {59, 79, 86, 0, 0, 0, 0, 0}, "Tha\xEFlande", 4},               // 79
    {869, 69, 1, {75, 76, 82, 87, 0, 0, 0, 0}, "Sib\xE9rie Arctique", 4},        // 80
    {888, 95, 0, {76, 77, 81, 83, 87, 88, 0, 0}, "Sib\xE9rie Centrale", 4},      // 81
    {940, 140, 0, {77, 82, 84, 88, 89, 0, 0, 0}, "Haute Sib\xE9rie", 4},         // 82
    {930, 170, 0, {77, 78, 83, 85, 89, 90, 0, 0}, "Mongolie", 4},                // 83
    {967, 221, 1, {78, 79, 84, 86, 90, 91, 0, 0}, "Mongolie Inf\xE9rieure", 4},  // 84
    {1001, 266, 1, {79, 80, 85, 0, 0, 0, 0, 0}, "Chine", 4},                     // 85
    {951, 43, 1, {81, 82, 88, 92, 0, 0, 0, 0}, "Ta\xEFmyr", 4},                  // 86
    {949, 85, 0, {82, 83, 87, 89, 92, 0, 0, 0}, "Plateau de Sib\xE9rie", 4},     // 87
    {983, 109, 0, {83, 84, 88, 90, 92, 93, 0, 0}, "Lablonovy", 4},               // 88
    {1003, 157, 0, {84, 85, 89, 91, 93, 0, 0, 0}, "Grand Khingan", 4},           // 89
    {1046, 174, 1, {85, 90, 93, 94, 0, 0, 0, 0}, "Manchourie", 4},               // 90
    {1011, 75, 1, {87, 88, 89, 93, 95, 0, 0, 0}, "Russie", 4},                   // 91
    {1033, 147, 1, {89, 90, 91, 92, 94, 95, 0, 0}, "Aldan", 4},                  // 92
    {1083, 171, 1, {91, 93, 0, 0, 0, 0, 0, 0}, "Sikhote Ahin", 4},               // 93
    {1084, 67, 1, {92, 93, 96, 0, 0, 0, 0, 0}, "Kolymas", 4},                    // 94
    {1177, 89, 1, {95, 0, 0, 0, 0, 0, 0, 0}, "Kamtchatka", 4},                   // 95
    {1091, 171, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Japon", 4},                        // 96
    {976, 344, 1, {0, 0, 0, 0, 0, 0, 0, 0}, "Indon\xE9sie", 5},                  // 97
    {1069,
     387,
     1,
     {0, 0, 0, 0, 0, 0, 0, 0},
     "Nvlle Guin\xE9"
     "e",
     5},                                                                           // 98
    {1039, 528, 1, {101, 102, 0, 0, 0, 0, 0, 0}, "Plateau de Kimberley", 5},       // 99
    {1066, 488, 1, {100, 102, 104, 0, 0, 0, 0, 0}, "Australie Occidentale", 5},    // 100
    {1083, 549, 1, {100, 101, 103, 104, 0, 0, 0, 0}, "Australie Meridionale", 5},  // 101
    {1132, 555, 1, {102, 104, 0, 0, 0, 0, 0, 0}, "Australie", 5},                  // 102
    {1127, 486, 1, {101, 102, 103, 0, 0, 0, 0, 0}, "Queensland", 5},               // 103
};

constexpr Nation kNations[NationCount] = {
    {"Irak", "Irak", "irakiens", 0xFF000000, 56},
    {"Egypte", "Egypte", "\xE9gyptiens", 0xFFFF7F00, 48},
    {"Jama\xEFque", "Jamaique", "jama\xEFquains", 0xFF008000, 23},
    {"Etat-Unis", "EtatsUnis", "am\xE9ricains", 0xFF0000FF, 14},
    {"France", "France",
     "fran\xE7"
     "ais",
     0xFFFFFFFF, 70},
    {"Russie", "Russie", "russes", 0xFFFF0000, 92},
    {"Japon", "Japon", "japonais", 0xFFFFFF00, 97},
    {"Australie", "Australie", "australiens", 0xFFFF00FF, 103},
};

constexpr const char* kNobody = "En cours...";
constexpr const char* kNobodyDemonym = "peuple";
constexpr uint32_t kNobodyColour = 0xFF7F7F7F;

constexpr Government kGovernments[GovernmentCount] = {
    {"D\xE9mocratie", "Utilise le capitalisme\r\nafin d'accumuler les richesses", 10, 100000, 40000,
     100000, 0, 30, 1, 0, 1, 0},
    {"Empire",
     "D\xE9tiens les arm\xE9"
     "es les\r\nplus puissantes et les moins chers",
     5, 85000, 30000, 80000, 5, 40, 1, 1, 0, 0},
    {"Communisme", "Utilise l'espionnage\r\npour contr\xF4ler le monde", 0, 95000, 39000, 30000, 10,
     50, 0, 1, 1, 0},
};

constexpr const char* kLeaderTitles[GovernmentCount] = {"Pr\xE9sident", "Empereur",
                                                        "Secr\xE9taire"};
constexpr const char* kEmblemStems[GovernmentCount] = {"Democratie", "Empire", "Communisme"};

}  // namespace

const Territory* TerritoryAt(int index) {
    if (index < 0 || index >= TerritoryCount)
        return nullptr;
    return &kWorld[index];
}

int ContinentOf(int index) {
    const Territory* territory = TerritoryAt(index);
    return territory ? territory->continent : -1;
}

NeighbourList NeighboursOf(int index) {
    NeighbourList list;
    const Territory* territory = TerritoryAt(index);
    if (!territory)
        return list;
    for (int32_t slot : territory->neighbours) {
        if (slot == 0)
            break;
        list.index[static_cast<size_t>(list.count++)] = slot - 1;
    }
    return list;
}

const Nation* NationAt(int index) {
    if (index < 0 || index >= NationCount)
        return nullptr;
    return &kNations[index];
}

std::string NationName(int index) {
    const Nation* nation = NationAt(index);
    return nation ? nation->name : kNobody;
}

uint32_t NationColour(int index) {
    const Nation* nation = NationAt(index);
    return nation ? nation->colour : kNobodyColour;
}

int StartingTerritory(int index) {
    const Nation* nation = NationAt(index);
    return nation ? nation->startingTerritory : 103;
}

std::string NationFlagPath(int index) {
    const Nation* nation = NationAt(index);
    return nation ? std::string("..\\Ressources\\Graphics\\Pays\\") + nation->stem + ".png" : "";
}

std::string NationPortraitPath(int index) {
    const Nation* nation = NationAt(index);
    return nation ? std::string("..\\Ressources\\Graphics\\Personnage\\") + nation->stem + ".png"
                  : "";
}

const Government* GovernmentAt(int index) {
    if (index < 0 || index >= GovernmentCount)
        return nullptr;
    return &kGovernments[index];
}

std::string GovernmentName(int index) {
    const Government* government = GovernmentAt(index);
    return government ? government->name : kNobody;
}

std::string GovernmentEmblemPath(int index, bool lobbyPicture) {
    if (index < 0 || index >= GovernmentCount)
        return "";
    return std::string("..\\Ressources\\Graphics\\Embleme\\") + kEmblemStems[index] +
           (lobbyPicture ? ".jpg" : ".png");
}

std::string LeaderTitle(int nation, int government) {
    const std::string title =
        government >= 0 && government < GovernmentCount ? kLeaderTitles[government] : "Titre";
    const Nation* people = NationAt(nation);
    return title + " des " + (people ? people->demonym : kNobodyDemonym);
}

std::string FormatAmount(int32_t amount) {
    if (amount < 1000)
        return std::to_string(amount);
    std::string group = std::to_string(amount % 1000);
    group.insert(0, 3 - group.size(), '0');
    return FormatAmount(amount / 1000) + " " + group;
}

std::string RevenueText(const Government& government) {
    return "+" + std::to_string(government.revenueBonus) + "%";
}

std::string CounterEspionageText(const Government& government) {
    return std::to_string(government.counterEspionageMin) + "% - " +
           std::to_string(government.counterEspionageMax) + "%";
}

std::string AbilitiesText(const Government& government) {
    if (government.scandal && government.shootOnSight)
        return "Scandale & Tir \xE0 vue";
    if (government.scandal && government.propaganda)
        return "Scandale & Propagande";
    return "Tir \xE0 vue & Propagande";
}

}  // namespace torvane
