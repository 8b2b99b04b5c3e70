#include "codegen/statements.hpp"

#include "codegen/emit.hpp"
#include "codegen/expressions.hpp"
#include "driver/compiler.hpp"

namespace oxbuild {

namespace {

// An elseif or else begins with OP_JUMP and its address; the condition of
// the body before it, when false, lands just past them.
constexpr CodeAddress kChainJumpSize = 6;
constexpr int kElseAllowanceAfterIf = 2;


// ( expression ) {   -> expression EXPR_END
bool compile_condition_head(Compiler& c) {
    if (!c.lex.expect_char('(')) return false;
    (void)compile_expression(c);
    emit_token(c.sink, EXPR_END);
    return c.lex.expect_char(')') && c.lex.expect_char('{');
}

// The record of a block opened here: the one found as it opened, or, when
// it could not open, whatever pass 1 recorded at this key.
BlockRecord* find_record_here(Compiler& c, bool opened) {
    if (!opened) return c.run.blocks.find(current_block_key(c));
    return c.p().block_records[static_cast<std::size_t>(c.block_level())];
}

// The record of the block that has just closed, one level above this one,
// when it is the body of an if, elseif or else if.
BlockRecord* find_closed_if_body(Compiler& c) {
    const int level = c.block_level() + 1;
    if (level >= kBlockLevels) return nullptr;
    BlockRecord* record = c.p().block_records[static_cast<std::size_t>(level)];
    return record != nullptr && record->kind == BLOCK_IF ? record : nullptr;
}

// Moves the previous body's false-condition target past the chain jump.
bool chain_after_closed_if(Compiler& c) {
    BlockRecord* previous = find_closed_if_body(c);
    if (previous == nullptr) {
        c.diag.report_error(msg::pass_mismatch);
        return false;
    }
    if (c.sink.counting()) previous->end += kChainJumpSize;
    return true;
}

// if/while ( expr ) {   -> OP_JUMP_IF_FALSE expr EXPR_END <end of block>
void compile_conditional_block(Compiler& c, BlockKind kind) {
    const CodeAddress start = c.sink.counter();
    emit_opcode(c.sink, OP_JUMP_IF_FALSE);
    if (!compile_condition_head(c)) return;
    const bool opened = open_block(c, kind, start);
    const BlockRecord* record = find_record_here(c, opened);
    if (record == nullptr) {
        c.diag.report_error(msg::pass_mismatch);
        return;
    }
    emit_code_address(c.sink, record->end);
}

// elseif ( expr ) {   -> OP_JUMP <chain> OP_JUMP_IF_FALSE expr EXPR_END <end>
// Entered after the keyword (or after "else if").
void compile_elseif_after_keyword(Compiler& c) {
    if (!chain_after_closed_if(c)) return;
    const bool opened = open_block(c, BLOCK_IF, c.sink.counter());
    const BlockRecord* found = find_record_here(c, opened);
    if (found == nullptr) {
        c.diag.report_error(msg::pass_mismatch);
        return;
    }
    const BlockRecord record = *found;
    emit_opcode(c.sink, OP_JUMP);
    emit_code_address(c.sink, record.chain);
    emit_opcode(c.sink, OP_JUMP_IF_FALSE);
    if (!compile_condition_head(c)) return;
    emit_code_address(c.sink, record.end);
}

// continue; / break;   -> OP_JUMP <start or end of the innermost while>
void compile_loop_jump(Compiler& c, bool to_start) {
    const BlockRecord* loop = nullptr;
    for (int level = c.block_level(); level >= 1 && loop == nullptr; --level) {
        const BlockRecord* record = c.p().block_records[static_cast<std::size_t>(level)];
        if (record == nullptr) {
            c.diag.report_error(msg::pass_mismatch);
            c.lex.expect_semicolon();
            return;
        }
        if (record->kind == BLOCK_WHILE) loop = record;
    }
    if (loop == nullptr) {
        c.diag.report_error(msg::only_in_while);
    } else {
        emit_opcode(c.sink, OP_JUMP);
        emit_code_address(c.sink, to_start ? loop->start : loop->end);
    }
    c.lex.expect_semicolon();
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
    if (c.sink.counting()) c.run.blocks.add(key, kind, start);
    enter_block(c, p.block_level, key);
    return true;
}

void enter_block(Compiler& c, int level, const BlockKey& key) {
    PassState& p = c.p();
    p.block_keys[static_cast<std::size_t>(level)] = key;
    p.block_records[static_cast<std::size_t>(level)] = c.run.blocks.find(key);
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
        emit_opcode(c.sink, OP_RETURN);
    } else {
        const BlockKey key = p.block_keys[static_cast<std::size_t>(p.block_level)];
        BlockRecord* record = p.block_records[static_cast<std::size_t>(p.block_level)];
        if (record == nullptr) {
            c.diag.report_error(msg::pass_mismatch);
        } else {
            if (record->kind == BLOCK_WHILE) {
                emit_opcode(c.sink, OP_JUMP);
                emit_code_address(c.sink, record->start);
            } else if (record->kind == BLOCK_IF) {
                p.else_allowance = kElseAllowanceAfterIf;
            }
            if (c.sink.counting()) c.run.blocks.close_all(key, *record, c.sink.counter());
        }
    }
    --p.block_level;
}

void compile_if(Compiler& c) { compile_conditional_block(c, BLOCK_IF); }

void compile_while(Compiler& c) { compile_conditional_block(c, BLOCK_WHILE); }

void compile_elseif(Compiler& c) {
    if (c.p().else_allowance == 0) {
        c.lex.syntax_error();
        return;
    }
    compile_elseif_after_keyword(c);
}

// else {   -> OP_JUMP <chain>        else if   -> as elseif
void compile_else(Compiler& c) {
    if (c.p().else_allowance == 0) {
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
    if (!c.lex.expect_char('{')) return;
    if (!chain_after_closed_if(c)) return;
    const bool opened = open_block(c, BLOCK_ELSE, c.sink.counter());
    const BlockRecord* record = find_record_here(c, opened);
    if (record == nullptr) {
        c.diag.report_error(msg::pass_mismatch);
        return;
    }
    emit_opcode(c.sink, OP_JUMP);
    emit_code_address(c.sink, record->chain);
}

void compile_continue(Compiler& c) { compile_loop_jump(c, true); }

void compile_break(Compiler& c) { compile_loop_jump(c, false); }

// return;   -> OP_RETURN
void compile_return(Compiler& c) {
    emit_opcode(c.sink, OP_RETURN);
    c.lex.expect_semicolon();
}

}  // namespace oxbuild
