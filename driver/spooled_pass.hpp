// Pass 2 without a second reading of the source. When pass 1 ran clean and
// spooled its code, pass 2 would only repeat it: the same code, with the
// values that pass 1 settled by its end, and no message. The module is then
// written from the spool: the header, the code with its marks filled in,
// and the resource sections.
#pragma once

#include <cstdint>
#include <functional>

namespace oxbuild {

class CodeSpool;
class Compiler;
class SourceStream;

// Why pass 2 comes from the spool, or why it reads the source again: the
// first condition that fails, in this order.
enum class SpoolDecision : std::uint8_t {
    write_from_spool,   // pass 2 would only repeat pass 1: the same code, no message
    listened,           // a tool listens to pass 2, which must read the source for it
    spool_incomplete,   // the spool could not keep all the code (no scratch file, a failed write, code past 4 GiB)
    errors,             // pass 1 counted errors, which only pass 2 prints
    warnings,           // pass 1 met warnings, which only pass 2 prints
    shared_block_key,   // two blocks opened at one key: pass 2 finds the first one's record for both
    unfindable_block,   // a block opened before one already recorded in its file, so no search finds it
    function_without_body,  // a called function has no body: pass 2 reports the call
    resource_changed,   // a bitmap or wave file changed since its directive read it: pass 2 reports it
};

// Both passes over the main source: pass 1 spools its code, and pass 2
// reads the source again unless the decision writes it from the spool. The
// decision is returned. A compilation without a module (c.module null)
// spools nothing and leaves pass 2 out unless it has something to say.
// after_pass_1, when given, runs between the passes (tests change files there).
SpoolDecision compile_passes(Compiler& c, SourceStream& source, const std::function<void()>& after_pass_1 = {});

// Whether pass 2 may come from the spool, after pass 1. A spool that holds
// more or less code than pass 1 counted is a fault of the compiler: the
// fatal stop.
SpoolDecision decide_pass_2(Compiler& c, const CodeSpool& spool);

// After pass 1, what pass 2 has to say that pass 1 did not print, or
// write_from_spool when nothing: the conditions beside the spool's own.
SpoolDecision reason_to_read_again(Compiler& c);

// Pass 2 from the spool, with pass 1's state.
void write_pass_2_from_spool(Compiler& c, CodeSpool& spool);

}  // namespace oxbuild
