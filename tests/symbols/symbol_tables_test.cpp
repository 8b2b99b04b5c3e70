// The symbol tables: name rules and their order, scopes and shadowing,
// slot numbering of globals and locals, and the function index.
#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

#include "codegen/emit.hpp"
#include "support/code_builder.hpp"
#include "symbols/symbol_tables.hpp"

using namespace oxtest;
using namespace oxbuild;

namespace {

constexpr int kPrintingPass = 2;

// Diagnostics that print, with no reader behind them (file "", line 0).
struct PrintingDiagnostics {
    PrintingDiagnostics() { diag.start_pass(kPrintingPass); }
    std::string take() {
        std::string s = out.str();
        out.str("");
        return s;
    }
    std::ostringstream out;
    Diagnostics diag{out};
};

std::string rule_error(const Message& message, std::string_view name) {
    return error_line("", 0, message, name_detail(name));
}

// The six local counts of a module's i-th function descriptor.
std::array<std::uint32_t, kTypeClassCount> local_counts(const Bytes& module, std::size_t function) {
    const std::uint32_t descriptor = dword_at(module, format::kDescriptorOffsetsField + 4 * function);
    std::array<std::uint32_t, kTypeClassCount> counts{};
    for (std::size_t k = 0; k < counts.size(); ++k)
        counts[k] = dword_at(module, descriptor + format::kDescriptorLocalCounts + 4 * k);
    return counts;
}

using Counts = std::array<std::uint32_t, kTypeClassCount>;

}  // namespace

// --- name rules ------------------------------------------------------------

TEST(NameRules, ReservedWordsComeFirst) {
    PrintingDiagnostics d;
    ScopeTable scopes;
    for (const std::string_view word :
         {"int", "uint", "str", "if", "elseif", "else", "while", "continue", "break", "return"}) {
        EXPECT_FALSE(scopes.declare(d.diag, 0, word, TYPE_INT));
        EXPECT_EQ(d.take(), rule_error(msg::reserved_word, word));
    }
}

TEST(NameRules, StandardFunctionNamesAndNonLetterStartsAreRefused) {
    PrintingDiagnostics d;
    ScopeTable scopes;
    EXPECT_FALSE(scopes.declare(d.diag, 0, "SetField", TYPE_INT));
    EXPECT_EQ(d.take(), rule_error(msg::standard_function_name, "SetField"));
    EXPECT_FALSE(scopes.declare(d.diag, 0, "9lives", TYPE_INT));
    EXPECT_EQ(d.take(), rule_error(msg::name_not_letter, "9lives"));
    EXPECT_EQ(d.diag.error_count(), 2);
}

TEST(NameRules, CaseMattersAndOnlyTypeAndStatementKeywordsAreReserved) {
    PrintingDiagnostics d;
    ScopeTable scopes;
    for (const std::string_view name : {"_x", "setfield", "Int", "INT", "Return", "include", "define", "OnClick", "x9"})
        EXPECT_TRUE(scopes.declare(d.diag, 0, name, TYPE_INT)) << name;
    EXPECT_EQ(d.take(), "");
    EXPECT_EQ(d.diag.error_count(), 0);
}

TEST(NameRules, TheRulesGoBeforeTheDuplicateCheck) {
    PrintingDiagnostics d;
    ScopeTable scopes;
    // A refused name is never added, so a second try gets the same message.
    EXPECT_FALSE(scopes.declare(d.diag, 0, "while", TYPE_INT));
    EXPECT_FALSE(scopes.declare(d.diag, 0, "while", TYPE_INT));
    EXPECT_EQ(d.take(), rule_error(msg::reserved_word, "while") + rule_error(msg::reserved_word, "while"));
    EXPECT_TRUE(scopes.declare(d.diag, 0, "a", TYPE_INT));
    EXPECT_FALSE(scopes.declare(d.diag, 0, "a", TYPE_UINT));
    EXPECT_EQ(d.take(), rule_error(msg::already_defined, "a"));
}

TEST(NameRules, ParameterListsApplyTheSameRules) {
    PrintingDiagnostics d;
    NameTable names;
    ParameterList params(names);
    EXPECT_FALSE(params.declare(d.diag, "str", TYPE_INT));
    EXPECT_FALSE(params.declare(d.diag, "Beep", TYPE_INT));
    EXPECT_FALSE(params.declare(d.diag, "1st", TYPE_INT));
    EXPECT_TRUE(params.declare(d.diag, "a", TYPE_INT));
    EXPECT_FALSE(params.declare(d.diag, "a", TYPE_STR));
    EXPECT_EQ(d.take(), rule_error(msg::reserved_word, "str") + rule_error(msg::standard_function_name, "Beep") +
                            rule_error(msg::name_not_letter, "1st") + rule_error(msg::already_defined, "a"));
    ASSERT_EQ(params.accepted().size(), 1u);
    EXPECT_EQ(names.text(params.accepted()[0].id), "a");
    EXPECT_EQ(params.accepted()[0].type, TYPE_INT);
}

