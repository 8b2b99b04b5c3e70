#include "core/diagnostics.hpp"

#include "core/text_encoding.hpp"

namespace oxbuild {

namespace {
constexpr int kPrintingPass = 2;
}

std::string name_in(std::string_view cp932_name, MessageStyle style) {
    return style == MessageStyle::cp932 ? std::string(cp932_name) : cp932_to_utf8(cp932_name);
}

// "FILE(LINE):" then the parts, built into one line and written at once.
void Diagnostics::write_line(bool warning, std::initializer_list<std::string_view> parts) {
    const SourceLocation at = where_ ? where_->location() : SourceLocation{"", 0};
    std::string& line = line_;
    line.clear();
    if (collector_ != nullptr) {
        for (const std::string_view part : parts) line += part;
        collector_->collect(at, warning, line);
        return;
    }
    line += name_in(at.file_name, style_);
    line += '(';
    line += std::to_string(at.line);
    line += "):";
    for (const std::string_view part : parts) line += part;
    line += '\n';
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void Diagnostics::report(const Message& message, std::string_view detail) {
    if (pass_ == kPrintingPass) write_line(false, {text_in(message, style_), " ", detail});
    ++error_count_;
}

void Diagnostics::report_error_name(const Message& message, std::string_view name) {
    if (pass_ != kPrintingPass) {
        ++error_count_;
        return;
    }
    std::string detail = ": ";
    detail += name;
    report(message, detail);
}

void Diagnostics::report_error_file(const Message& message, std::string_view name) {
    if (pass_ != kPrintingPass) {
        ++error_count_;
        return;
    }
    report(message, ": " + file_name(name));
}

void Diagnostics::report_error_argument(const Message& message, int argument_number) {
    if (pass_ != kPrintingPass) {
        ++error_count_;
        return;
    }
    report(message, text(msg::argument_detail) + std::to_string(argument_number));
}

void Diagnostics::warn(std::string_view warning_text) {
    ++warning_count_;
    if (pass_ != kPrintingPass) return;
    write_line(true, {text_in(msg::warning, style_), warning_text});
}

void Diagnostics::warn_redefined(std::string_view name) {
    if (pass_ != kPrintingPass) {
        ++warning_count_;
        return;
    }
    warn(text(msg::redefined) + std::string(name));
}

std::string Diagnostics::text(const Message& message) const {
    return std::string(text_in(message, style_));
}

std::string Diagnostics::file_name(std::string_view cp932_name) const {
    return name_in(cp932_name, style_);
}

}  // namespace oxbuild
