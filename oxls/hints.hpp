// What oxls finds beside the compiler's messages, from the same reading:
// where a message points, narrowed to a token, and hints of its own that
// help to read a cascade of messages (a '}' probably missing, '=' in a
// condition) or tidy a module (code never run, locals never used).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/messages.hpp"
#include "oxls/analysis.hpp"

namespace oxls {

// The token at which the compiler stood for the message: the name its
// detail names, or the token there or just before, on the message's line;
// nullopt when none is known (then the whole line).
std::optional<Span> message_span(const Analysis& a, const Message& m);

struct Hint {
    Span span;
    std::string message;
    bool unnecessary = false;  // code that could go (shown faded)
    bool information = false;  // more than a hint: probably the cause of messages
};

std::vector<Hint> hints(const Analysis& a, oxbuild::MessageStyle style);

// Whether a token's bytes are one of the type or statement keywords.
bool is_keyword_text(std::string_view word);

}  // namespace oxls
