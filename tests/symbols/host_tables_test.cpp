// The host interface: the 57 standard functions and the 11 events, their
// registration at the start of each pass, and calls that reach them.
#include <gtest/gtest.h>

#include <vector>

#include "support/code_builder.hpp"
#include "symbols/host_tables.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr TypeCode I = TYPE_INT;
constexpr TypeCode IR = TYPE_INT_REF;
constexpr TypeCode S = TYPE_STR;
constexpr TypeCode SR = TYPE_STR_REF;

struct ExpectedFunction {
    std::uint16_t number;
    std::string_view name;
    std::vector<TypeCode> parameters;
};

// The host's table, row by row.
const std::vector<ExpectedFunction> kExpectedFunctions = {
    {0x00, "SetBasePoint", {I}},
    {0x01, "SetField", {I, I, I, I}},
    {0x02, "SetFieldPos", {I, I}},
    {0x03, "SetFieldSize", {I, I}},
    {0x04, "GetBasePoint", {IR}},
    {0x05, "GetField", {IR, IR, IR, IR}},
    {0x06, "GetFieldPos", {IR, IR}},
    {0x07, "GetFieldSize", {IR, IR}},
    {0x10, "ClearPattern", {}},
    {0x11, "GetPatternCount", {IR}},
    {0x12, "AddParts", {I, I, I}},
    {0x13, "InsertParts", {I, I, I, I}},
    {0x14, "DeleteParts", {I}},
    {0x15, "GetParts", {I, IR, IR, IR}},
    {0x16, "ReplaceParts", {I, I, I, I}},
    {0x20, "SetInterval", {I}},
    {0x21, "GetRemainInterval", {IR}},
    {0x22, "GetProgressInterval", {IR}},
    {0x30, "SetSettingINT", {S, I}},
    {0x31, "GetSettingINT", {S, IR, I}},
    {0x32, "SetSettingString", {S, S}},
    {0x33, "GetSettingString", {S, SR, S}},
    {0x40, "MessageBox", {S, I, IR}},
    {0x41, "LineInputBox", {S, I, IR, SR}},
    {0x42, "MultiLineInputBox", {S, I, IR, SR}},
    {0x50, "ExecuteProcess", {S, IR}},
    {0x51, "WaitProcess", {I}},
    {0x52, "FileSelectDialog", {SR, S}},
    {0x60, "GetTarget", {IR, IR, IR, IR}},
    {0x61, "GetTargetPos", {IR, IR}},
    {0x62, "GetTargetSize", {IR, IR}},
    {0x63, "GetScreenSize", {IR, IR}},
    {0xA0, "Beep", {I, I}},
    {0xA1, "MessageBeep", {I}},
    {0xA2, "PlayWave", {I}},
    {0xA3, "StopWave", {}},
    {0xA4, "PlayWaveFromFile", {S}},
    {0xB0, "PopupMenu", {I}},
    {0xB1, "EnableMenuItem", {I, I, I}},
    {0xB2, "CheckMenuItem", {I, I, I}},
    {0xB3, "GetMenuItemStatus", {I, I, IR}},
    {0x70, "Random", {I, I, IR}},
    {0x71, "GetTime", {IR, IR, IR, IR, IR, IR, IR}},
    {0x80, "strcpy", {SR, S}},
    {0x81, "strcat", {SR, S}},
    {0x82, "strcmp", {IR, S, S}},
    {0x83, "strlen", {IR, S}},
    {0x84, "strcut", {SR, S, I, I}},
    {0x85, "strint", {IR, S, I}},
    {0x86, "strchar", {SR, I, I}},
    {0x90, "IntToStrHex", {SR, I, I}},
    {0x91, "IntToStrhex", {SR, I, I}},
    {0x95, "IntToStrDec", {SR, I, I}},
    {0x92, "IntToStrOct", {SR, I, I}},
    {0x93, "StrHexToInt", {IR, S}},
    {0x96, "StrDecToInt", {IR, S}},
    {0x94, "StrOctToInt", {IR, S}},
};

struct ExpectedEvent {
    std::string_view name;
    std::vector<TypeCode> parameters;
};

const std::vector<ExpectedEvent> kExpectedEvents = {
    {"OnLoad", {IR}},
    {"OnUnload", {}},
    {"OnInterval", {}},
    {" ", {}},
    {"OnClick", {I, I, I}},
    {"OnDblClick", {I, I, I}},
    {"OnTargetChanging", {I}},
    {"OnTargetChanged", {I}},
    {"OnTargetMoving", {}},
    {"OnTargetMoved", {}},
    {"OnMenuItemSelected", {I, I}},
};

std::vector<TypeCode> to_vector(std::span<const TypeCode> s) { return {s.begin(), s.end()}; }

}  // namespace

