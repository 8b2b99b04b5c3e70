// Quick fixes for the compiler's messages: declare a name not found (a
// local at the top of the function, or a global), add a prototype for a
// function called above its definition, insert a missing ';'.
#pragma once

#include <string>
#include <vector>

#include "core/messages.hpp"
#include "oxls/analysis.hpp"

namespace oxls {

// Text put in place of the span (an empty span: inserted there).
struct Edit {
    Span span;
    std::string text;
};

struct Action {
    std::string title;
    std::vector<Edit> edits;
    const Message* message = nullptr;  // the message it fixes
};

// The fixes for the messages on the lines of [begin, end) of the files.
std::vector<Action> code_actions(const Analysis& a, const std::vector<int>& files, std::size_t begin, std::size_t end,
                                 oxbuild::MessageStyle style);

}  // namespace oxls