// --- scopes ----------------------------------------------------------------

TEST(Scopes, AnInnerLevelShadowsAndFreeingALevelUncoversTheOuterName) {
    PrintingDiagnostics d;
    ScopeTable scopes;
    ASSERT_TRUE(scopes.declare(d.diag, 0, "a", TYPE_INT));
    ASSERT_TRUE(scopes.declare(d.diag, 1, "a", TYPE_STR));  // only level 1's list is searched
    ASSERT_TRUE(scopes.declare(d.diag, 3, "a", TYPE_UINT));
    EXPECT_EQ(scopes.lookup("a", 3)->level, 3);
    EXPECT_EQ(scopes.lookup("a", 3)->type, TYPE_UINT);
    EXPECT_EQ(scopes.lookup("a", 2)->level, 1);
    EXPECT_EQ(scopes.lookup("a", 2)->type, TYPE_STR);
    EXPECT_EQ(scopes.find(2, "a"), std::nullopt);
    scopes.free_level(3);
    scopes.free_level(1);
    EXPECT_EQ(scopes.lookup("a", 3)->level, 0);
    EXPECT_EQ(scopes.lookup("b", 3), std::nullopt);
    // After its level was freed the name can be declared there again.
    EXPECT_TRUE(scopes.declare(d.diag, 1, "a", TYPE_INT));
    EXPECT_EQ(d.diag.error_count(), 0);
}

// A level-0 declaration comes back with its type and slot exactly, whether
// it fits the name's reference or needs an entry of its own (a negative
// slot, one of 23 bits or more), under a shadowing entry and after it.
TEST(Scopes, ALevel0DeclarationKeepsItsTypeAndSlotWhereverItIsKept) {
    const std::int32_t slots[] = {0, 1, (1 << 23) - 2, (1 << 23) - 1, 1 << 23, -1, 0x7FFFFFFF};
    const TypeCode types[] = {TYPE_FUNCTION, TYPE_INT, TYPE_STR_REF, 0xFF};
    for (const TypeCode type : types) {
        for (const std::int32_t slot : slots) {
            SCOPED_TRACE("type " + std::to_string(type) + " slot " + std::to_string(slot));
            PrintingDiagnostics d;
            NameTable names;
            ScopeTable scopes(names);
            const NameId g = names.intern("g");
            ASSERT_TRUE(scopes.may_declare(d.diag, 0, "g", g));
            scopes.add_unchecked(0, g, type, slot);
            const auto expect_level_0 = [&](int from_level) {
                const auto found = scopes.lookup("g", from_level);
                ASSERT_TRUE(found.has_value());
                EXPECT_EQ(found->type, type);
                EXPECT_EQ(found->level, 0);
                EXPECT_EQ(found->slot, slot);
            };
            expect_level_0(2);
            EXPECT_EQ(scopes.find(0, "g"), type);
            scopes.add_unchecked(1, g, TYPE_UINT, 7);
            EXPECT_EQ(scopes.lookup("g", 2)->level, 1);
            EXPECT_EQ(scopes.find(0, "g"), type);  // under the shadowing entry
            EXPECT_FALSE(scopes.may_declare(d.diag, 0, "g", g));
            EXPECT_EQ(d.take(), rule_error(msg::already_defined, "g"));
            scopes.free_level(1);
            expect_level_0(2);
            EXPECT_EQ(scopes.find(1, "g"), std::nullopt);
        }
    }
}

// --- slots -----------------------------------------------------------------

