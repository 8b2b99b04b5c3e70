#include "driver/compiler.hpp"

#include "platform/platform.hpp"

namespace oxbuild {

Compiler::Compiler(std::ostream& out, MessageStyle style)
    : diag(out, style), reader(diag), lex(reader, diag), run(names), body_slots(names) {
    diag.attach(&reader);
}

void Compiler::begin_pass(int number, PerPassState state) {
    if (state == PerPassState::fresh) pass = std::make_unique<PassState>(number, names);
    else pass->number = number;
    diag.start_pass(number);
    sink.start_pass(number);
    lex.use_defines(&pass->defines);
    attach_listener(number == kWritingPass ? pass_2_listener_ : pass_1_listener_);
}

NameAt Compiler::name_here(std::string_view name) const { return {name, point_here()}; }

SourcePoint Compiler::point_here() const { return {reader.file_number, reader.word_end()}; }

// Pass 1 counts the code address; in pass 2 the sink's counter stays 0, and
// the code address is what the module has taken past the code base.
void Compiler::tell_instruction(Opcode op) const {
    std::int64_t address = -1;
    if (sink.counting()) address = sink.counter();
    else if (module != nullptr) address = module->written() - run.layout.code_base;
    listener->instruction_started(address, point_here(), reader.line, op);
}

std::string Compiler::resolve(std::string_view name_as_written) const {
    return platform::resolve(base_dir, name_as_written);
}

}  // namespace oxbuild
