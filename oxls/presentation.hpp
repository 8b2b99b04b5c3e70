// How a document is shown beyond its text: the names coloured by what the
// compiler found them to be (semantic tokens), the parts that fold, and
// the arguments a call may change (inlay hints).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "oxls/analysis.hpp"

namespace oxls {

// The legend the server announces: token types and modifiers, by index
// and by bit.
inline constexpr std::array<std::string_view, 6> kTokenTypes = {"variable", "parameter", "function",
                                                                "event",    "macro",     "keyword"};
enum TokenType { kVariable, kParameter, kFunction, kEvent, kMacro, kKeyword };
inline constexpr std::array<std::string_view, 4> kTokenModifiers = {"declaration", "defaultLibrary", "global",
                                                                    "reference"};
enum TokenModifier { kDeclaration = 1, kDefaultLibrary = 2, kGlobal = 4, kReference = 8 };

struct Mark {
    Span span;
    int type = kVariable;
    int modifiers = 0;
};
// The marks of the document's files, in order, one per span.
std::vector<Mark> semantic_marks(const Analysis& a, const std::vector<int>& files);

// A part that folds: from the line of begin to the line before the one of
// end (a block), or through the line of end (a comment).
struct Fold {
    int file = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool comment = false;
};
std::vector<Fold> folds(const Analysis& a, const std::vector<int>& files);

// An argument passed to a by-reference parameter, which the call may
// change: where it begins, and its label ("&name:" or "&").
struct ArgumentHint {
    Span at;
    std::string label;
};
std::vector<ArgumentHint> changed_arguments(const Analysis& a, const std::vector<int>& files);

}  // namespace oxls
