// The one style of the module sources, laid over the compiler's reading:
// four blanks per block level, a function's braces on lines of their own
// and a statement's braces at the end of its line (as in examples/), one
// statement per line, blanks around two-operand operators and after
// commas, directives on lines of their own with the blanks between their
// operands kept (so that aligned tables stay aligned). Only the white space
// between tokens and comments changes: every token and comment keeps its
// bytes, and a line break stays wherever the text needs one. Blank lines
// are kept, one for any run; the file's line ends (LF or CR LF) are kept;
// the text between /* oxfmt off */ and /* oxfmt on */ is left as it is.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "oxfmt/reading.hpp"

namespace oxfmt {

struct Laid {
    std::string text;
    std::string error;  // the reading does not cover the source: nothing formatted
    bool ok() const { return error.empty(); }
};

// Where an element (a token or a comment) went, for laying out a range.
struct Placed {
    std::size_t begin, end;          // in the source
    std::size_t out_begin, out_end;  // in the result
    bool starts_statement;           // first on its line, and no further line of a statement
};

// Lays a source out as its tokens and comments come, in source order.
class Layout final : public TokenSink {
public:
    // place: keep where every element went.
    Layout(std::string_view source, bool place);
    ~Layout();
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    void token(const Token& t, std::string_view text) override;
    void comment(const Comment& c) override;
    // Reads the source through the compiler into this layout, as
    // read_source does.
    Compiled read(const std::string& path, std::string_view display_name, oxbuild::SourceOpener* opener,
                  oxbuild::MessageStyle style);
    // Each comment's text is added to texts as it comes.
    void keep_comment_texts(std::vector<std::string>& texts);
    Laid finish();
    const std::vector<Placed>& placed() const;

private:
    class Engine;
    std::unique_ptr<Engine> engine_;
};

// A whole reading laid out.
Laid lay_out(const Reading& reading);

// The statements that the raw range [begin, end) touches, laid out in the
// place they take in the whole laid-out source: the bytes [begin, end) of
// the source that change, and their new text.
struct Replacement {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;
};
std::optional<Replacement> lay_out_range(const Reading& reading, std::size_t begin, std::size_t end);

}  // namespace oxfmt
