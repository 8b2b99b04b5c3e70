#include "driver/pass.hpp"

#include <utility>

#include "codegen/statements.hpp"
#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "module/module_writer.hpp"
#include "resources/bitmaps.hpp"
#include "resources/directives.hpp"
#include "resources/menus.hpp"
#include "resources/waves.hpp"
#include "symbols/calls.hpp"
#include "symbols/declarations.hpp"
#include "symbols/host_tables.hpp"

namespace oxbuild {

namespace {

struct KeywordRow {
    std::string_view name;
    void (*handler)(Compiler&);
    TypeCode type;
};

// Searched in row order with an exact, case-sensitive comparison.
constexpr KeywordRow kTypeKeywords[] = {
    {type_spelling(TYPE_INT), [](Compiler& c) { compile_declaration(c, TYPE_INT); }, TYPE_INT},
    {type_spelling(TYPE_UINT), [](Compiler& c) { compile_declaration(c, TYPE_UINT); }, TYPE_UINT},
    {type_spelling(TYPE_STR), [](Compiler& c) { compile_declaration(c, TYPE_STR); }, TYPE_STR},
};

constexpr KeywordRow kStatementKeywords[] = {
    {"if", compile_if, 0},
    {"elseif", compile_elseif, 0},
    {"else", compile_else, 0},
    {"while", compile_while, 0},
    {"continue", compile_continue, 0},
    {"break", compile_break, 0},
    {"return", compile_return, 0},
};

// Recognised only after '#'; not reserved as names.
constexpr KeywordRow kDirectiveKeywords[] = {
    {"include", directive_include, 0},
    {"define", directive_define, 0},
    {"module", directive_module, 0},
    {"copyright", directive_copyright, 0},
    {"version", directive_version, 0},
    {"comment", directive_comment, 0},
    {"bitmap", directive_bitmap, 0},
    {"wave", directive_wave, 0},
    {"menu", directive_menu, 0},
};

template <std::size_t N>
const KeywordRow* find_row(const KeywordRow (&table)[N], std::string_view word) {
    for (const KeywordRow& row : table)
        if (row.name == word) return &row;
    return nullptr;
}

// The host's parameter lists are static, so the prototypes keep them as they are.
void register_host_tables(Compiler& c) {
    for (const StandardFunction& f : standard_functions()) {
        const NameId id = c.names.intern(f.name);  // numbered once, for both tables
        c.p().prototypes.add_kept(id, f.parameters);
        if (!c.sink.counting()) continue;
        FunctionRecord record;
        record.entry = f.number;
        record.kind = FunctionKind::standard;
        record.parameter_count = static_cast<std::uint16_t>(f.parameters.size());
        c.run.functions.add(id, record);
    }
    for (const EventRow& e : events()) c.p().prototypes.add_kept(c.names.intern(e.name), e.parameters);
}

void start_main_source(Compiler& c) {
    Reader& r = c.reader;
    r.file_name = c.main_source_name;
    r.line = 1;
    r.file_number = 0;
    r.start(*c.main_source);
}

// # name   -> a directive handler
void compile_directive(Compiler& c) {
    c.reader.step_over(1);
    Word word;
    c.lex.read_identifier(word);
    const KeywordRow* row = word.empty() ? nullptr : find_row(kDirectiveKeywords, word.view());
    if (row == nullptr) c.lex.syntax_error();
    else row->handler(c);
}

constexpr auto row_name = [](const KeywordRow& row) { return row.name; };
constexpr NameFilter kTypeKeywordFilter(kTypeKeywords, row_name);
constexpr NameFilter kStatementKeywordFilter(kStatementKeywords, row_name);

void compile_word_item(Compiler& c, const Word& word) {
    const std::string_view text = word.view();
    const KeywordRow* type = kTypeKeywordFilter.may_hold(text) ? find_row(kTypeKeywords, text) : nullptr;
    const KeywordRow* statement =
        type == nullptr && kStatementKeywordFilter.may_hold(text) ? find_row(kStatementKeywords, text) : nullptr;
    if (type != nullptr) type->handler(c);
    else if (statement != nullptr) statement->handler(c);
    else if (c.block_level() == 0) compile_function_statement(c, word);
    else compile_identifier_statement(c, word);
}

void compile_punctuation_item(Compiler& c) {
    Reader& r = c.reader;
    switch (r.cur()) {
        case '#': compile_directive(c); break;
        case '{':
            r.step_over(1);
            (void)open_block(c, BLOCK_PLAIN, c.sink.counter());
            break;
        case '}':
            r.step_over(1);
            close_block(c);
            break;
        case ';': r.step_over(1); break;
        case kEnd: break;
        default: c.lex.syntax_error(); break;
    }
}

void finish_pass_1(Compiler& c) {
    c.run.descriptors.finish();
    compute_section_totals(c);
    c.run.code_size = c.sink.counter();
    c.run.texts = c.p().texts;
    for (const BitmapRecord& b : c.p().bitmaps) c.run.bitmap_sizes.emplace_back(b.width, b.height);
    for (const WaveRecord& w : c.p().waves) c.run.wave_sizes.push_back(w.size);
    late_check(c, LateCheck::resource_files);
}

// Pass 2 has read every resource file again: a file that changed between
// the passes would make the module disagree with its own header.
bool resources_read_as_in_pass_1(const Compiler& c) {
    std::vector<std::pair<std::int32_t, std::int32_t>> bitmaps;
    for (const BitmapRecord& b : c.p().bitmaps) bitmaps.emplace_back(b.width, b.height);
    std::vector<std::int64_t> waves;
    for (const WaveRecord& w : c.p().waves) waves.push_back(w.size);
    return bitmaps == c.run.bitmap_sizes && waves == c.run.wave_sizes;
}

// Before pass 2 (a pass 2 from the spool reads no directive again): every
// resource file still holds what its directive read.
bool resource_files_unchanged(const Compiler& c) {
    for (const BitmapRecord& b : c.p().bitmaps)
        if (!bitmap_file_unchanged(c, b)) return false;
    for (const WaveRecord& w : c.p().waves)
        if (!wave_file_unchanged(c, w)) return false;
    return true;
}

bool late_check_holds(const Compiler& c, LateCheck check, NameId subject) {
    switch (check) {
        case LateCheck::function_body: return c.run.functions.find_index(subject).has_value();
        case LateCheck::resource_files:
            return c.pass_number() == kWritingPass ? resources_read_as_in_pass_1(c) : resource_files_unchanged(c);
    }
    return false;
}

void report_late_check(Compiler& c, LateCheck check, std::string_view name) {
    switch (check) {
        case LateCheck::function_body: c.diag.report_error_name(msg::no_function_body, name); return;
        case LateCheck::resource_files: c.diag.report_error(msg::pass_mismatch); return;
    }
}

void record_late_check(LateChecks& checks, LateCheck check, NameId subject) {
    switch (check) {
        case LateCheck::function_body:
            if (std::exchange(checks.recorded_body[subject], 1) == 0)
                checks.function_bodies.push_back(subject);
            return;
        case LateCheck::resource_files: checks.resource_files = true; return;
    }
}

// Each section must begin where the header says it does; anything else is a
// fault of the compiler, and no such module may be left behind.
void check_section_start(Compiler& c, std::int64_t expected_offset) {
    if (c.module == nullptr || c.diag.error_count() != 0) return;
    if (c.module->written() != expected_offset) fatal_stop("internal: a section does not start where the header says");
}

}  // namespace

void finish_pass_2(Compiler& c) {
    late_check(c, LateCheck::resource_files);
    check_section_start(c, c.run.layout.bitmap_section);
    write_bitmap_section(c);
    check_section_start(c, c.run.layout.wave_section);
    write_wave_section(c);
    check_section_start(c, c.run.layout.menu_section);
    write_menu_section(c);
}

namespace {
template <std::size_t N>
std::vector<std::string_view> row_names(const KeywordRow (&table)[N]) {
    std::vector<std::string_view> names;
    for (const KeywordRow& row : table) names.push_back(row.name);
    return names;
}
}  // namespace

std::vector<std::string_view> type_keyword_names() { return row_names(kTypeKeywords); }
std::vector<std::string_view> statement_keyword_names() { return row_names(kStatementKeywords); }
std::vector<std::string_view> directive_keyword_names() { return row_names(kDirectiveKeywords); }

std::optional<TypeCode> type_keyword_code(std::string_view word) {
    if (const KeywordRow* row = find_row(kTypeKeywords, word)) return row->type;
    return std::nullopt;
}

void compile_statements(Compiler& c) {
    Word word;
    while (c.reader.cur() != kEnd) {
        c.lex.read_identifier(word);
        if (!word.empty()) compile_word_item(c, word);
        else compile_punctuation_item(c);
        c.p().else_allowance.item_done();
    }
}

void late_check(Compiler& c, LateCheck check, NameId subject, std::string_view name) {
    if (c.pass_number() == kCountingPass) record_late_check(c.run.late_checks, check, subject);
    else if (!late_check_holds(c, check, subject)) report_late_check(c, check, name);
}

std::optional<LateCheck> failing_late_check(Compiler& c) {
    const LateChecks& checks = c.run.late_checks;
    for (const NameId function : checks.function_bodies)
        if (!late_check_holds(c, LateCheck::function_body, function)) return LateCheck::function_body;
    if (checks.resource_files && !late_check_holds(c, LateCheck::resource_files, 0)) return LateCheck::resource_files;
    return std::nullopt;
}

void start_pass_2(Compiler& c, Compiler::PerPassState state) {
    c.begin_pass(kWritingPass, state);
    write_module_header(c);
    c.sink.reset_counter();
}

void compile_pass(Compiler& c, int pass) {
    if (pass == kWritingPass) {
        start_pass_2(c, Compiler::PerPassState::fresh);
    } else {
        c.begin_pass(pass);
        c.sink.reset_counter();
    }
    register_host_tables(c);
    start_main_source(c);
    compile_statements(c);
    if (c.block_level() != 0) c.diag.report_error(msg::missing_close_brace);
    if (pass == kCountingPass) finish_pass_1(c);
    else finish_pass_2(c);
}

}  // namespace oxbuild
