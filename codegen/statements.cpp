#include "codegen/statements.hpp"

#include "codegen/emit.hpp"
#include "codegen/expressions.hpp"
#include "driver/compiler.hpp"

namespace oxbuild {

namespace {

// An elseif or else begins with OP_JUMP and its address; the condition of
// the body before it, when false, lands just past them.
constexpr CodeAddress kChainJumpSize = 6;

// ( expression ) {   -> expression EXPR_END
bool compile_condition_head(Compiler& c) {
    if (!c.lex.expect_char('(')) return false;
    (void)compile_expression(c);
    emit_token(c.sink, EXPR_END);
    return c.lex.expect_char(')') && c.lex.expect_char('{');
}

BlockIndex& record_of_level(Compiler& c, int level) { return c.p().block_records[static_cast<std::size_t>(level)]; }

// The record of a block opened here: the one found as it opened, or, when
// it could not open, whatever pass 1 recorded at this key.
BlockIndex find_record_here(Compiler& c, bool opened) {
    if (!opened) return c.run.blocks.find(current_block_key(c));
    return record_of_level(c, c.block_level());
}

// The record of the block that has just closed, one level above this one,
// when it is the body of an if, elseif or else if.
BlockIndex find_closed_if_body(Compiler& c) {
    const int level = c.block_level() + 1;
    if (level >= kBlockLevels) return kNoBlock;
    const BlockIndex record = record_of_level(c, level);
    return record != kNoBlock && c.run.blocks.at(record).kind == BLOCK_IF ? record : kNoBlock;
}

// Moves the previous body's false-condition target past the chain jump.
bool chain_after_closed_if(Compiler& c) {
    const BlockIndex previous = find_closed_if_body(c);
    if (previous == kNoBlock) {
        c.diag.report_error(msg::pass_mismatch);
        return false;
    }
    if (c.sink.counting()) c.run.blocks.at(previous).end += kChainJumpSize;
    return true;
}

// A jump target that a block record holds. Pass 1 may not know it yet, so
// a spooling pass 1 marks where it goes, to be filled in from the record.
// Inlined into every statement that writes one: a call cost as much as the
// work.
[[gnu::always_inline]] inline void emit_block_address(Compiler& c, BlockIndex record, BlockAddress which) {
    if (c.spool != nullptr) c.spool->mark_block_address(c.sink.counter(), record, which);
    emit_code_address(c.sink, address_in(c.run.blocks.at(record), which));
}
// OP_JUMP and a block's address, in one move.
[[gnu::always_inline]] inline void emit_jump_to_block(Compiler& c, BlockIndex record, BlockAddress which) {
    c.note_instruction(OP_JUMP);
    if (c.spool != nullptr) c.spool->mark_block_address(c.sink.counter() + kOpcodeBytes, record, which);
    emit_opcode_and_address(c.sink, OP_JUMP, address_in(c.run.blocks.at(record), which));
}

// Opens a block of a statement and finds the record pass 1 made for it. A
// block without one is a pass mismatch, reported here; kNoBlock then.
BlockIndex open_recorded_block(Compiler& c, BlockKind kind, CodeAddress start) {
    const bool opened = open_block(c, kind, start);
    const BlockIndex record = find_record_here(c, opened);
    if (record == kNoBlock) c.diag.report_error(msg::pass_mismatch);
    return record;
}

// The body of an elseif, else if or else, right after the } of an if-kind
// body: the previous condition's target moves past the chain jump that
// begins this one.   -> OP_JUMP <chain>
BlockIndex open_chained_block(Compiler& c, BlockKind kind) {
    if (!chain_after_closed_if(c)) return kNoBlock;
    const BlockIndex record = open_recorded_block(c, kind, c.sink.counter());
    if (record == kNoBlock) return kNoBlock;
    emit_jump_to_block(c, record, BlockAddress::chain);
    return record;
}

// if/while ( expr ) {   -> OP_JUMP_IF_FALSE expr EXPR_END <end of block>
void compile_conditional_block(Compiler& c, BlockKind kind) {
    const CodeAddress start = c.sink.counter();
    c.emit_instruction(OP_JUMP_IF_FALSE);
    if (!compile_condition_head(c)) return;
    const BlockIndex record = open_recorded_block(c, kind, start);
    if (record != kNoBlock) emit_block_address(c, record, BlockAddress::end);
}

// elseif ( expr ) {   -> OP_JUMP <chain> OP_JUMP_IF_FALSE expr EXPR_END <end>
// Entered after the keyword (or after "else if").
void compile_elseif_after_keyword(Compiler& c) {
    const BlockIndex record = open_chained_block(c, BLOCK_IF);
    if (record == kNoBlock) return;
    c.emit_instruction(OP_JUMP_IF_FALSE);
    if (!compile_condition_head(c)) return;
    emit_block_address(c, record, BlockAddress::end);
}

// continue; / break;   -> OP_JUMP <start or end of the innermost while>
void compile_loop_jump(Compiler& c, bool to_start) {
    BlockIndex loop = kNoBlock;
    for (int level = c.block_level(); level >= 1 && loop == kNoBlock; --level) {
        const BlockIndex record = record_of_level(c, level);
        if (record == kNoBlock) {
            c.diag.report_error(msg::pass_mismatch);
            c.lex.expect_semicolon();
            return;
        }
        if (c.run.blocks.at(record).kind == BLOCK_WHILE) loop = record;
    }
    if (loop == kNoBlock) {
        c.diag.report_error(msg::only_in_while);
    } else {
        emit_jump_to_block(c, loop, to_start ? BlockAddress::start : BlockAddress::end);
    }
    c.lex.expect_semicolon();
}

// A function closing in a spooling pass 1: its marks are filled in, and
// the block records may go.
void close_spooled_function(Compiler& c) {
    c.spool->close_function(c.run.blocks);
    c.run.blocks.release_closed(c.blocks_kept);
}

// A block of the function body closing in a spooling pass 1: the marks
// before the block closed last are filled in, and once many block records
// are held, those before this block go, so that a long function keeps few.
void close_spooled_body_block(Compiler& c, BlockIndex record) {
    if (!c.run.blocks.may_release_before(record, c.blocks_kept)) [[likely]] {
        c.spool->close_body_block(c.run.blocks);
        return;
    }
    c.spool->close_body_block_filling_in(c.run.blocks);
    c.run.blocks.release_before(record);
}

}  // namespace

BlockKey current_block_key(const Compiler& c) { return {c.reader.file_number, c.reader.position()}; }

bool open_block(Compiler& c, BlockKind kind, CodeAddress start) {
    PassState& p = c.p();
    if (p.block_level == 0) {
        c.lex.syntax_error();
        return false;
    }
    if (p.block_level + 1 >= kBlockLevels) {
        c.diag.report_error(msg::nesting_too_deep);
        return false;
    }
    ++p.block_level;
    p.scopes.free_level(p.block_level);
    const BlockKey key = current_block_key(c);
    enter_block(c, p.block_level, key, record_block(c, key, kind, start));
    return true;
}

BlockIndex record_block(Compiler& c, const BlockKey& key, BlockKind kind, CodeAddress start) {
    return c.sink.counting() ? c.run.blocks.add(key, kind, start) : c.run.blocks.find(key);
}

void enter_block(Compiler& c, int level, const BlockKey& key) { enter_block(c, level, key, c.run.blocks.find(key)); }

void open_function_block(Compiler& c) {
    const BlockKey key = current_block_key(c);
    enter_block(c, 1, key, record_block(c, key, BLOCK_FUNCTION, c.sink.counter()));
}

void enter_block(Compiler& c, int level, const BlockKey& key, BlockIndex record) {
    PassState& p = c.p();
    p.block_keys[static_cast<std::size_t>(level)] = key;
    record_of_level(c, level) = record;
    if (c.listener != nullptr) [[unlikely]] c.listener->block_opened(level, c.point_here());
}

// }   -> OP_RETURN for a function body, OP_JUMP <start> for a while body
void close_block(Compiler& c) {
    PassState& p = c.p();
    if (p.block_level == 0) {
        c.diag.report_error(msg::extra_close_brace);
        return;
    }
    if (c.listener != nullptr) [[unlikely]] c.listener->block_closed(p.block_level, c.point_here());
    p.scopes.free_level(p.block_level);
    if (p.block_level == 1) {
        c.emit_instruction(OP_RETURN);
        if (c.spool != nullptr) close_spooled_function(c);
    } else {
        const BlockKey key = p.block_keys[static_cast<std::size_t>(p.block_level)];
        const BlockIndex record = record_of_level(c, p.block_level);
        if (record == kNoBlock) {
            c.diag.report_error(msg::pass_mismatch);
        } else {
            const BlockKind kind = static_cast<BlockKind>(c.run.blocks.at(record).kind);
            if (kind == BLOCK_WHILE) {
                emit_jump_to_block(c, record, BlockAddress::start);
            } else if (kind == BLOCK_IF) {
                p.else_allowance.grant_after_if_body();
            }
            if (c.sink.counting()) c.run.blocks.close_all(key, c.run.blocks.at(record), c.sink.counter());
            if (p.block_level == 2 && c.spool != nullptr) close_spooled_body_block(c, record);
        }
    }
    --p.block_level;
}

void compile_if(Compiler& c) { compile_conditional_block(c, BLOCK_IF); }

void compile_while(Compiler& c) { compile_conditional_block(c, BLOCK_WHILE); }

void compile_elseif(Compiler& c) {
    if (!c.p().else_allowance.allows_else()) {
        c.lex.syntax_error();
        return;
    }
    compile_elseif_after_keyword(c);
}

// else {   -> OP_JUMP <chain>        else if   -> as elseif
void compile_else(Compiler& c) {
    if (!c.p().else_allowance.allows_else()) {
        c.lex.syntax_error();
        return;
    }
    Word word;
    c.lex.read_identifier(word);
    if (word == "if") {
        compile_elseif_after_keyword(c);
        return;
    }
    if (!word.empty()) {
        c.lex.syntax_error();
        return;
    }
    if (c.lex.expect_char('{')) (void)open_chained_block(c, BLOCK_ELSE);
}

void compile_continue(Compiler& c) { compile_loop_jump(c, true); }

void compile_break(Compiler& c) { compile_loop_jump(c, false); }

// return;   -> OP_RETURN
void compile_return(Compiler& c) {
    c.emit_instruction(OP_RETURN);
    c.lex.expect_semicolon();
}

}  // namespace oxbuild
