// Directives that make no resources: #include, #define and the four text
// fields of the module header. Each stands on one line after '#'.
#pragma once

namespace oxbuild {

class Compiler;
struct FileNameResult;

// Reports a quoted file name that could not be read ("文法に間違いがあります"
// without its opening quote, "ファイル名が長すぎます" past 384 bytes); true
// when it was read.
bool file_name_read(Compiler& c, const FileNameResult& name);

void directive_include(Compiler& c);
void directive_define(Compiler& c);
void directive_module(Compiler& c);
void directive_copyright(Compiler& c);
void directive_version(Compiler& c);
void directive_comment(Compiler& c);

// An #include met this deep inside nested includes is reported as a file
// that cannot be opened, so a file that includes itself ends.
inline constexpr int kMaxIncludeDepth = 64;

// Include files opened in one pass, at most. A file that includes itself
// twice would otherwise open 2^64 files within the depth limit; past this
// count an #include is reported as a file that cannot be opened.
inline constexpr int kMaxIncludeFiles = 1024;

}  // namespace oxbuild
