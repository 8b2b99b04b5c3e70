#include "symbols/host_tables.hpp"

#include <array>


namespace oxbuild {

namespace {

constexpr TypeCode I = TYPE_INT;
constexpr TypeCode IR = TYPE_INT_REF;
constexpr TypeCode S = TYPE_STR;
constexpr TypeCode SR = TYPE_STR_REF;

// Parameter lists shared by several rows.
constexpr std::array<TypeCode, 0> kNone{};
constexpr std::array kI{I};
constexpr std::array kII{I, I};
constexpr std::array kIII{I, I, I};
constexpr std::array kIIII{I, I, I, I};
constexpr std::array kIR{IR};
constexpr std::array kIRIR{IR, IR};
constexpr std::array kIRx4{IR, IR, IR, IR};
constexpr std::array kIRx7{IR, IR, IR, IR, IR, IR, IR};
constexpr std::array kIIRIRIR{I, IR, IR, IR};
constexpr std::array kSI{S, I};
constexpr std::array kSIRI{S, IR, I};
constexpr std::array kSS{S, S};
constexpr std::array kSSRS{S, SR, S};
constexpr std::array kSIIR{S, I, IR};
constexpr std::array kSIIRSR{S, I, IR, SR};
constexpr std::array kSIR{S, IR};
constexpr std::array kS{S};
constexpr std::array kSRS{SR, S};
constexpr std::array kIIIR{I, I, IR};
constexpr std::array kIRSS{IR, S, S};
constexpr std::array kIRS{IR, S};
constexpr std::array kSRSII{SR, S, I, I};
constexpr std::array kIRSI{IR, S, I};
constexpr std::array kSRII{SR, I, I};

constexpr StandardFunction kStandardFunctions[] = {
    {0x00, "SetBasePoint", kI},
    {0x01, "SetField", kIIII},
    {0x02, "SetFieldPos", kII},
    {0x03, "SetFieldSize", kII},
    {0x04, "GetBasePoint", kIR},
    {0x05, "GetField", kIRx4},
    {0x06, "GetFieldPos", kIRIR},
    {0x07, "GetFieldSize", kIRIR},
    {0x10, "ClearPattern", kNone},
    {0x11, "GetPatternCount", kIR},
    {0x12, "AddParts", kIII},
    {0x13, "InsertParts", kIIII},
    {0x14, "DeleteParts", kI},
    {0x15, "GetParts", kIIRIRIR},
    {0x16, "ReplaceParts", kIIII},
    {0x20, "SetInterval", kI},
    {0x21, "GetRemainInterval", kIR},
    {0x22, "GetProgressInterval", kIR},
    {0x30, "SetSettingINT", kSI},
    {0x31, "GetSettingINT", kSIRI},
    {0x32, "SetSettingString", kSS},
    {0x33, "GetSettingString", kSSRS},
    {0x40, "MessageBox", kSIIR},
    {0x41, "LineInputBox", kSIIRSR},
    {0x42, "MultiLineInputBox", kSIIRSR},
    {0x50, "ExecuteProcess", kSIR},
    {0x51, "WaitProcess", kI},
    {0x52, "FileSelectDialog", kSRS},
    {0x60, "GetTarget", kIRx4},
    {0x61, "GetTargetPos", kIRIR},
    {0x62, "GetTargetSize", kIRIR},
    {0x63, "GetScreenSize", kIRIR},
    {0xA0, "Beep", kII},
    {0xA1, "MessageBeep", kI},
    {0xA2, "PlayWave", kI},
    {0xA3, "StopWave", kNone},
    {0xA4, "PlayWaveFromFile", kS},
    {0xB0, "PopupMenu", kI},
    {0xB1, "EnableMenuItem", kIII},
    {0xB2, "CheckMenuItem", kIII},
    {0xB3, "GetMenuItemStatus", kIIIR},
    {0x70, "Random", kIIIR},
    {0x71, "GetTime", kIRx7},
    {0x80, "strcpy", kSRS},
    {0x81, "strcat", kSRS},
    {0x82, "strcmp", kIRSS},
    {0x83, "strlen", kIRS},
    {0x84, "strcut", kSRSII},
    {0x85, "strint", kIRSI},
    {0x86, "strchar", kSRII},
    {0x90, "IntToStrHex", kSRII},
    {0x91, "IntToStrhex", kSRII},
    {0x95, "IntToStrDec", kSRII},
    {0x92, "IntToStrOct", kSRII},
    {0x93, "StrHexToInt", kIRS},
    {0x96, "StrDecToInt", kIRS},
    {0x94, "StrOctToInt", kIRS},
};
static_assert(std::size(kStandardFunctions) == 57);

constexpr EventRow kEvents[] = {
    {"OnLoad", kIR},
    {"OnUnload", kNone},
    {"OnInterval", kNone},
    {" ", kNone},  // a placeholder no identifier can name: its handler is always -1
    {"OnClick", kIII},
    {"OnDblClick", kIII},
    {"OnTargetChanging", kI},
    {"OnTargetChanged", kI},
    {"OnTargetMoving", kNone},
    {"OnTargetMoved", kNone},
    {"OnMenuItemSelected", kII},
};
static_assert(std::size(kEvents) == 11);

}  // namespace

std::span<const StandardFunction> standard_functions() { return kStandardFunctions; }

std::span<const EventRow> events() { return kEvents; }

constinit const NameFilter kStandardFunctionFilter(kStandardFunctions, [](const StandardFunction& f) { return f.name; });

namespace {

// The rows by the hash of their names, open addressing, laid out at compile
// time: a name is told by the hash its word already carries and one
// comparison, with nothing built at start-up.
constexpr std::size_t kNameSlots = 128;  // more than twice the rows
constexpr std::int8_t kNoRow = -1;
constexpr std::array<std::int8_t, kNameSlots> kStandardNameSlots = [] {
    std::array<std::int8_t, kNameSlots> slots{};
    slots.fill(kNoRow);
    for (std::size_t row = 0; row < std::size(kStandardFunctions); ++row) {
        std::size_t at = hash_name(kStandardFunctions[row].name) & (kNameSlots - 1);
        while (slots[at] != kNoRow) at = (at + 1) & (kNameSlots - 1);
        slots[at] = static_cast<std::int8_t>(row);
    }
    return slots;
}();

}  // namespace

bool is_standard_function_name_in_table(const NameKey& name) {
    for (std::size_t at = name.hash() & (kNameSlots - 1); kStandardNameSlots[at] != kNoRow; at = (at + 1) & (kNameSlots - 1))
        if (kStandardFunctions[static_cast<std::size_t>(kStandardNameSlots[at])].name == name.text) return true;
    return false;
}

}  // namespace oxbuild