TEST(Slots, ASlotIsKeyedByClassLevelAndName) {
    SlotTable slots;
    std::int32_t int_count = 0;
    std::int32_t str_count = 0;
    slots.add(0, 1, "t", int_count);
    slots.add(0, 2, "u", int_count);
    slots.add(0, 2, "t", int_count);
    slots.add(0, 2, "t", int_count);  // the same name at the same level again: no new slot
    slots.add(2, 2, "t", str_count);  // another class counts apart
    EXPECT_EQ(int_count, 3);
    EXPECT_EQ(str_count, 1);
    EXPECT_EQ(slots.find(0, 1, "t"), 0);
    EXPECT_EQ(slots.find(0, 2, "u"), 1);
    EXPECT_EQ(slots.find(0, 2, "t"), 2);
    EXPECT_EQ(slots.find(2, 2, "t"), 0);
    EXPECT_EQ(slots.find(0, 3, "t"), std::nullopt);  // another level
    // Emptied (the next function body): no slot is found, and a name's first
    // slot may now be another one of its keys.
    slots.clear();
    EXPECT_EQ(slots.find(0, 1, "t"), std::nullopt);
    EXPECT_EQ(slots.find(0, 2, "t"), std::nullopt);
    std::int32_t next_count = 0;
    EXPECT_EQ(slots.add(0, 2, "t", next_count), 0);
    EXPECT_EQ(slots.add(0, 1, "t", next_count), 1);
    EXPECT_EQ(slots.find(0, 2, "t"), 0);
    EXPECT_EQ(slots.find(0, 1, "t"), 1);
    EXPECT_EQ(slots.find(0, 2, "u"), std::nullopt);
}

// After as many clears as there are epochs, the entries are wiped before
// the first epoch comes round again: a slot from back then is not found.
TEST(Slots, NoSlotSurvivesTheEpochsComingRound) {
    SlotTable slots;
    std::int32_t count = 0;
    slots.add(0, 1, "t", count);
    for (std::uint32_t i = 0; i < SlotTable::kClearsPerRound; ++i) slots.clear();
    EXPECT_EQ(slots.find(0, 1, "t"), std::nullopt);
    std::int32_t next_count = 5;
    EXPECT_EQ(slots.add(0, 1, "t", next_count), 5);
}

// Per-name facts read as zero where none was set, keep what was set as the
// array grows to a late name, and all go back to zero together.
TEST(NameFacts, UnsetFactsReadAsZeroAndSetOnesSurviveGrowth) {
    struct Fact {
        std::uint32_t tag = 0;
        std::int32_t value = 0;
    };
    NameFacts<Fact> facts;
    EXPECT_EQ(facts.find(0), nullptr);
    const NameId ids[] = {3, 255, 256, 1000, NameId{1} << 20};
    for (const NameId id : ids) facts[id] = {id + 1, -static_cast<std::int32_t>(id)};
    for (const NameId id : ids) {
        ASSERT_NE(facts.find(id), nullptr) << id;
        EXPECT_EQ(facts.find(id)->tag, id + 1) << id;
        EXPECT_EQ(facts.find(id)->value, -static_cast<std::int32_t>(id)) << id;
    }
    EXPECT_EQ(facts.find(4)->tag, 0u);
    EXPECT_EQ(facts.find((NameId{1} << 20) - 1)->value, 0);
    EXPECT_EQ(facts.find(NameId{1} << 21), nullptr);
    facts.clear_all();
    for (const NameId id : ids) EXPECT_EQ(facts.find(id)->tag, 0u) << id;
}

// --- the function index ----------------------------------------------------

TEST(FunctionIndex, StandardRecordsGiveTheirNumberAndShiftNoUserIndex) {
    FunctionTable functions;
    const auto add = [&functions](std::string_view name, FunctionKind kind, CodeAddress entry) {
        FunctionRecord r;
        r.kind = kind;
        r.entry = entry;
        functions.add(name, r);
    };
    add("strcpy", FunctionKind::standard, 0x80);
    add("ClearPattern", FunctionKind::standard, 0x10);
    add("f", FunctionKind::user, 100);
    add("g", FunctionKind::user, 200);
    add("f", FunctionKind::user, 300);  // a second record of a name is never found

    const auto strcpy_index = functions.find_index("strcpy");
    ASSERT_TRUE(strcpy_index);
    EXPECT_EQ(strcpy_index->kind, FunctionKind::standard);
    EXPECT_EQ(strcpy_index->call_number, 0x80);
    EXPECT_EQ(functions.find_index("ClearPattern")->call_number, 0x10);
    EXPECT_EQ(functions.find_index("f")->kind, FunctionKind::user);
    EXPECT_EQ(functions.find_index("f")->call_number, 0);
    EXPECT_EQ(functions.find_index("g")->call_number, 1);
    EXPECT_EQ(functions.find("f")->entry, 100);
    EXPECT_EQ(functions.find_index("h"), std::nullopt);
    EXPECT_EQ(functions.find_index("Strcpy"), std::nullopt);
    EXPECT_EQ(functions.user_count(), 3);
}

