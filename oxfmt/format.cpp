#include "oxfmt/format.hpp"

namespace oxfmt {

namespace {

// Lays the source out as the compiler reads it, and keeps its comments.
class Formatting final : public TokenSink {
public:
    Formatting(const std::string& source, Formatted& f) : source_(source), layout_(source, false), f_(f) {}
    void token(const Token& t, std::string_view text) override { layout_.token(t, text); }
    void comment(const Comment& c) override {
        f_.comments.emplace_back(source_.substr(c.begin, c.end - c.begin));
        layout_.comment(c);
    }
    Laid finish() { return layout_.finish(); }

private:
    const std::string& source_;
    Layout layout_;
    Formatted& f_;
};

}  // namespace

Formatted format_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                        oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    Formatted f;
    Formatting formatting(bytes, f);
    const Compiled compiled = read_source(path, display_name, bytes, formatting, opener, style);
    if (!compiled.clean) {
        f.status = Formatted::Status::refused;
        f.messages = compiled.messages;
        f.comments.clear();
        return f;
    }
    Laid laid = formatting.finish();
    if (!laid.ok()) {
        f.messages = laid.error;
        return f;
    }
    f.status = Formatted::Status::formatted;
    f.text = std::move(laid.text);
    return f;
}

}  // namespace oxfmt
