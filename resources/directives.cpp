#include "resources/directives.hpp"

#include "driver/compiler.hpp"
#include "driver/pass.hpp"
#include "format/module_format.hpp"

namespace oxbuild {

namespace {

struct TextDirective {
    TextField field;
    const Message& too_long;
    const Message& redefined;
};

constexpr TextDirective kModuleText{kModuleName, msg::string_over_32, msg::module_redefined};
constexpr TextDirective kCopyrightText{kCopyright, msg::string_over_32, msg::copyright_redefined};
constexpr TextDirective kVersionText{kVersion, msg::string_over_16, msg::version_redefined};
constexpr TextDirective kCommentText{kComment, msg::string_over_64, msg::comment_redefined};

// #module "text"   (likewise #copyright, #version, #comment)
void text_directive(Compiler& c, const TextDirective& directive) {
    TextFields& fields = c.p().texts;
    std::string text;
    const bool fit = c.lex.read_string(text, format::kTextFieldLimits[directive.field], StringForm::one_on_line);
    fields.text[directive.field] = text;
    if (!fit) {
        c.diag.report_error(directive.too_long);
    } else {
        if (fields.seen[directive.field]) c.diag.warn(c.diag.text(directive.redefined));
        fields.seen[directive.field] = true;
    }
    c.lex.end_directive();
}

// Reads the include file in place of the directive, then hands the reader
// back to the including file at the line after the directive.
void read_include_file(Compiler& c, std::unique_ptr<SourceStream> stream, const std::string& name,
                       const std::string& path) {
    PassState& p = c.p();
    ++p.include_counter;
    c.lex.end_directive();
    ReaderStateGuard guard(c.reader);
    c.reader.file_name = name;
    c.reader.line = 1;
    c.reader.file_number = p.include_counter;
    c.reader.start(*stream);
    if (c.listener != nullptr) c.listener->file_entered(p.include_counter, name, path);
    ++p.include_depth;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } depth_guard{p.include_depth};
    compile_statements(c);
}

}  // namespace

bool file_name_read(Compiler& c, const FileNameResult& name) {
    if (name.error == FileNameError::no_opening_quote) c.diag.report_error(msg::syntax);
    else if (name.error == FileNameError::too_long) c.diag.report_error(msg::file_name_too_long);
    return name.ok();
}

// #include "file"
void directive_include(Compiler& c) {
    const FileNameResult name = c.lex.read_file_name(kFileNameMax, true);
    if (!file_name_read(c, name)) return;
    const std::string path = c.resolve(name.name);
    if (c.listener != nullptr) c.listener->file_named(c.name_here(name.name), path);
    std::unique_ptr<SourceStream> stream;
    if (c.p().include_depth < kMaxIncludeDepth && c.p().include_counter < kMaxIncludeFiles)
        stream = c.opener != nullptr ? c.opener->open(path) : SourceStream::open(path);
    if (!stream) {
        c.diag.report_error_file(msg::include_not_found, name.name);
        c.lex.end_directive();
        return;
    }
    c.run.inputs.add(path);
    read_include_file(c, std::move(stream), name.name, path);
}

// #define NAME REPLACEMENT   (one level: the replacement is not looked up again)
void directive_define(Compiler& c) {
    Word name;
    Word replacement;
    c.lex.read_word(name);
    const SourcePoint name_end = c.listener != nullptr ? c.point_here() : SourcePoint{};
    if (name.empty()) {
        c.diag.report_error(msg::syntax);
    } else {
        c.lex.read_word(replacement);
        if (replacement.empty()) {
            c.diag.report_error(msg::syntax);
        } else {
            const Word* existing = c.p().defines.find(name);
            if (existing != nullptr && existing->view() != name.view()) c.diag.warn_redefined(name.view());
            c.p().defines.set(name, replacement);
            if (c.listener != nullptr) c.listener->define_declared({name.view(), name_end}, replacement.view());
        }
    }
    c.lex.end_directive();
}

void directive_module(Compiler& c) { text_directive(c, kModuleText); }
void directive_copyright(Compiler& c) { text_directive(c, kCopyrightText); }
void directive_version(Compiler& c) { text_directive(c, kVersionText); }
void directive_comment(Compiler& c) { text_directive(c, kCommentText); }

}  // namespace oxbuild
