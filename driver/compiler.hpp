// The state of one compilation, grouped by lifetime: what pass 1 records and
// pass 2 reads (RunState), and what each pass builds afresh from the same
// text (PassState, constructed at the start of each pass that reads the
// source; a pass 2 written from the spool keeps pass 1's).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "codegen/blocks.hpp"
#include "codegen/emit.hpp"
#include "driver/code_spool.hpp"
#include "driver/dependency_file.hpp"
#include "core/diagnostics.hpp"
#include "core/listener.hpp"
#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "lexer/reader.hpp"
#include "lexer/source_stream.hpp"
#include "lexer/tokens.hpp"
#include "module/function_descriptors.hpp"
#include "module/module_writer.hpp"
#include "resources/resource_records.hpp"
#include "symbols/symbol_tables.hpp"

namespace oxbuild {

inline constexpr int kCountingPass = 1;  // declares, measures and records
inline constexpr int kWritingPass = 2;   // writes the module

// The checks that only the end of pass 1 settles, so that only pass 2 can
// report them; each has one message. Pass 1 records every check it meets by
// the same call (late_check) with which pass 2 makes it and reports, so that
// a pass 2 written from the spool makes them too (late_checks_hold).
enum class LateCheck : std::uint8_t {
    function_body,   // a function called above its body has one somewhere: "関数の本体が存在しません"
    resource_files,  // each bitmap and wave reads in pass 2 as in pass 1: "パス１とパス２で相違があります"
};

// The checks pass 1 met: each function called before its body, once.
struct LateChecks {
    std::vector<NameId> function_bodies;
    NameFacts<std::uint8_t> recorded_body;  // by name: 1 once in function_bodies
    bool resource_files = false;
};

// Made in pass 1, read in pass 2.
struct RunState {
    explicit RunState(NameTable& names) : functions(names), slots(names) {}

    FunctionTable functions;
    FunctionDescriptors descriptors;  // the user functions', in their order
    SlotTable slots;                 // the globals' slots
    std::array<std::int32_t, kGlobalTypes> global_counts{};
    BlockRecords blocks;
    CodeAddress code_size = 0;       // the code counter at the end of pass 1
    std::int64_t bitmap_total = 0;   // bitmap section size
    std::int64_t wave_total = 0;     // wave section size
    TextFields texts;                // as pass 1 left them, for the header
    ModuleLayout layout;             // fixed by the header writer in pass 2
    // Resource facts of pass 1, compared at the end of pass 2.
    std::vector<std::pair<std::int32_t, std::int32_t>> bitmap_sizes;
    std::vector<std::int64_t> wave_sizes;
    InputFiles inputs;  // every file read, in both passes, for the dependency file
    LateChecks late_checks;
};

// Built afresh by each pass from the same text.
struct PassState {
    PassState(int pass, NameTable& names) : number(pass), scopes(names), prototypes(names) {
        block_records.fill(kNoBlock);
    }

    int number;
    int block_level = 0;
    ElseAllowance else_allowance;
    int include_counter = 0;
    int include_depth = 0;
    ScopeTable scopes;
    PrototypeTable prototypes;
    DefineTable defines;
    TextFields texts;
    std::vector<BitmapRecord> bitmaps;
    SharedPalette palette;
    std::vector<WaveRecord> waves;
    std::unordered_set<std::int32_t> bitmap_numbers;  // for the duplicate checks
    std::unordered_set<std::int32_t> wave_numbers;
    std::vector<Menu> menus;
    std::array<BlockKey, kBlockLevels> block_keys{};
    // The first record with each open block's key, found once when the
    // block opens (kNoBlock when there is none).
    std::array<BlockIndex, kBlockLevels> block_records;
    NameFacts<std::uint8_t> defined_functions;  // by name: 1 for user functions given a body so far
};

class Compiler {
public:
    explicit Compiler(std::ostream& out, MessageStyle style = MessageStyle::cp932);
    Compiler(const Compiler&) = delete;
    Compiler& operator=(const Compiler&) = delete;

