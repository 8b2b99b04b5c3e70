// Runs the reader and the token readers in process on a text written to a
// temporary file: a Compiler in the given pass whose reader stands at the
// start of the text, as at the start of a pass, with its output captured.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/compiler.hpp"
#include "support/test_support.hpp"

namespace oxtest {

class SourceHarness {
public:
    static constexpr char kName[] = "t.oxs";
    static constexpr int kPrintingPass = 2;

    explicit SourceHarness(std::string_view text, int pass = kPrintingPass) : compiler_(out_) {
        write_file(dir_ / kName, text);
        stream_ = oxbuild::SourceStream::open(dir_ / kName);
        compiler_.begin_pass(pass);
        oxbuild::Reader& r = compiler_.reader;
        r.file_name = kName;
        r.line = 1;
        r.file_number = 0;
        r.start(*stream_);
    }

    oxbuild::Compiler& compiler() { return compiler_; }
    oxbuild::Reader& reader() { return compiler_.reader; }
    oxbuild::Lexer& lex() { return compiler_.lex; }
    std::string out() const { return out_.str(); }
    int errors() const { return compiler_.diag.error_count(); }

    // Every character left, with next_char, up to the end of the file.
    std::string rest() {
        std::string chars;
        for (oxbuild::Reader& r = reader(); r.cur() != oxbuild::kEnd; r.next_char()) chars += static_cast<char>(r.cur());
        return chars;
    }
    // The line of each character that rest() would give.
    std::vector<int> rest_lines() {
        std::vector<int> lines;
        for (oxbuild::Reader& r = reader(); r.cur() != oxbuild::kEnd; r.next_char()) lines.push_back(r.line);
        return lines;
    }
    // The next word as read_identifier gives it.
    std::string identifier() {
        oxbuild::Word word;
        lex().read_identifier(word);
        return word.str();
    }

private:
    TempDir dir_;
    std::ostringstream out_;
    std::unique_ptr<oxbuild::SourceStream> stream_;
    oxbuild::Compiler compiler_;
};

}  // namespace oxtest
