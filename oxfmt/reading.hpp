// What the formatter knows of a source: the compiler's own reading of it,
// heard through the listener. Every token and comment of the main file with
// its raw bytes, the block level at which the compiler read each token, and
// which tokens belong to a menu's body, handed on in source order. The
// formatter changes nothing but the white space between these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/listener.hpp"
#include "core/messages.hpp"

namespace oxfmt {

using oxbuild::TokenKind;

struct Token {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::int16_t level = 0;       // the block level when the compiler read it
    std::int16_t menu_depth = 0;  // braces of a menu's body around it (the braces themselves count)
    TokenKind kind = TokenKind::word;
};

// A comment with its markers; a line comment without its line feed.
struct Comment {
    std::size_t begin = 0;
    std::size_t end = 0;
};

bool is_line_comment(std::string_view source, const Comment& c);

// Takes the tokens and comments of a source in source order. A token comes
// with its text as the compiler took it: a defined name's replacement, or
// its bytes without a carriage return inside it (which the compiler never
// sees).
class TokenSink {
public:
    virtual void token(const Token& t, std::string_view text) = 0;
    virtual void comment(const Comment& c) = 0;

protected:
    ~TokenSink() = default;
};

// A reading kept whole (for the language server, which lays out ranges).
struct Reading {
    std::string source;  // the main file's bytes
    std::vector<Token> tokens;
    std::vector<std::string> texts;  // by token
    std::vector<Comment> comments;

    std::string_view bytes_of(std::size_t begin, std::size_t end) const {
        return std::string_view(source).substr(begin, end - begin);
    }
    // The tokens and comments again, in source order.
    void replay(TokenSink& sink) const;
};

class KeepReading final : public TokenSink {
public:
    explicit KeepReading(Reading& reading) : reading_(reading) {}
    void token(const Token& t, std::string_view text) override;
    void comment(const Comment& c) override;

private:
    Reading& reading_;
};

// Where the compiler's input ends: the first byte 0x1A, or the size.
std::size_t input_end(std::string_view source);

// How a compilation of a source ended, for the formatter: clean (no error,
// no warning), or the compiler's lines as it prints them.
struct Compiled {
    bool clean = false;
    std::string messages;  // "FILE(LINE):message detail" lines
};

// Reads a source through the compiler (its relative names taken from its
// path's directory; opener, when given, opens include files, nullptr: from
// disk) and hands its main file's tokens and comments to the sink in source
// order. The messages are in the style asked for.
Compiled read_source(const std::string& path, std::string_view display_name, const std::string& bytes,
                     TokenSink& sink, oxbuild::SourceOpener* opener, oxbuild::MessageStyle style);

}  // namespace oxfmt
