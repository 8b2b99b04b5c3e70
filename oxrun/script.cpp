#include "oxrun/script.hpp"

#include <charconv>
#include <cstdio>

#include "oxls/cp932.hpp"
#include "symbols/host_tables.hpp"

namespace oxrun {

namespace {

using oxbuild::TypeCode;

// One item of a line: a word, a number or a quoted string.
struct Token {
    std::string text;  // a string's code page 932 bytes
    bool quoted = false;
};

constexpr int kHexBase = 16;
constexpr std::int64_t kSmallest = INT32_MIN;
constexpr std::int64_t kLargest = UINT32_MAX;

class LineReader {
public:
    LineReader(std::string_view line, const std::string& where) : line_(line), where_(where) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        while (true) {
            while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t' || line_[at_] == '\r')) ++at_;
            if (at_ == line_.size()) return out;
            out.push_back(line_[at_] == '"' ? quoted() : word());
        }
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ScriptError(where_ + ": " + what); }

    Token word() {
        const std::size_t start = at_;
        while (at_ < line_.size() && line_[at_] != ' ' && line_[at_] != '\t' && line_[at_] != '\r') ++at_;
        return {std::string(line_.substr(start, at_ - start)), false};
    }

    // "..." with escapes; the UTF-8 between escapes becomes code page 932.
    Token quoted() {
        ++at_;
        std::string bytes, utf8;
        const auto flush = [&] {
            const oxls::Cp932Text text = oxls::utf8_to_cp932(utf8);
            if (!text.unmappable.empty()) fail("a character of the string has no code page 932 form");
            bytes += text.bytes;
            utf8.clear();
        };
        while (true) {
            if (at_ >= line_.size()) fail("the string has no closing '\"'");
            const char c = line_[at_++];
            if (c == '"') break;
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            flush();
            bytes += escape();
        }
        flush();
        return {bytes, true};
    }

    char escape() {
        if (at_ >= line_.size()) fail("the string ends in a '\\'");
        const char c = line_[at_++];
        switch (c) {
            case '"': case '\\': return c;
            case 'n': return '\n';
            case 't': return '\t';
            case 'r': return '\r';
            case 'x': {
                unsigned value = 0;
                const auto [end, ec] = std::from_chars(line_.data() + at_, line_.data() + std::min(at_ + 2, line_.size()), value, kHexBase);
                if (ec != std::errc() || end != line_.data() + at_ + 2) fail("\\x needs two hexadecimal digits");
                at_ += 2;
                return static_cast<char>(value);
            }
            default: fail(std::string("unknown escape \\") + c);
        }
    }

    std::string_view line_;
    const std::string& where_;
    std::size_t at_ = 0;
};

class Parser {
public:
    explicit Parser(const std::string& name) : name_(name) {}

    Script parse(std::string_view text) {
        Script s;
        int number = 0;
        for (std::size_t start = 0; start <= text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            ++number;
            where_ = name_ + "(" + std::to_string(number) + ")";
            step(s, LineReader(text.substr(start, end - start), where_).tokens(), number);
            start = end + 1;
        }
        return s;
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ScriptError(where_ + ": " + what); }

    void step(Script& s, const std::vector<Token>& t, int line) {
        if (t.empty() || (!t[0].quoted && t[0].text.starts_with("#"))) return;
        const std::string& word = t[0].text;
        const std::span<const Token> rest = std::span(t).subspan(1);
        if (word == "program") {
            if (rest.size() != 1) fail("program takes one file name");
            if (s.program) fail("the script names its program twice");
            s.program = rest[0].text;
            return;
        }
        s.lines.push_back(line);
        if (word == "wait") s.steps.push_back(WaitStep{wait(rest)});
        else if (word == "answer") s.steps.push_back(answer(rest));
        else if (word == "time") s.steps.push_back(time(rest));
        else if (word == "setting") s.steps.push_back(setting(rest));
        else s.steps.push_back(event(word, rest));
    }