TEST(FunctionIndex, TheFirstUserFunctionDefinedHasIndexZeroAfterTheStandardRecords) {
    TwoPasses passes("a() { }\nb() { }\n");
    ASSERT_EQ(passes.errors(), 0);
    const FunctionTable& functions = passes.compiler().run.functions;
    EXPECT_EQ(functions.find_index("a")->call_number, 0);
    EXPECT_EQ(functions.find_index("b")->call_number, 1);
    EXPECT_EQ(functions.find_index("StrOctToInt")->call_number, 0x94);
}

TEST(Prototypes, TheFirstRecordOfANameWins) {
    PrototypeTable prototypes;
    prototypes.add("f", std::vector<TypeCode>{TYPE_INT});
    prototypes.add("f", std::vector<TypeCode>{TYPE_STR, TYPE_STR});
    ASSERT_TRUE(prototypes.find("f"));
    const auto parameters = prototypes.find("f")->parameters;
    EXPECT_EQ(std::vector<TypeCode>(parameters.begin(), parameters.end()), std::vector<TypeCode>{TYPE_INT});
    EXPECT_FALSE(prototypes.find("F"));
}

// Equal lists share one copy, yet each function finds exactly its own list:
// lists that differ only in length, in their last type or in a reference
// flag, taken in runs and in turn, past the first room of the list index.
TEST(Prototypes, EachFunctionFindsItsOwnListWhenEqualListsAreShared) {
    std::vector<std::vector<TypeCode>> lists = {{},
                                                {TYPE_INT},
                                                {TYPE_INT, TYPE_INT},
                                                {TYPE_INT, TYPE_STR},
                                                {TYPE_INT, TYPE_STR_REF},
                                                std::vector<TypeCode>(256, TYPE_UINT)};
    for (int i = 0; i < 40; ++i) lists.push_back({TYPE_STR, static_cast<TypeCode>(i)});
    const auto name = [](std::size_t f) { return std::string("f").append(std::to_string(f)); };
    PrototypeTable prototypes;
    std::vector<std::size_t> taken;
    for (std::size_t f = 0; f < 600; ++f) {
        const std::size_t list = f % 7 == 0 ? f % lists.size() : (f / 50) % lists.size();  // in turn, then runs
        taken.push_back(list);
        prototypes.add(name(f), lists[list]);
    }
    for (std::size_t f = 0; f < taken.size(); ++f) {
        const auto found = prototypes.find(name(f));
        ASSERT_TRUE(found) << f;
        EXPECT_EQ(std::vector<TypeCode>(found->parameters.begin(), found->parameters.end()), lists[taken[f]]) << f;
    }
}

// Each pass builds its scope and prototype tables afresh over the names the
// compilation keeps: a new table knows nothing of the last one's, and names
// met while a table is in use (past any first room) are kept in it.
TEST(SharedNames, ANewTableOverTheSameNamesStartsEmpty) {
    PrintingDiagnostics d;
    NameTable names;
    constexpr int kNames = 1000;
    {
        ScopeTable scopes(names);
        PrototypeTable prototypes(names);
        for (int i = 0; i < kNames; ++i) {
            const std::string name = "n" + std::to_string(i);
            ASSERT_TRUE(scopes.declare(d.diag, 0, name, TYPE_INT));
            prototypes.add(name, std::vector<TypeCode>{TYPE_STR});
        }
        for (int i = 0; i < kNames; ++i) {
            const std::string name = "n" + std::to_string(i);
            EXPECT_EQ(scopes.lookup(name, 0)->type, TYPE_INT) << name;
            EXPECT_TRUE(prototypes.find(name)) << name;
        }
    }
    ScopeTable scopes(names);
    PrototypeTable prototypes(names);
    EXPECT_EQ(scopes.lookup("n0", 0), std::nullopt);
    EXPECT_FALSE(prototypes.find("n999"));
    EXPECT_TRUE(scopes.declare(d.diag, 0, "n0", TYPE_STR));
    EXPECT_EQ(d.take(), "");
}

// --- slot numbering in compiled modules ------------------------------------

TEST(SlotNumbering, GlobalsAreNumberedPerTypeInOrderOfDeclaration) {
    const Bytes module = compile_ok(
        "int a;\n"
        "uint b;\n"
        "int c;\n"
        "str s;\n"
        "f() { a = c; b = a; }\n");
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields), 2u);
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields + 4), 1u);
    EXPECT_EQ(dword_at(module, format::kGlobalCountFields + 8), 1u);
    Code expected;
    expected.assign(kGlobalInt, 0).var(kGlobalInt, 1).end();   // a = c;
    expected.assign(kGlobalUint, 0).var(kGlobalInt, 0).end();  // b = a;
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{0, 0, 0, 0, 0, 0}));
}

