// The one place that formats what the compiler says about a source: error
// lines "%s(%d):%s %s\n" (printed in pass 2, counted in both passes) and the
// warnings of the directives (printed in pass 2, never counted).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

#include "core/messages.hpp"

namespace oxbuild {

// Where the reader stands: the file name as written and the current line.
struct SourceLocation {
    std::string_view file_name;
    int line;
    int file_number = 0;  // 0 for the main source, n for the n-th include
    std::int64_t offset = 0;  // the raw offset of the current character in that file
};

// Takes each error and warning line in place of the output stream: where it
// stands, and the text that follows "FILE(LINE):" (without the line feed).
class DiagnosticCollector {
public:
    virtual void collect(const SourceLocation& at, bool warning, std::string_view text) = 0;

protected:
    ~DiagnosticCollector() = default;
};

class LocationSource {
public:
    virtual SourceLocation location() const = 0;

protected:
    ~LocationSource() = default;
};

// A name from the source (a file name, a word) as the style prints it: its
// code page 932 bytes unchanged, or converted to UTF-8 for the other styles.
std::string name_in(std::string_view cp932_name, MessageStyle style);

class Diagnostics {
public:
    explicit Diagnostics(std::ostream& out, MessageStyle style = MessageStyle::cp932) : out_(out), style_(style) {}

    void attach(const LocationSource* where) { where_ = where; }
    // Lines go to the collector instead of the stream (nullptr: the stream).
    void collect_into(DiagnosticCollector* collector) { collector_ = collector; }
    void start_pass(int pass) {
        pass_ = pass;
        error_count_ = 0;
        warning_count_ = 0;
    }
    int pass() const { return pass_; }
    int error_count() const { return error_count_; }
    // Warnings met in this pass, printed or not.
    int warning_count() const { return warning_count_; }
    MessageStyle style() const { return style_; }

    void report_error(const Message& message) { report(message, {}); }
    // Detail ": " and a symbol or function name.
    void report_error_name(const Message& message, std::string_view name);
    // Detail ": " and a file name as written in the source.
    void report_error_file(const Message& message, std::string_view file_name);
    // Detail ": 引数N" naming the N-th argument of a call.
    void report_error_argument(const Message& message, int argument_number);

    // "%s(%d):警告:" followed by the text (already in output form) and a line feed.
    void warn(std::string_view text);
    // The "再定義されました: NAME" warning of #define.
    void warn_redefined(std::string_view name);

    // A catalogue text, or a code page 932 file name, as the style prints it.
    std::string text(const Message& message) const;
    std::string file_name(std::string_view cp932_name) const;

    std::ostream& out() { return out_; }

private:
    void report(const Message& message, std::string_view detail);
    void write_line(bool warning, std::initializer_list<std::string_view> parts);

    std::ostream& out_;
    MessageStyle style_;
    const LocationSource* where_ = nullptr;
    DiagnosticCollector* collector_ = nullptr;
    int pass_ = 1;
    int error_count_ = 0;
    int warning_count_ = 0;
    std::string line_;  // reused for every line printed
};

}  // namespace oxbuild
