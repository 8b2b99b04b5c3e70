#include "support/passes.hpp"

#include <gtest/gtest.h>

#include "core/fatal.hpp"
#include "core/module_stream.hpp"
#include "driver/pass.hpp"
#include "lexer/source_stream.hpp"
#include "platform/file_names.hpp"

#ifdef OXDUMP_BINARY
#include "oxdump/oxdump.hpp"
#endif

namespace oxtest {

namespace {

// Without resources the sections after the code are the empty menu section
// and, when no error was counted, the bitmap and wave sections.
constexpr std::int64_t kEmptyMenuSection = 16;

std::string listing_of(const Bytes& module) {
#ifdef OXDUMP_BINARY
    std::ostringstream listing, error;
    (void)oxdump::dump_module_bytes(module, "module", listing, error);
    return listing.str() + error.str();
#else
    return hex(module);
#endif
}

}  // namespace

TwoPasses::TwoPasses(std::string_view source, PassSetup setup) : own_dir_(std::make_unique<TempDir>()) {
    run(*own_dir_, source, setup);
}

TwoPasses::TwoPasses(const TempDir& dir, std::string_view source, PassSetup setup) { run(dir, source, setup); }

void TwoPasses::run(const TempDir& dir, std::string_view source, const PassSetup& setup) {
    for (const auto& [file, text] : setup.files) write_file(dir / file, text);
    const std::string source_path = dir / setup.name;
    const std::string module_path = dir / oxbuild::replace_extension(setup.name, "oxb");
    write_file(source_path, source);
    const auto stream = oxbuild::SourceStream::open(source_path);
    auto module = oxbuild::ModuleStream::create(module_path);
    compiler_ = std::make_unique<oxbuild::Compiler>(stream_);
    oxbuild::Compiler& c = *compiler_;
    c.main_source = stream.get();
    c.main_source_name = setup.name;
    c.module = module.get();
    c.sink.attach(module.get());
    c.base_dir = dir.path().string();
    c.listen(setup.listener);
    c.spool_memory = setup.spool_memory;
    c.blocks_kept = setup.blocks_kept;
    const auto between = [&] {
        if (setup.between) setup.between();
        if (setup.after_pass_1) setup.after_pass_1(c);
    };
    try {
        if (setup.mode == PassMode::as_driver) {
            decision_ = oxbuild::compile_passes(c, *stream, between);
        } else {
            oxbuild::compile_pass(c, oxbuild::kCountingPass);
            between();
            stream->rewind();
            oxbuild::compile_pass(c, oxbuild::kWritingPass);
        }
    } catch (const oxbuild::FatalStop&) {
        fatal_ = true;
    }
    out_ = stream_.str();
    counter_after_pass2_ = c.sink.counter();
    std::int64_t sections = kEmptyMenuSection;
    if (c.diag.error_count() == 0) sections += c.run.bitmap_total + c.run.wave_total;
    pass2_code_size_ = module->written() - c.run.layout.code_base - sections;
    c.module = nullptr;
    if (module->close() && !fatal_) module_bytes_ = read_file(module_path);
}

::testing::AssertionResult same_module(const Bytes& actual, const Bytes& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << "the modules differ from offset " << at << " (" << actual.size() << " bytes against "
                  << expected.size() << ")\n--- listing of the module made:\n"
                  << listing_of(actual) << "--- listing of the module expected:\n"
                  << listing_of(expected);
}

}  // namespace oxtest
