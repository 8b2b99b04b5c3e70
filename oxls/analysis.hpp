// One compilation of a document by the real compiler, both passes, writing
// no module: the messages it would print and what its listener heard about
// the names in the source and its include files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/listener.hpp"
#include "core/messages.hpp"
#include "format/bytecode.hpp"
#include "oxls/source_text.hpp"

namespace oxls {

using TypeCode = oxbuild::TypeCode;

// Bytes [begin, end) of one file of the compilation (0 the main source, n
// the n-th include file; a file included twice has two numbers).
struct Span {
    int file = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool contains(int f, std::size_t offset) const { return f == file && offset >= begin && offset <= end; }
};

struct Message {
    int file = 0;
    int line = 0;  // 1-based, as the compiler prints it
    bool warning = false;
    std::string text;  // UTF-8, what follows "FILE(LINE):", without a trailing blank
    std::size_t offset = 0;  // where the compiler stood in the file
};

// A token of one file as the compiler read it, with the block level it was
// read at (the body of a function is level 1).
struct TokenRead {
    int file = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    oxbuild::TokenKind kind = oxbuild::TokenKind::word;
    int level = 0;
};

enum class DeclarationKind { global, local, parameter, function, prototype, define, include, bitmap, wave, menu };

struct Declaration {
    DeclarationKind kind = DeclarationKind::global;
    std::string name;
    Span span;                // the name as spelled (the directive name for a resource)
    TypeCode type = 0;
    int level = 0;
    std::int32_t slot = 0;
    std::vector<TypeCode> parameters;         // functions and prototypes
    std::vector<std::string> parameter_names; // "" for an unnamed parameter
    std::string replacement;  // a define's
    std::int32_t number = 0;  // a resource's
    std::string path;         // an include's, bitmap's or wave's file
    std::optional<Span> body; // a function's body; a variable's visibility
    std::string function;     // the function a local or parameter belongs to
    std::size_t read_index = 0;  // the tokens read before it
};

enum class ReferenceKind { variable, call, define, file };

struct Reference {
    ReferenceKind kind;
    std::string name;
    Span span;
    int declaration = -1;  // index into declarations, -1 when none (a standard function, an unknown name)
    std::string path;      // a file reference's
};

// Reads the text of a file by path (open documents first, then the disk);
// nullptr when there is none.
using TextSource = std::function<std::shared_ptr<const SourceText>(const std::string& path)>;

struct Analysis {
    std::vector<std::string> files;  // path by file number
    std::vector<std::shared_ptr<const SourceText>> texts;  // by file number
    std::vector<Message> messages;
    std::vector<TokenRead> tokens;  // in reading order
    std::vector<Span> comments;     // in reading order
    std::vector<Declaration> declarations;
    std::vector<Reference> references;
    int error_count = 0;

    // The declaration of a user function: its definition, else its first prototype.
    const Declaration* function_named(const std::string& name) const;
    // The text of a file of the compilation ("" when it is not known).
    std::string_view text_of(int file) const;
    // The first token of the file at or after the offset (tokens.size() for none).
    std::size_t token_at(int file, std::size_t offset) const;
};

// Compiles the main source (its path names its directory, from which
// relative include, bitmap and wave names are taken).
// Messages come in UTF-8, in Japanese or (MessageStyle::english) English.
Analysis analyze(const std::string& main_path, std::shared_ptr<const SourceText> main, const TextSource& texts,
                 oxbuild::MessageStyle style = oxbuild::MessageStyle::utf8);

}  // namespace oxls
