#include "oxfmt/reading.hpp"

#include <algorithm>
#include <new>
#include <sstream>

#include "core/fatal.hpp"
#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "oxfmt/recorder.hpp"
#include "platform/platform.hpp"

namespace oxfmt {

namespace {

constexpr char kEndOfFileMark = 0x1A;
constexpr char kFatalLine[] = "   Fatal Error\n";

}  // namespace

bool is_line_comment(std::string_view source, const Comment& c) { return source[c.begin + 1] == '/'; }

std::size_t input_end(std::string_view source) {
    const std::size_t mark = source.find(kEndOfFileMark);
    return mark == std::string_view::npos ? source.size() : mark;
}

void KeepReading::token(const Token& t, std::string_view text) {
    reading_.tokens.push_back(t);
    reading_.texts.emplace_back(text);
}

void KeepReading::comment(const Comment& c) { reading_.comments.push_back(c); }

void Reading::replay(TokenSink& sink) const {
    std::size_t c = 0;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        for (; c < comments.size() && comments[c].begin < tokens[t].begin; ++c) sink.comment(comments[c]);
        sink.token(tokens[t], texts[t]);
    }
    for (; c < comments.size(); ++c) sink.comment(comments[c]);
}

Heard compile_heard(const std::string& path, std::string_view display_name, std::string_view bytes,
                    oxbuild::CompileListener& listener, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    std::ostringstream out;
    oxbuild::Compiler c(out, style);
    c.listen_to_pass_1(&listener);
    c.opener = opener;
    const auto stream = oxbuild::SourceStream::from_view(bytes);
    c.main_source = stream.get();
    c.main_source_name = display_name;
    c.base_dir = oxbuild::platform::source_directory(path);
    Heard heard;
    try {
        (void)oxbuild::compile_passes(c, *stream);
    } catch (const oxbuild::FatalStop&) {
        heard.compiled.messages = out.str() + kFatalLine;
        return heard;
    } catch (const std::bad_alloc&) {
        heard.compiled.messages = out.str() + kFatalLine;
        return heard;
    }
    heard.reached_end = true;
    heard.compiled.messages = out.str();
    heard.compiled.clean = c.diag.error_count() == 0 && c.diag.warning_count() == 0;
    return heard;
}

Compiled read_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                     TokenSink& sink, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    return read_source_into(path, display_name, bytes, sink, opener, style);
}

}  // namespace oxfmt
