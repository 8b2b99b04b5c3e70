#include "driver/spooled_pass.hpp"

#include <array>
#include <cstring>
#include <memory>

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "driver/pass.hpp"
#include "module/module_writer.hpp"

namespace oxbuild {

namespace {

// The four bytes a mark stands for, as pass 2 would write them there.
std::array<unsigned char, kMarkedBytes> marked_bytes(const Compiler& c, const SpoolMark& mark) {
    FieldBytes<kMarkedBytes> fields;
    if (mark.kind == SpoolMark::call) {
        const FunctionIndex index = *c.run.functions.find_index(mark.value);
        check_index_word(index.call_number);
        fields.word(static_cast<std::uint16_t>(index.kind)).word(static_cast<std::uint32_t>(index.call_number));
    } else {
        fields.dword(static_cast<std::uint32_t>(mark.value + c.sink.code_base()));
    }
    return fields.bytes();
}

// The spooled code, piece by piece, with every mark filled in; a mark may
// straddle two pieces.
void write_spooled_code(Compiler& c, CodeSpool& spool) {
    auto marks = spool.marks().cursor();
    std::int64_t piece_start = 0;
    const bool read = spool.stream().read_back([&](unsigned char* data, std::size_t size) {
        const std::int64_t piece_end = piece_start + static_cast<std::int64_t>(size);
        while (!marks.done() && marks.mark().at < piece_end) {
            const SpoolMark& mark = marks.mark();
            const auto bytes = marked_bytes(c, mark);
            const std::int64_t offset = static_cast<std::int64_t>(mark.at) - piece_start;
            if (offset >= 0 && offset + static_cast<std::int64_t>(kMarkedBytes) <= static_cast<std::int64_t>(size)) {
                std::memcpy(data + offset, bytes.data(), kMarkedBytes);  // mostly: the mark lies inside the piece
                marks.advance();
                continue;
            }
            for (std::size_t k = 0; k < kMarkedBytes; ++k) {
                const std::int64_t at = static_cast<std::int64_t>(mark.at) + static_cast<std::int64_t>(k);
                if (at >= piece_start && at < piece_end) data[at - piece_start] = bytes[k];
            }
            if (static_cast<std::int64_t>(mark.at + kMarkedBytes) > piece_end) break;
            marks.advance();
        }
        c.sink.emit_bytes(data, size);
        piece_start = piece_end;
    });
    if (!read || marks.failed()) fatal_stop("cannot read the spooled code back");
}

// A compilation that writes no module (a tool that wants only its
// messages) spools nothing. Pass 2 reads the source again only when it has
// something to say; otherwise it only starts and finishes, as it would from
// the spool, with the code left out.
SpoolDecision compile_for_messages(Compiler& c, SourceStream& source, const std::function<void()>& after_pass_1) {
    compile_pass(c, kCountingPass);
    if (after_pass_1) after_pass_1();
    const SpoolDecision decision = reason_to_read_again(c);
    if (decision == SpoolDecision::write_from_spool) {
        start_pass_2(c, Compiler::PerPassState::kept);
        finish_pass_2(c);
        return decision;
    }
    source.rewind();
    compile_pass(c, kWritingPass);
    return decision;
}

}  // namespace

SpoolDecision compile_passes(Compiler& c, SourceStream& source, const std::function<void()>& after_pass_1) {
    if (c.module == nullptr && !c.listened()) return compile_for_messages(c, source, after_pass_1);
    if (c.listened()) {
        // Pass 2 reads the source for the listener in any case: no spool.
        compile_pass(c, kCountingPass);
        if (after_pass_1) after_pass_1();
        source.rewind();
        compile_pass(c, kWritingPass);
        return SpoolDecision::listened;
    }
    auto spool = std::make_unique<CodeSpool>(c.spool_memory);
    c.spool = spool.get();
    c.sink.spool_into(&spool->stream());
    compile_pass(c, kCountingPass);
    spool->close_function(c.run.blocks);
    c.spool = nullptr;
    c.sink.spool_into(nullptr);
    if (after_pass_1) after_pass_1();
    const SpoolDecision decision = decide_pass_2(c, *spool);
    if (decision == SpoolDecision::write_from_spool) {
        write_pass_2_from_spool(c, *spool);
        return decision;
    }
    spool.reset();  // its memory and file go before the second reading
    // Pass 2 reading the source finds every block's record by its key.
    if (c.run.blocks.shared_with_released()) fatal_stop("internal: a block key met again after its record was set aside");
    if (!c.run.blocks.take_back_released()) fatal_stop("cannot read the block records back");
    source.rewind();
    compile_pass(c, kWritingPass);
    return decision;
}

SpoolDecision decide_pass_2(Compiler& c, const CodeSpool& spool) {
    if (c.listened()) return SpoolDecision::listened;
    if (!spool.complete()) return SpoolDecision::spool_incomplete;
    if (spool.written() != c.run.code_size) fatal_stop("internal: the spool holds another code size than pass 1 counted");
    return reason_to_read_again(c);
}

SpoolDecision reason_to_read_again(Compiler& c) {
    if (c.diag.error_count() != 0) return SpoolDecision::errors;
    if (c.diag.warning_count() != 0) return SpoolDecision::warnings;
    if (c.run.blocks.shared_keys()) return SpoolDecision::shared_block_key;
    if (c.run.blocks.unfindable()) return SpoolDecision::unfindable_block;
    if (const auto check = failing_late_check(c)) {
        switch (*check) {
            case LateCheck::function_body: return SpoolDecision::function_without_body;
            case LateCheck::resource_files: return SpoolDecision::resource_changed;
        }
    }
    return SpoolDecision::write_from_spool;
}

void write_pass_2_from_spool(Compiler& c, CodeSpool& spool) {
    start_pass_2(c, Compiler::PerPassState::kept);
    write_spooled_code(c, spool);
    finish_pass_2(c);
}

}  // namespace oxbuild