TEST(SlotNumbering, NamedParametersComeFirstThenTheBodysLocals) {
    const Bytes module = compile_ok(
        "f(int x, int &y, int z)\n"
        "{\n"
        "    int n;\n"
        "    n = x + z;\n"
        "    y = n;\n"
        "}\n");
    Code expected;
    expected.assign(kLocalInt, 2).var(kLocalInt, 0).token(OP_ADD).var(kLocalInt, 1).end();  // n = x + z;
    expected.assign(kLocalIntRef, 0).var(kLocalInt, 2).end();                               // y = n;
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{3, 0, 0, 1, 0, 0}));
}

TEST(SlotNumbering, EachByReferenceTypeIsAClassOfItsOwn) {
    const Bytes module = compile_ok(
        "f(int &a, uint &b, str &c, uint &d, int e)\n"
        "{\n"
        "    a = 1;\n"
        "    b = 2;\n"
        "    d = 3;\n"
        "    e = 4;\n"
        "}\n");
    Code expected;
    expected.assign(kLocalIntRef, 0).constant(1).end();
    expected.assign(kLocalUintRef, 0).constant(2).end();
    expected.assign(kLocalUintRef, 1).constant(3).end();
    expected.assign(kLocalInt, 0).constant(4).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{1, 0, 0, 1, 2, 1}));
}

TEST(SlotNumbering, SiblingBlocksShareASlotPerNameAndType) {
    const Bytes module = compile_ok(
        "f()\n"
        "{\n"
        "    { int t; t = 1; }\n"
        "    { int t; t = 2; }\n"
        "    { uint t; t = 3; }\n"
        "}\n");
    Code expected;
    expected.assign(kLocalInt, 0).constant(1).end();
    expected.assign(kLocalInt, 0).constant(2).end();
    expected.assign(kLocalUint, 0).constant(3).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{1, 1, 0, 0, 0, 0}));
}

TEST(SlotNumbering, ShadowingGetsANewSlot) {
    const Bytes module = compile_ok(
        "int g;\n"
        "f(int p)\n"
        "{\n"
        "    {\n"
        "        int t;\n"
        "        {\n"
        "            int t;\n"
        "            int p;\n"
        "            int g;\n"
        "            t = p + g;\n"
        "        }\n"
        "        t = p + g;\n"
        "    }\n"
        "}\n");
    Code expected;
    // Inner block: t slot 2 (after p and the outer t), p slot 3, g slot 4.
    expected.assign(kLocalInt, 2).var(kLocalInt, 3).token(OP_ADD).var(kLocalInt, 4).end();
    // Outer block: the outer t, the parameter and the global.
    expected.assign(kLocalInt, 1).var(kLocalInt, 0).token(OP_ADD).var(kGlobalInt, 0).end();
    expected.op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{5, 0, 0, 0, 0, 0}));
}

TEST(SlotNumbering, EachFunctionNumbersItsOwnLocals) {
    const Bytes module = compile_ok(
        "f() { uint u; int t; t = 1; }\n"
        "g() { int t; t = 2; }\n");
    Code expected;
    expected.assign(kLocalInt, 0).constant(1).end().op(OP_RETURN);
    expected.assign(kLocalInt, 0).constant(2).end().op(OP_RETURN);
    EXPECT_EQ(hex(code_area(module)), hex(expected.bytes()));
    EXPECT_EQ(local_counts(module, 0), (Counts{1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(local_counts(module, 1), (Counts{1, 0, 0, 0, 0, 0}));
}

// Index words are 16 bits: slot 65535 is the last that a reference can name.
// Writing slot 65536 as 0 would make the module use another variable.
TEST(SlotNumbering, TheIndexWordTakesSlotsUpTo65535) {
    Sink sink;
    sink.start_pass(1);
    emit_index_word(sink, 0xFFFF);
    EXPECT_EQ(sink.counter(), 2);
    EXPECT_THROW(emit_index_word(sink, 0x10000), FatalStop);
}

TEST(SlotNumbering, ASlotBeyondTheIndexWordEndsInTheFatalStop) {
    constexpr int kSlots = 65537;
    std::string source = "int v0";
    for (int i = 1; i < kSlots; ++i) source += ", v" + std::to_string(i);
    source += ";\nf() { v0 = v65536; }\n";
    const Compiled result = compile_source(source);
    EXPECT_EQ(result.out, "   Fatal Error\n");
    EXPECT_FALSE(result.module_exists);
}
