// What a compilation tells a tool that watches it (the language server, the
// formatter): where names are declared and used, blocks open and close,
// include files and resources are named, and every token and comment read;
// and where include files come from when they are not read from disk. A
// listener hears pass 2, which reads the text that pass 1 read and finds
// every record pass 1 made; a tool that needs nothing pass 2 settles may hear
// pass 1 instead (Compiler::listen_to_pass_1). The command-line compiler sets
// neither, and every hook stands behind one null test.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/symbol_info.hpp"
#include "format/bytecode.hpp"

namespace oxbuild {

class SourceStream;

// A place in a source: the file number (0 for the main source, n for the
// n-th include of the pass) and a raw byte offset in that file.
struct SourcePoint {
    int file_number = 0;
    std::int64_t offset = 0;
};

// A name as the compiler read it (after #define substitution) and the point
// just past its spelling in the source.
struct NameAt {
    std::string_view name;
    SourcePoint end;
};

enum class ResourceKind : std::uint8_t { bitmap, wave, menu };

// What the reader stepped over as one token: a word (name, keyword or
// number), a quoted text, a quoted file name, or punctuation (an operator
// of one or two characters, a bracket, ',', ';', '&', the '#' of a
// directive).
enum class TokenKind : std::uint8_t { word, text, file_name, punctuation };

// Raw bytes [begin, end) of one file: the end is past the last byte, before
// any carriage return that follows it.
struct SourceSpan {
    int file_number = 0;
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

class CompileListener {
public:
    // An include file opened as file_number: its name as written and the path read.
    virtual void file_entered(int /*file_number*/, std::string_view /*name*/, const std::string& /*path*/) {}
    // The quoted file name of #include, #bitmap or #wave; end is past its closing quote.
    virtual void file_named(const NameAt& /*file_name*/, const std::string& /*path*/) {}

    virtual void variable_declared(const NameAt& /*name*/, TypeCode /*type*/, int /*level*/, std::int32_t /*slot*/) {}
    // A named parameter of the parameter list being read (index from 0).
    virtual void parameter_declared(const NameAt& /*name*/, TypeCode /*type*/, std::size_t /*index*/,
                                    std::int32_t /*slot*/) {}
    // A prototype, or a definition whose body opens at level 1.
    virtual void function_declared(const NameAt& /*name*/, std::span<const TypeCode> /*parameters*/,
                                   bool /*definition*/) {}
    // A variable named in an expression, an argument or as an assignment target.
    virtual void variable_used(const NameAt& /*name*/, const std::optional<SymbolInfo>& /*found*/) {}
    virtual void function_called(const NameAt& /*name*/) {}

    virtual void define_declared(const NameAt& /*name*/, std::string_view /*replacement*/) {}
    // A defined name replaced; name is the defined name, not the replacement.
    virtual void define_used(const NameAt& /*name*/, std::string_view /*replacement*/) {}

    // A block (a function body at level 1) opened or closed; at is just past the brace.
    virtual void block_opened(int /*level*/, const SourcePoint& /*at*/) {}
    virtual void block_closed(int /*level*/, const SourcePoint& /*at*/) {}

    // Every token read and every comment removed, in reading order, for
    // tools that lay the text out again (the formatter) or colour it; a
    // comment's [begin, end) holds its markers (a line comment without its
    // line feed).
    virtual void token_read(TokenKind /*kind*/, const SourceSpan& /*span*/) {}
    virtual void comment_read(const SourceSpan& /*span*/) {}

    // A resource directive; at is just past the directive's name.
    virtual void resource_declared(ResourceKind /*kind*/, const SourcePoint& /*at*/, std::int32_t /*number*/) {}

    // An instruction about to be written at a code address (counted from the
    // code base; -1 when pass 2 writes no module), from the statement at the
    // point and line of its file, with its opcode: one row of the program's
    // line table.
    virtual void instruction_started(std::int64_t /*address*/, const SourcePoint& /*at*/, int /*line*/,
                                     Opcode /*op*/) {}

protected:
    ~CompileListener() = default;
};

// Opens an include file by the path the compiler resolved; nullptr when
// there is none. The language server gives open documents first.
class SourceOpener {
public:
    virtual std::unique_ptr<SourceStream> open(const std::string& path) = 0;

protected:
    ~SourceOpener() = default;
};

}  // namespace oxbuild
