#include "web/McduKeyTable.h"

namespace web {

namespace {

// The keys sit on five regular grids of the picture; positions are computed in single precision,
// which rounds to the same pixels as exact arithmetic would.

// Line select keys beside the screen: six rows, one column each side.
constexpr McduKey LineSelectKey(const char* path, int code, const char* label, float left,
                                int row) {
    const float top = 124.0f + 49.6f * static_cast<float>(row);
    return {path, code, label, left, top, left + 40.0f, top + 28.0f};
}

// Function and arrow keys below the screen.
constexpr McduKey FunctionKey(const char* path, int code, const char* label, int column, int row) {
    const float left = 79.0f + 64.6f * static_cast<float>(column);
    const float top = 470.0f + 47.25f * static_cast<float>(row);
    return {path, code, label, left, top, left + 53.0f, top + 36.0f};
}

// Digit block at the lower left.
constexpr McduKey DigitKey(const char* path, int code, const char* label, int column, int row) {
    const float left = 75.0f + 52.0f * static_cast<float>(column);
    const float top = 720.0f + 47.7f * static_cast<float>(row);
    return {path, code, label, left, top, left + 39.0f, top + 39.0f};
}

// Letter block at the lower right.
constexpr McduKey LetterKey(const char* path, int code, const char* label, int column, int row) {
    const float left = 235.0f + 56.25f * static_cast<float>(column);
    const float top = 584.0f + 55.4f * static_cast<float>(row);
    return {path, code, label, left, top, left + 40.0f, top + 40.0f};
}

constexpr float kLeftColumn = 22.0f;
constexpr float kRightColumn = 515.0f;

}  // namespace

const std::array<McduKey, kMcduKeyCount> McduKeyTable = {{
    LineSelectKey("/MCDU_KB_00", 0, "LSK 1", kLeftColumn, 0),
    LineSelectKey("/MCDU_KB_01", 1, "LSK 2", kLeftColumn, 1),
    LineSelectKey("/MCDU_KB_02", 2, "LSK 3", kLeftColumn, 2),
    LineSelectKey("/MCDU_KB_03", 3, "LSK 4", kLeftColumn, 3),
    LineSelectKey("/MCDU_KB_04", 4, "LSK 5", kLeftColumn, 4),
    LineSelectKey("/MCDU_KB_05", 5, "LSK 6", kLeftColumn, 5),
    LineSelectKey("/MCDU_KB_06", 6, "RSK 1", kRightColumn, 0),
    LineSelectKey("/MCDU_KB_07", 7, "RSK 2", kRightColumn, 1),
    LineSelectKey("/MCDU_KB_08", 8, "RSK 3", kRightColumn, 2),
    LineSelectKey("/MCDU_KB_09", 9, "RSK 4", kRightColumn, 3),
    LineSelectKey("/MCDU_KB_10", 10, "RSK 5", kRightColumn, 4),
    LineSelectKey("/MCDU_KB_11", 11, "RSK 6", kRightColumn, 5),
    FunctionKey("/MCDU_KB_12", 12, "FN DIR", 0, 0),
    FunctionKey("/MCDU_KB_13", 13, "FN PRG", 1, 0),
    FunctionKey("/MCDU_KB_20", 20, "FN PRF", 2, 0),
    FunctionKey("/MCDU_KB_21", 21, "FN INI", 3, 0),
    FunctionKey("/MCDU_KB_22", 22, "FN DAT", 4, 0),
    FunctionKey("/MCDU_KB_14", 14, "FN FPLN", 0, 1),
    FunctionKey("/MCDU_KB_15", 15, "FN RADN", 1, 1),
    FunctionKey("/MCDU_KB_23", 23, "FN FUEL", 2, 1),
    FunctionKey("/MCDU_KB_24", 24, "FN SECF", 3, 1),
    FunctionKey("/MCDU_KB_26", 26, "FN MENU", 5, 1),
    FunctionKey("/MCDU_KB_16", 16, "FN ARPT", 0, 2),
    FunctionKey("/MCDU_KB_25", 25, "AR L", 0, 3),
    FunctionKey("/MCDU_KB_17", 17, "AR U", 1, 3),
    FunctionKey("/MCDU_KB_18", 18, "AR R", 0, 4),
    FunctionKey("/MCDU_KB_19", 19, "AR D", 1, 4),
    DigitKey("/MCDU_KB_28", 28, "AL 1", 0, 0),
    DigitKey("/MCDU_KB_29", 29, "AL 2", 1, 0),
    DigitKey("/MCDU_KB_30", 30, "AL 3", 2, 0),
    DigitKey("/MCDU_KB_31", 31, "AL 4", 0, 1),
    DigitKey("/MCDU_KB_32", 32, "AL 5", 1, 1),
    DigitKey("/MCDU_KB_33", 33, "AL 6", 2, 1),
    DigitKey("/MCDU_KB_34", 34, "AL 7", 0, 2),
    DigitKey("/MCDU_KB_35", 35, "AL 8", 1, 2),
    DigitKey("/MCDU_KB_36", 36, "AL 9", 2, 2),
    DigitKey("/MCDU_KB_37", 37, "AL .", 0, 3),
    DigitKey("/MCDU_KB_27", 27, "AL 0", 1, 3),
    DigitKey("/MCDU_KB_65", 65, "AL +", 2, 3),
    LetterKey("/MCDU_KB_39", 39, "AL A", 0, 0),
    LetterKey("/MCDU_KB_40", 40, "AL B", 1, 0),
    LetterKey("/MCDU_KB_41", 41, "AL C", 2, 0),
    LetterKey("/MCDU_KB_42", 42, "AL D", 3, 0),
    LetterKey("/MCDU_KB_43", 43, "AL E", 4, 0),
    LetterKey("/MCDU_KB_44", 44, "AL F", 0, 1),
    LetterKey("/MCDU_KB_45", 45, "AL G", 1, 1),
    LetterKey("/MCDU_KB_46", 46, "AL H", 2, 1),
    LetterKey("/MCDU_KB_47", 47, "AL I", 3, 1),
    LetterKey("/MCDU_KB_48", 48, "AL J", 4, 1),
    LetterKey("/MCDU_KB_49", 49, "AL K", 0, 2),
    LetterKey("/MCDU_KB_50", 50, "AL L", 1, 2),
    LetterKey("/MCDU_KB_51", 51, "AL M", 2, 2),
    LetterKey("/MCDU_KB_52", 52, "AL N", 3, 2),
    LetterKey("/MCDU_KB_53", 53, "AL O", 4, 2),
    LetterKey("/MCDU_KB_54", 54, "AL P", 0, 3),
    LetterKey("/MCDU_KB_55", 55, "AL Q", 1, 3),
    LetterKey("/MCDU_KB_56", 56, "AL R", 2, 3),
    LetterKey("/MCDU_KB_57", 57, "AL S", 3, 3),
    LetterKey("/MCDU_KB_58", 58, "AL T", 4, 3),
    LetterKey("/MCDU_KB_59", 59, "AL U", 0, 4),
    LetterKey("/MCDU_KB_60", 60, "AL V", 1, 4),
    LetterKey("/MCDU_KB_61", 61, "AL W", 2, 4),
    LetterKey("/MCDU_KB_62", 62, "AL X", 3, 4),
    LetterKey("/MCDU_KB_63", 63, "AL Y", 4, 4),
    LetterKey("/MCDU_KB_64", 64, "AL Z", 0, 5),
    LetterKey("/MCDU_KB_38", 38, "AL /", 1, 5),
    LetterKey("/MCDU_KB_66", 66, "AL SP", 2, 5),
    LetterKey("/MCDU_KB_67", 67, "AL OVFY", 3, 5),
    LetterKey("/MCDU_KB_68", 68, "AL CLR", 4, 5),
}};

}  // namespace web