TEST(HostTables, StandardFunctionsAreTheHostsRowsInOrder) {
    const auto rows = standard_functions();
    ASSERT_EQ(rows.size(), 57u);
    ASSERT_EQ(kExpectedFunctions.size(), 57u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(kExpectedFunctions[i].name);
        EXPECT_EQ(rows[i].number, kExpectedFunctions[i].number);
        EXPECT_EQ(rows[i].name, kExpectedFunctions[i].name);
        EXPECT_EQ(to_vector(rows[i].parameters), kExpectedFunctions[i].parameters);
    }
}

TEST(HostTables, EventsAreTheHostsRowsInOrder) {
    const auto rows = events();
    ASSERT_EQ(rows.size(), kExpectedEvents.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(kExpectedEvents[i].name);
        EXPECT_EQ(rows[i].name, kExpectedEvents[i].name);
        EXPECT_EQ(to_vector(rows[i].parameters), kExpectedEvents[i].parameters);
    }
    EXPECT_EQ(kFixedHandlerEvents, 3u);
}

TEST(HostTables, StandardFunctionNamesMatchExactly) {
    EXPECT_TRUE(is_standard_function_name("SetField"));
    EXPECT_TRUE(is_standard_function_name("IntToStrHex"));
    EXPECT_TRUE(is_standard_function_name("IntToStrhex"));
    EXPECT_FALSE(is_standard_function_name("setfield"));
    EXPECT_FALSE(is_standard_function_name("SetFields"));
    EXPECT_FALSE(is_standard_function_name("OnClick"));
    EXPECT_FALSE(is_standard_function_name(" "));
    EXPECT_FALSE(is_standard_function_name(""));
}

TEST(HostTables, Pass1RecordsEveryStandardFunctionAndNoEvent) {
    TwoPasses passes("");
    const FunctionTable& functions = passes.compiler().run.functions;
    const auto& records = functions.records();
    ASSERT_EQ(records.size(), kExpectedFunctions.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(kExpectedFunctions[i].name);
        EXPECT_EQ(functions.name_of(records[i]), kExpectedFunctions[i].name);
        EXPECT_EQ(records[i].kind, FunctionKind::standard);
        EXPECT_EQ(records[i].entry, kExpectedFunctions[i].number);
        EXPECT_EQ(records[i].parameter_count, kExpectedFunctions[i].parameters.size());
    }
    EXPECT_EQ(passes.compiler().run.functions.user_count(), 0);
}

TEST(HostTables, BothTablesAreRegisteredAsPrototypesInPass2Too) {
    TwoPasses passes("");
    ASSERT_EQ(passes.compiler().pass_number(), 2);
    const PrototypeTable& prototypes = passes.compiler().p().prototypes;
    for (const ExpectedFunction& f : kExpectedFunctions) {
        const std::optional<Prototype> p = prototypes.find(f.name);
        ASSERT_TRUE(p) << f.name;
        EXPECT_EQ(to_vector(p->parameters), f.parameters) << f.name;
    }
    for (const ExpectedEvent& e : kExpectedEvents) {
        const std::optional<Prototype> p = prototypes.find(e.name);
        ASSERT_TRUE(p) << e.name;
        EXPECT_EQ(to_vector(p->parameters), e.parameters) << e.name;
    }
}

// Calls every standard function with arguments of its parameter types, so
// each row's number and parameter list reach the code: an int argument is
// the constant 0, an int& the local int n, a str the empty literal and a
// str& the local str s.
TEST(HostTables, EveryStandardFunctionIsCalledByItsNumber) {
    std::string source = "f() {\n    int n;\n    str s;\n";
    Code expected;
    for (const ExpectedFunction& f : kExpectedFunctions) {
        source += "    " + std::string(f.name) + "(";
        expected.call_standard(f.number);
        for (std::size_t k = 0; k < f.parameters.size(); ++k) {
            if (k != 0) source += ", ";
            switch (f.parameters[k]) {
                case I: source += "0"; expected.constant(0).end(); break;
                case IR: source += "n"; expected.ref(kLocalInt, 0); break;
                case S: source += "\"\""; expected.token(EXPR_STRING).byte(0).byte(0); break;
                case SR: source += "s"; expected.ref(kLocalStr, 0); break;
                default: FAIL() << "no such parameter type in the host table";
            }
        }
        source += ");\n";
    }
    source += "}\n";
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_of(source)), hex(expected.bytes()));
}

TEST(HostTables, IntToStrHexAndIntToStrhexAreTwoFunctions) {
    const Bytes code = code_of(
        "f() {\n"
        "    str s;\n"
        "    IntToStrHex(s, 1, 2);\n"
        "    IntToStrhex(s, 1, 2);\n"
        "}\n");
    Code expected;
    expected.call_standard(0x90).ref(kLocalStr, 0).constant(1).end().constant(2).end();
    expected.call_standard(0x91).ref(kLocalStr, 0).constant(1).end().constant(2).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code), hex(expected.bytes()));
}

TEST(HostTables, EventNamesAreNotReservedButStandardNamesAre) {
    const Bytes module = compile_ok("int OnClick;\nint setfield;\n");
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields), 2u);
    EXPECT_EQ(errors_of("int SetField;\n"),
              error_at(1, msg::standard_function_name, name_detail("SetField")));
}