    Diagnostics diag;
    Reader reader;
    Lexer lex;
    Sink sink;
    NameTable names;  // every name met, numbered, for all the symbol tables
    RunState run;
    std::unique_ptr<PassState> pass;

    SourceStream* main_source = nullptr;
    std::string main_source_name;  // as derived on the command line
    ModuleStream* module = nullptr;
    CodeSpool* spool = nullptr;    // where pass 1 marks its provisional values; set by the driver for pass 1 only
    std::size_t spool_memory = ModuleStream::kSpoolMemory;  // the spooled code kept in memory, at most
    std::size_t blocks_kept = BlockRecords::kKept;  // block records a spooling pass 1 holds before letting closed ones go
    std::string base_dir;          // where the main source's relative names lead (platform::source_directory)

    // A tool watching the compilation, and where it wants include files
    // read from; both unset for the command line. A listener hears pass 2
    // (listen), or pass 1 (listen_to_pass_1); listener is set while that
    // pass runs.
    CompileListener* listener = nullptr;
    // The listener while it hears the program's meaning, or nullptr: the
    // hooks of declarations, uses, calls and instructions test this one.
    CompileListener* meaning_listener = nullptr;
    SourceOpener* opener = nullptr;
    void listen(CompileListener* l) { pass_2_listener_ = l; }
    bool listened() const { return pass_2_listener_ != nullptr; }
    // A tool that needs nothing only pass 2 settles (the formatter: tokens,
    // comments, blocks) may hear pass 1 instead, so that pass 2 may still
    // come from the spool.
    void listen_to_pass_1(CompileListener* l) { pass_1_listener_ = l; }
    CompileListener* pass_1_listener() const { return pass_1_listener_; }
    // The word, quote or brace just read, for the listener (out of line:
    // the hot paths keep only the listener test).
    [[gnu::cold]] NameAt name_here(std::string_view name) const;
    [[gnu::cold]] SourcePoint point_here() const;

    // Starts an instruction with its opcode; a listener hears its code
    // address and source line first.
    void emit_instruction(Opcode op) {
        note_instruction(op);
        emit_opcode(sink, op);
    }
    // The listener's part of emit_instruction, for an instruction written
    // in one move with its operands.
    void note_instruction(Opcode op) const {
        if (meaning_listener != nullptr) [[unlikely]] tell_instruction(op);
    }

    // Scratch space reused by every statement that needs it, so that the
    // hot paths allocate nothing.
    ParameterList parameters{names};
    std::string text;
    // The word of an operand or an argument, read into again for each one
    // (none is read while another is in use).
    Word operand;

    // The local slots of the function body being compiled, numbered afresh
    // in each pass from the same declarations; pass 1 copies the counts into
    // the function's record.
    SlotTable body_slots;
    std::array<std::int32_t, kTypeClassCount> body_counts{};

    PassState& p() { return *pass; }
    const PassState& p() const { return *pass; }
    int pass_number() const { return pass->number; }
    int block_level() const { return pass->block_level; }

    // Starts a pass: the pass number everywhere, the listener for pass 2,
    // and fresh per-pass state unless pass 1's is kept.
    enum class PerPassState : std::uint8_t { fresh, kept };
    void begin_pass(int number, PerPassState state = PerPassState::fresh);

    // The name as the file system sees it: separators made '/', and a
    // relative name taken from the main source's directory.
    std::string resolve(std::string_view name_as_written) const;

private:
    [[gnu::cold]] void tell_instruction(Opcode op) const;
    void attach_listener(CompileListener* l) {
        listener = l;
        meaning_listener = l != nullptr && l->hears_meaning() ? l : nullptr;
        lex.use_listener(l);
        reader.use_listener(l);
    }
    CompileListener* pass_1_listener_ = nullptr;
    CompileListener* pass_2_listener_ = nullptr;
};

}  // namespace oxbuild
