#include "oxfmt/format.hpp"

namespace oxfmt {

Formatted format_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                        oxbuild::SourceOpener* opener, oxbuild::MessageStyle style) {
    Formatted f;
    Layout layout(bytes, false);
    layout.keep_comment_texts(f.comments);
    const Compiled compiled = layout.read(path, display_name, opener, style);
    if (!compiled.clean) {
        f.status = Formatted::Status::refused;
        f.messages = compiled.messages;
        f.comments.clear();
        return f;
    }
    Laid laid = layout.finish();
    if (!laid.ok()) {
        f.messages = laid.error;
        return f;
    }
    f.status = Formatted::Status::formatted;
    f.text = std::move(laid.text);
    return f;
}

}  // namespace oxfmt
