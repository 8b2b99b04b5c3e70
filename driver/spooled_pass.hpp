// Pass 2 without a second reading of the source. When pass 1 ran clean and
// spooled its code, pass 2 would only repeat it: the same code, with the
// values that pass 1 settled by its end, and no message. The module is then
// written from the spool: the header, the code with its marks filled in,
// and the resource sections.
#pragma once

#include <functional>

namespace oxbuild {

class CodeSpool;
class Compiler;
class SourceStream;

// Both passes over the main source: pass 1 spools its code, and pass 2
// reads the source again only when it cannot come from the spool. True when
// it came from the spool. after_pass_1, when given, runs between the passes
// (tests change files there).
bool compile_passes(Compiler& c, SourceStream& source, const std::function<void()>& after_pass_1 = {});

// Whether pass 2 may come from the spool: pass 1 counted no error and met
// no warning, spooled all its code, kept every block at a key of its own,
// found a body for every function it called, and every resource file still
// reads as its directive found it. Otherwise pass 2 reads the source again.
bool can_write_from_spool(Compiler& c, const CodeSpool& spool);

// Pass 2 from the spool, with pass 1's state.
void write_pass_2_from_spool(Compiler& c, CodeSpool& spool);

}  // namespace oxbuild
