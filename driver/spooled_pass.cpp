#include "driver/spooled_pass.hpp"

#include <array>
#include <memory>

#include "codegen/emit.hpp"
#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "driver/pass.hpp"
#include "module/module_writer.hpp"
#include "resources/bitmaps.hpp"
#include "resources/waves.hpp"

namespace oxbuild {

namespace {

constexpr int kWritingPass = 2;

bool called_functions_defined(const Compiler& c, const CodeSpool& spool) {
    for (auto marks = spool.marks().cursor(); !marks.done(); marks.advance())
        if (marks.mark().kind == SpoolMark::call && !c.run.functions.find_index(marks.mark().subject)) return false;
    return true;
}

bool resource_files_unchanged(Compiler& c) {
    for (const BitmapRecord& b : c.p().bitmaps)
        if (!bitmap_file_unchanged(c, b)) return false;
    for (const WaveRecord& w : c.p().waves)
        if (!wave_file_unchanged(c, w)) return false;
    return true;
}

// The four bytes a mark stands for, as pass 2 would write them there.
std::array<unsigned char, kMarkedBytes> marked_bytes(const Compiler& c, const SpoolMark& mark) {
    FieldBytes<kMarkedBytes> fields;
    if (mark.kind == SpoolMark::call) {
        const FunctionIndex index = *c.run.functions.find_index(mark.subject);
        check_index_word(index.call_number);
        fields.word(static_cast<std::uint16_t>(index.kind)).word(static_cast<std::uint32_t>(index.call_number));
    } else {
        const CodeAddress address = address_in(c.run.blocks.at(mark.subject), static_cast<BlockAddress>(mark.kind));
        fields.dword(static_cast<std::uint32_t>(address + c.sink.code_base()));
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
    if (!read) fatal_stop("cannot read the spooled code back");
}

}  // namespace

bool compile_passes(Compiler& c, SourceStream& source, const std::function<void()>& after_pass_1) {
    auto spool = std::make_unique<CodeSpool>();
    c.spool = spool.get();
    c.sink.spool_into(&spool->stream());
    compile_pass(c, 1);
    c.spool = nullptr;
    c.sink.spool_into(nullptr);
    if (after_pass_1) after_pass_1();
    if (can_write_from_spool(c, *spool)) {
        write_pass_2_from_spool(c, *spool);
        return true;
    }
    spool.reset();  // its memory and file go before the second reading
    source.rewind();
    compile_pass(c, 2);
    return false;
}

bool can_write_from_spool(Compiler& c, const CodeSpool& spool) {
    return c.listener == nullptr && spool.complete() && spool.written() == c.run.code_size &&
           c.diag.error_count() == 0 && c.diag.warning_count() == 0 && c.run.blocks.keys_distinct() &&
           called_functions_defined(c, spool) && resource_files_unchanged(c);
}

void write_pass_2_from_spool(Compiler& c, CodeSpool& spool) {
    c.p().number = kWritingPass;
    c.diag.start_pass(kWritingPass);
    c.sink.start_pass(kWritingPass);
    write_module_header(c);
    c.sink.reset_counter();
    write_spooled_code(c, spool);
    finish_pass_2(c);
}

}  // namespace oxbuild