    std::int32_t number(const Token& t) const {
        std::int64_t value = 0;
        std::string_view text = t.text;
        const bool negative = text.starts_with("-");
        if (negative) text.remove_prefix(1);
        int base = 10;
        if (text.starts_with("0x") || text.starts_with("0X")) {
            base = kHexBase;
            text.remove_prefix(2);
        }
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
        if (t.quoted || text.empty() || ec != std::errc() || end != text.data() + text.size())
            fail("'" + t.text + "' is not a number");
        if (negative) value = -value;
        if (value < kSmallest || value > kLargest) fail("'" + t.text + "' does not fit in 32 bits");
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    std::int64_t wait(std::span<const Token> rest) const {
        if (rest.size() != 1) fail("wait takes one number of milliseconds");
        const std::int32_t ms = number(rest[0]);
        if (ms < 0) fail("wait cannot go back in time");
        return ms;
    }

    EventStep event(const std::string& name, std::span<const Token> rest) const {
        const auto all = oxbuild::events();
        for (std::size_t row = 0; row < all.size(); ++row) {
            if (all[row].name != name) continue;
            EventStep e{row, {}};
            std::size_t by_value = 0;
            for (const TypeCode p : all[row].parameters) by_value += (p & oxbuild::TYPE_BY_REFERENCE) == 0;
            if (rest.size() != by_value)
                fail(name + " takes " + std::to_string(by_value) + " argument" + (by_value == 1 ? "" : "s") + ", not " +
                     std::to_string(rest.size()));
            for (const Token& t : rest) e.values.push_back(number(t));
            return e;
        }
        fail("unknown step or event '" + name + "'");
    }

    AnswerStep answer(std::span<const Token> rest) const {
        if (rest.empty()) fail("answer takes a standard function's name and its values");
        const oxbuild::StandardFunction* f = nullptr;
        for (const oxbuild::StandardFunction& row : oxbuild::standard_functions())
            if (row.name == rest[0].text) f = &row;
        if (f == nullptr) fail("'" + rest[0].text + "' is no standard function");
        if (!is_recorded(f->number)) fail(rest[0].text + " is carried out by the model host, which takes no answers for it");
        AnswerStep a{f->number, {}};
        std::size_t next = 1;
        for (const TypeCode p : f->parameters) {
            if ((p & oxbuild::TYPE_BY_REFERENCE) == 0) continue;
            if (next >= rest.size()) fail(rest[0].text + " needs a value for each by-reference parameter");
            const Token& t = rest[next++];
            if (p == oxbuild::TYPE_STR_REF && !t.quoted) fail("a str& parameter's answer is a quoted string");
            if (p == oxbuild::TYPE_STR_REF) a.values.emplace_back(t.text);
            else a.values.emplace_back(number(t));
        }
        if (next != rest.size()) fail(rest[0].text + " has fewer by-reference parameters than the values given");
        return a;
    }

    // time YYYY-MM-DD HH:MM:SS
    TimeStep time(std::span<const Token> rest) const {
        TimeStep t;
        CalendarTime& c = t.time;
        char dash1 = 0, dash2 = 0, colon1 = 0, colon2 = 0;
        const std::string text = rest.size() == 2 ? rest[0].text + " " + rest[1].text : "";
        int used = 0;
        const int read = std::sscanf(text.c_str(), "%d%c%d%c%d %d%c%d%c%d%n", &c.year, &dash1, &c.month, &dash2, &c.day,
                                     &c.hour, &colon1, &c.minute, &colon2, &c.second, &used);
        if (read != 10 || used != static_cast<int>(text.size()) || dash1 != '-' || dash2 != '-' || colon1 != ':' ||
            colon2 != ':' || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour < 0 || c.hour > 23 ||
            c.minute < 0 || c.minute > 59 || c.second < 0 || c.second > 59)
            fail("time takes YYYY-MM-DD HH:MM:SS");
        return t;
    }

    SettingStep setting(std::span<const Token> rest) const {
        if (rest.size() != 2) fail("setting takes a name and a value");
        const std::string name = rest[0].quoted ? rest[0].text : oxls::utf8_to_cp932(rest[0].text).bytes;
        if (rest[1].quoted) return {name, rest[1].text};
        return {name, number(rest[1])};
    }

    const std::string& name_;
    std::string where_;
};

}  // namespace

Script parse_script(std::string_view text, const std::string& name) { return Parser(name).parse(text); }

}  // namespace oxrun
