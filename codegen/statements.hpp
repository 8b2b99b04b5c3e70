// Control statements and the braces that open and close blocks. Every jump
// target comes from a block record that pass 1 made; pass 2 finds it again
// by the block's key and writes the address.
#pragma once

#include "codegen/blocks.hpp"
#include "core/sink.hpp"

namespace oxbuild {

class Compiler;

// Opens a block one level deeper; false when it cannot be opened (at level 0,
// or past level 255), after reporting why.
bool open_block(Compiler& c, BlockKind kind, CodeAddress start);
// Makes the block at the key the open block of the level, with its record.
void enter_block(Compiler& c, int level, const BlockKey& key);
// The same with the record already found (kNoBlock: none).
void enter_block(Compiler& c, int level, const BlockKey& key, BlockIndex record);
// The record of a block opened at the key: in pass 1 added, then found as
// a search would find it; in pass 2 searched for.
BlockIndex record_block(Compiler& c, const BlockKey& key, BlockKind kind, CodeAddress start);
// Makes the body of a function definition, opening where the reader
// stands, the open block of level 1, with its record.
void open_function_block(Compiler& c);
// '}' closes the innermost block.
void close_block(Compiler& c);
// The key of a block opened where the reader stands now.
BlockKey current_block_key(const Compiler& c);

void compile_if(Compiler& c);
void compile_elseif(Compiler& c);
void compile_else(Compiler& c);
void compile_while(Compiler& c);
void compile_continue(Compiler& c);
void compile_break(Compiler& c);
void compile_return(Compiler& c);

}  // namespace oxbuild
