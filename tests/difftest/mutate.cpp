// Writes sources for the differential runner (scripts/difftest.sh): mutated
// copies of seed files and programs generated from a small grammar of the
// language. The same seed always gives the same files, and file I depends
// only on the seed and I, not on how many files are asked for. Usage:
//   difftest_mutate [--seed N] [--programs] --count N --out DIR SEED_FILE...
//   difftest_mutate --workspace DIR
// The first form writes DIR/00000.oxs ... and, for some sources, mutated
// include files DIR/NNNNN.inc1.oxh and DIR/NNNNN.inc2.oxh that replace the
// workspace's own for that source; with --programs every file is a program
// of the grammar, unmutated (for checks that need sources that compile). The
// second writes the files the sources
// name: inc1.oxh (which includes inc2.oxh), inc2.oxh, pic.bmp, snd.wav, the
// fuzz corpus's inc.oxs, a.bmp, b.bmp, w.wav and short.wav, and the
// example's res/logo.bmp, res/icons.bmp and res/click.wav.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "random.hpp"

namespace {

namespace fs = std::filesystem;

using difftest::Random;

// PREFIX followed by N in decimal.
std::string numbered(const char* prefix, std::uint64_t n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "difftest_mutate: cannot read %s\n", path.c_str());
        std::exit(2);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "difftest_mutate: cannot write %s\n", path.c_str());
        std::exit(2);
    }
}

// ---------------------------------------------------------------------------
// The workspace every source is compiled in.

constexpr std::string_view kInclude1 =
    "/* inc1.oxh: definitions shared by the test sources */\n"
    "#include \"inc2.oxh\"\n"
    "#define LIMIT 100\n"
    "#define PIC 1\n"
    "#define SND 1\n"
    "int shared_count;\n"
    "str shared_text;\n"
    "helper(int a, str &b);\n";
constexpr std::string_view kInclude2 =
    "// inc2.oxh: included by inc1.oxh\n"
    "#define MASK 0xFF\n"
    "#menu 3 { POPUP \"p\" { MENUITEM \"item\", 1, MASK } MENUITEM \"q\", 2, 0 }\n"
    "uint inc2_flags;\n";
constexpr std::string_view kCorpusInclude =
    "#define LIMIT 100\n"
    "#define ITEM MENUITEM\n"
    "#menu 7 { POPUP \"p\" { ITEM \"i\", 1, LIMIT } }\n";

void put16(std::string& b, std::uint32_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// An uncompressed 8-bit bitmap with a 40-byte information header.
std::string make_bitmap(std::uint32_t width, std::uint32_t height, std::uint32_t colours, int tint) {
    const std::uint32_t stride = (width + 3) & ~3U;
    const std::uint32_t image = stride * height;
    std::string b = "BM";
    put32(b, 14 + 40 + 4 * colours + image);
    put32(b, 0);
    put32(b, 14 + 40 + 4 * colours);
    put32(b, 40);
    put32(b, width);
    put32(b, height);
    put16(b, 1);
    put16(b, 8);
    put32(b, 0);
    put32(b, image);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, colours);
    put32(b, 0);
    for (std::uint32_t i = 0; i < colours; ++i) {
        put32(b, ((i * 37 + static_cast<std::uint32_t>(tint)) & 0xFF) * 0x010101U);
    }
    for (std::uint32_t i = 0; i < image; ++i) b.push_back(static_cast<char>((i * 7 + static_cast<std::uint32_t>(tint)) % colours));
    return b;
}

// A mono 8-bit PCM wave of SAMPLES samples at 8000 Hz.
std::string make_wave(std::uint32_t samples) {
    std::string b = "RIFF";
    put32(b, 4 + 8 + 16 + 8 + samples);
    b += "WAVEfmt ";
    put32(b, 16);
    put16(b, 1);
    put16(b, 1);
    put32(b, 8000);
    put32(b, 8000);
    put16(b, 1);
    put16(b, 8);
    b += "data";
    put32(b, samples);
    for (std::uint32_t i = 0; i < samples; ++i) b.push_back(static_cast<char>((i / 10) % 2 ? 64 : 192));
    return b;
}

void write_workspace(const fs::path& dir) {
    fs::create_directories(dir / "res");
    write_file(dir / "inc1.oxh", kInclude1);
    write_file(dir / "inc2.oxh", kInclude2);
    write_file(dir / "pic.bmp", make_bitmap(6, 3, 16, 1));
    write_file(dir / "snd.wav", make_wave(100));
    write_file(dir / "inc.oxs", kCorpusInclude);
    write_file(dir / "a.bmp", make_bitmap(3, 2, 4, 0));
    write_file(dir / "b.bmp", make_bitmap(5, 1, 16, 9));
    write_file(dir / "w.wav", std::string_view("RIFF\x04\0\0\0WAVE", 12));
    write_file(dir / "short.wav", "RI");
    write_file(dir / "res" / "logo.bmp", make_bitmap(16, 16, 4, 2));
    write_file(dir / "res" / "icons.bmp", make_bitmap(24, 8, 3, 3));
    write_file(dir / "res" / "click.wav", make_wave(800));
}

// ---------------------------------------------------------------------------
// Programs from a small grammar of the language. They are mostly valid, so
// that the later passes are reached; mutation takes care of the rest.

class ProgramGenerator {
public:
    explicit ProgramGenerator(Random& random) : r_(random) {}

    std::string program() {
        out_.clear();
        ints_ = {"g_count", "g_flags"};
        strs_ = {"g_text"};
        functions_.clear();
        if (r_.chance(30)) out_ += "#include \"inc1.oxh\"\n";
        step_ = r_.chance(30);
        if (step_) out_ += "#define STEP " + number() + "\n";
        if (r_.chance(20)) out_ += "#module \"gen\"\n#version \"1.0\"\n";
        if (r_.chance(15)) out_ += "#bitmap 1 \"pic.bmp\" 0\n";
        if (r_.chance(15)) out_ += "#wave 1 \"snd.wav\"\n";
        if (r_.chance(15)) out_ += "#menu 1\n{\n    POPUP \"File\"\n    {\n        MENUITEM \"Open\", 10, 0\n    }\n    MENUITEM \"Quit\", 11, 1\n}\n";
        out_ += "int g_count, g_flags;\nuint g_mask;\nstr g_text;\n";
        ints_.push_back("g_mask");
        const int user_functions = r_.range(0, 3);
        for (int i = 0; i < user_functions; ++i) {
            Function f{numbered("fn", i), {}};
            const int params = r_.range(0, 4);
            for (int p = 0; p < params; ++p) f.params.push_back(static_cast<int>(r_.below(4)));
            functions_.push_back(f);
            if (r_.chance(95)) out_ += signature(f) + ";\n";  // calls need one
        }
        out_ += "\n";
        static const char* const events[] = {"OnLoad(int &result)", "OnUnload()", "OnInterval()",
                                             "OnClick(int x, int y, int keys)", "OnDblClick(int x, int y, int keys)",
                                             "OnMenuItemSelected(int menu, int item)", "OnTargetChanged(int t)"};
        const bool functions_first = r_.chance(50);
        if (functions_first) user_bodies();
        const int handlers = r_.range(1, 3);
        const std::size_t first = r_.below(std::size(events));
        for (int i = 0; i < handlers; ++i) {
            const std::string head = events[(first + static_cast<std::size_t>(i) * 3) % std::size(events)];
            std::vector<std::string> names;
            std::size_t at = head.find('(');
            while ((at = head.find("int ", at)) != std::string::npos) {
                at += 4;
                if (head[at] == '&') ++at;
                names.push_back(head.substr(at, head.find_first_of(",)", at) - at));
            }
            body(head, names, {});
        }
        if (!functions_first) user_bodies();
        return out_;
    }

private:
    struct Function {
        std::string name;
        std::vector<int> params;  // 0 int, 1 int &, 2 str, 3 str &
    };

    static std::string signature(const Function& f) {
        static const char* const types[] = {"int ", "int &", "str ", "str &"};
        std::string s = f.name + "(";
        for (std::size_t p = 0; p < f.params.size(); ++p) {
            if (p) s += ", ";
            s += types[f.params[p]];
            s += numbered("p", p);
        }
        return s + ")";
    }

    std::string number() {
        switch (r_.below(6)) {
        case 0: return std::to_string(r_.below(10));
        case 1: return std::to_string(r_.next() % 100000);
        case 2: return "0x" + std::string(1, "0123456789ABCDEFabcdef"[r_.below(22)]) + "F";
        case 3: return "4294967295";
        case 4: return numbered("0x", r_.below(100000));
        default: return std::to_string(r_.below(300));
        }
    }

    std::string operand(const std::vector<std::string>& ints, int depth) {
        if (depth < 3 && r_.chance(20)) return "(" + expression(ints, depth + 1) + ")";
        std::string prefix;
        if (r_.chance(12)) prefix += r_.pick({"-", "!", "~", "+"});
        if (r_.chance(5)) prefix += r_.pick({"#-", "#+"});
        if (!ints.empty() && r_.chance(55)) return prefix + r_.pick(ints);
        if (step_ && r_.chance(10)) return prefix + "STEP";
        return prefix + number();
    }

    std::string expression(const std::vector<std::string>& ints, int depth = 0) {
        static const char* const ops[] = {"||", "&&", "|", "^", "&", "==", "!=", "<", ">", "<=",
                                          ">=", "<<", ">>", "+", "-", "*", "/", "%"};
        std::string e = operand(ints, depth);
        const int more = static_cast<int>(r_.below(depth ? 2 : 4));
        for (int i = 0; i < more; ++i) e += std::string(" ") + r_.pick(ops) + " " + operand(ints, depth);
        return e;
    }

    std::string string_literal() {
        static const char* const texts[] = {"x", "", "hello", "a\\\"b", "tab\\t", "\\\\", "two words", "100%"};
        return std::string("\"") + r_.pick(texts) + "\"";
    }

    std::string str_arg(const std::vector<std::string>& strs) {
        return !strs.empty() && r_.chance(60) ? r_.pick(strs) : string_literal();
    }

    std::string call(const std::vector<std::string>& ints, const std::vector<std::string>& strs) {
        const std::string i = ints.empty() ? "g_count" : r_.pick(ints);
        const std::string s = strs.empty() ? "g_text" : r_.pick(strs);
        switch (r_.below(12)) {
        case 0: return "strcpy(" + s + ", " + str_arg(strs) + ");";
        case 1: return "strcat(" + s + ", " + str_arg(strs) + ");";
        case 2: return "SetField(" + expression(ints) + ", " + expression(ints) + ", 0x10, " + i + ");";
        case 3: return "MessageBox(" + str_arg(strs) + ", 0, " + i + ");";
        case 4: return "Beep(" + expression(ints) + ", 120);";
        case 5: return "strlen(" + i + ", " + str_arg(strs) + ");";
        case 6: return "IntToStrDec(" + s + ", " + expression(ints) + ", 2);";
        case 7: return "GetFieldSize(" + i + ", " + i + ");";
        case 8: return "SetInterval(" + expression(ints) + ");";
        case 9: return "PlayWave(1);";
        default:
            if (functions_.empty()) return "MessageBeep(0);";
            const Function& f = r_.pick(functions_);
            std::string c = f.name + "(";
            for (std::size_t p = 0; p < f.params.size(); ++p) {
                if (p) c += ", ";
                switch (f.params[p]) {
                case 0: c += expression(ints); break;
                case 1: c += i; break;
                case 2: c += str_arg(strs); break;
                default: c += s; break;
                }
            }
            return c + ");";
        }
    }

    void indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 4, ' '); }

    void block(std::vector<std::string> ints, std::vector<std::string> strs, int depth, bool in_loop) {
        out_ += "{\n";
        if (r_.chance(50)) {
            const std::string name = numbered("v", depth) + numbered("_", r_.below(5));
            indent(depth + 1);
            if (r_.chance(70)) {
                out_ += "int " + name + ";\n";
                ints.push_back(name);
            } else {
                out_ += "str " + name + ";\n";
                strs.push_back(name);
            }
        }
        const int statements = r_.range(0, depth > 3 ? 2 : 5);
        for (int n = 0; n < statements; ++n) statement(ints, strs, depth + 1, in_loop);
        indent(depth);
        out_ += "}";
    }

    void comment(int depth) {
        static const char* const comments[] = {"// note", "/* note */", "/*\n * note\n */", "/* two\n   lines */",
                                               "/**/", "/*/ odd */", "/*\r\n*/", "// a /* b", "/* a // b */"};
        indent(depth);
        out_ += r_.pick(comments);
        out_ += "\n";
    }

    void statement(const std::vector<std::string>& ints, const std::vector<std::string>& strs, int depth, bool in_loop) {
        if (r_.chance(10)) comment(depth);
        indent(depth);
        const std::size_t kind = depth > 5 ? r_.below(3) : r_.below(9);
        switch (kind) {
        case 0:
            if (!ints.empty()) {
                out_ += r_.pick(ints) + " = " + expression(ints) + ";\n";
                return;
            }
            [[fallthrough]];
        case 1:
        case 2: out_ += call(ints, strs) + "\n"; return;
        case 3:
        case 4: {
            out_ += "if (" + expression(ints) + ") ";
            block(ints, strs, depth, in_loop);
            const int chain = r_.range(0, 3);
            for (int i = 0; i < chain; ++i) {
                out_ += r_.chance(50) ? " elseif (" : " else if (";
                out_ += expression(ints) + ") ";
                block(ints, strs, depth, in_loop);
            }
            if (r_.chance(40)) {
                out_ += " else ";
                block(ints, strs, depth, in_loop);
            }
            out_ += "\n";
            return;
        }
        case 5:
            out_ += "while (" + expression(ints) + ") ";
            block(ints, strs, depth, true);
            out_ += "\n";
            return;
        case 6:
            if (in_loop) {
                out_ += r_.chance(50) ? "break;\n" : "continue;\n";
                return;
            }
            out_ += "return;\n";
            return;
        case 7:
            block(ints, strs, depth, in_loop);
            out_ += "\n";
            return;
        default: out_ += call(ints, strs) + "\n"; return;
        }
    }

    void user_bodies() {
        for (const Function& f : functions_) {
            std::vector<std::string> ints;
            std::vector<std::string> strs;
            for (std::size_t p = 0; p < f.params.size(); ++p) {
                (f.params[p] < 2 ? ints : strs).push_back(numbered("p", p));
            }
            body(signature(f), ints, strs);
        }
    }

    void body(const std::string& head, std::vector<std::string> ints, const std::vector<std::string>& strs) {
        if (r_.chance(40)) comment(0);
        out_ += head + "\n";
        for (const std::string& g : ints_) ints.push_back(g);
        std::vector<std::string> all_strs = strs;
        for (const std::string& g : strs_) all_strs.push_back(g);
        block(ints, all_strs, 0, false);
        out_ += "\n\n";
    }

    Random& r_;
    std::string out_;
    bool step_ = false;
    std::vector<std::string> ints_;
    std::vector<std::string> strs_;
    std::vector<Function> functions_;
};

// ---------------------------------------------------------------------------
// Mutations.

// Short pieces that change how the reader splits the text.
const std::vector<std::string> kPieces = {
    "\r", "\r\n", "\n", "\x1A", std::string(1, '\0'), "\x80", "\xFF", "\xA0", "\xDF",
    "/*", "*/", "//", "/*/", ";", "{", "}", "(", ")", "\"", "\\", "#", ",", "&", "=",
    "\\\"", "\\n", "\\\\", " ", "\t", "0x", "#-", "#+", "&&", "||", "<<", "!=", "/* x */",
    "\"unterminated", "'", "/*\n", "\n*/", "/* c */", "// c\n", "elseif", "else", "if", "while", "int", "uint", "str", "return;",
};

// Whole lines, inserted at a line start.
const std::vector<std::string> kLines = {
    "#include \"inc1.oxh\"", "#include \"inc2.oxh\"", "#include \"missing.oxh\"", "#include inc1.oxh",
    "#include \"inc1.oxh", "#include \"\"", "#include \"inc.oxs\"", "#define NAME 12", "#define if while",
    "#define NAME", "#define 12 NAME", "#define LIMIT 0x7FFFFFFF", "#define STEP -1", "#define X Y",
    "#define Y X", "#bitmap 1 \"pic.bmp\" 0", "#bitmap 2 \"pic.bmp\" 300", "#bitmap 1 \"missing.bmp\" 0",
    "#bitmap 1 \"snd.wav\" 0", "#wave 1 \"snd.wav\"", "#wave 2 \"pic.bmp\"", "#wave 1 \"missing.wav\"",
    "#menu 1 { MENUITEM \"a\", 1, 0 }", "#menu 2", "{", "}", "POPUP \"p\"", "POPUP", "MENUITEM \"m\", 5, 1",
    "MENUITEM \"m\"", "MENUITEM", "#module \"x\"", "#module x", "#copyright \"(c)\"", "#version \"9\"",
    "#comment \"\"", "#", "#unknown", "int a, b, c;", "uint u;", "str s;", "int;", "f(int a);",
    "OnLoad(int &r) { r = 1; }", "OnUnload() { }", "x = 1;", "return;", "break;", "continue;",
    "} else {", "} elseif (1) {", "} else if (x) {", "while (1) {", "if (a == b) {",
    "strcpy(t, \"x\");", "SetField(i, n, 0x10, a);", "MessageBox(\"x\", 0, i);", "Beep(1, 2, 3);",
    "undefined_function();", "g_count = g_count + 1;", "/*", "*/", "/*\n * block\n */", "// line",
    "/* a */ /* b */", "/**/",
};

// A code page 932 character whose trail byte is a backslash or a quote.
std::string double_byte(Random& r) {
    const int lead = r.chance(70) ? r.range(0x81, 0x9F) : r.range(0xE0, 0xFC);
    std::string s(1, static_cast<char>(lead));
    const int kind = static_cast<int>(r.below(4));
    s.push_back(kind == 0 ? '\\' : kind == 1 ? '"' : static_cast<char>(r.range(0x40, 0xFC)));
    return s;
}

std::string long_word(Random& r) {
    const std::size_t length = r.chance(70) ? static_cast<std::size_t>(r.range(33, 80)) : static_cast<std::size_t>(r.range(81, 5000));
    std::string w;
    switch (r.below(4)) {
    case 0: w = std::string(length, 'x'); break;
    case 1:
        for (std::size_t i = 0; i < length; ++i) w.push_back(static_cast<char>('a' + (i * 7) % 26));
        break;
    case 2: w = std::string(length, '9'); break;
    default: w = "\"" + std::string(length, 's') + "\""; break;
    }
    return w;
}

std::string blank_run(Random& r) {
    static const char blanks[] = {' ', '\t', '\n', '\r'};
    const std::size_t length = static_cast<std::size_t>(r.chance(70) ? r.range(10, 200) : r.range(200, 20000));
    std::string s;
    const char main = r.pick(blanks);
    for (std::size_t i = 0; i < length; ++i) s.push_back(r.chance(90) ? main : r.pick(blanks));
    return s;
}

std::string deep_nesting(Random& r) {
    const int depth = r.chance(60) ? r.range(2, 40) : r.range(200, 300);
    if (r.chance(50)) return std::string(static_cast<std::size_t>(depth), '(') + "1" + std::string(static_cast<std::size_t>(r.chance(80) ? depth : depth - 1), ')');
    std::string s;
    for (int i = 0; i < depth; ++i) s += r.chance(80) ? "{" : "{ int q;";
    for (int i = 0; i < depth; ++i) s += r.chance(95) ? "}" : "";
    return s;
}

// Positions just after a byte of a given class, so that a cut or an
// insertion lands inside a word, number, string, comment, directive, list...
std::size_t position(Random& r, const std::string& text) {
    if (text.empty()) return 0;
    if (r.chance(50)) return r.below(text.size() + 1);
    static const char* const targets[] = {"\"", "\\", "/*", "//", "#", "(", "{", ",", "0123456789", "abcdefghijklmnopqrstuvwxyz", "=+-*<>&|", "\n", " "};
    const std::string_view target = r.pick(targets);
    const std::size_t start = r.below(text.size());
    const std::size_t at = target.size() == 2 && target[0] == '/' ? text.find(target, start) : text.find_first_of(target, start);
    if (at == std::string::npos) return r.below(text.size() + 1);
    return std::min(text.size(), at + (target.size() == 2 && target[0] == '/' ? 2 : 1) + (r.chance(30) ? r.below(3) : 0));
}

std::size_t line_start(Random& r, const std::string& text) {
    const std::size_t at = r.below(text.size() + 1);
    const std::size_t nl = text.rfind('\n', at == 0 ? 0 : at - 1);
    return at == 0 || nl == std::string::npos ? 0 : nl + 1;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

void mutate_once(Random& r, std::string& text, const std::vector<std::string>& pool) {
    switch (r.below(17)) {
    case 0:  // flip one bit
        if (!text.empty()) text[r.below(text.size())] ^= static_cast<char>(1 << r.below(8));
        return;
    case 1:  // replace bytes
        for (int n = r.range(1, 4); n > 0 && !text.empty(); --n) text[r.below(text.size())] = static_cast<char>(r.below(256));
        return;
    case 2: {  // insert random bytes
        std::string bytes;
        for (int n = r.range(1, 4); n > 0; --n) bytes.push_back(static_cast<char>(r.below(256)));
        text.insert(position(r, text), bytes);
        return;
    }
    case 3:  // delete a range
        if (!text.empty()) {
            const std::size_t at = r.below(text.size());
            text.erase(at, r.chance(70) ? r.range(1, 4) : r.below(200) + 1);
        }
        return;
    case 4:
    case 5:  // insert a piece
        text.insert(position(r, text), r.pick(kPieces));
        return;
    case 6:
        text.insert(position(r, text), double_byte(r));
        return;
    case 7:
    case 8:  // insert a line
        text.insert(line_start(r, text), r.pick(kLines) + (r.chance(85) ? "\n" : r.chance(50) ? "\r\n" : ""));
        return;
    case 9: {  // splice in a piece of another seed
        const std::string& other = r.pick(pool);
        if (other.empty()) return;
        const std::size_t from = r.below(other.size());
        const std::size_t length = std::min(other.size() - from, r.below(400) + 1);
        text.insert(position(r, text), other.substr(from, length));
        return;
    }
    case 10:
    case 11: {  // duplicate or swap lines
        std::vector<std::string> lines = split_lines(text);
        if (lines.size() < 2) return;
        const std::size_t a = r.below(lines.size());
        const std::size_t b = r.below(lines.size());
        if (r.chance(50)) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(a), lines[b]);
        } else {
            std::swap(lines[a], lines[b]);
        }
        text.clear();
        for (const std::string& l : lines) text += l;
        return;
    }
    case 12:
        text.insert(position(r, text), long_word(r));
        return;
    case 13:
        text.insert(position(r, text), blank_run(r));
        return;
    case 14:
        text.insert(position(r, text), deep_nesting(r));
        return;
    case 15: {  // change every line end
        std::string out;
        const char* const ends[] = {"\r\n", "\r", "\n\r"};
        const std::string end = r.pick(ends);
        for (const char c : text) {
            if (c == '\n') out += end;
            else out.push_back(c);
        }
        text = out;
        return;
    }
    default:  // an end-of-file mark or NUL somewhere
        text.insert(position(r, text), std::string(1, r.chance(50) ? '\x1A' : '\0'));
        return;
    }
}

// A seed from the pool; binary ones (bitmaps, modules) are taken less often,
// since almost all of them fail on the first line.
const std::string& pick_seed(Random& r, const std::vector<std::string>& pool) {
    for (int attempt = 0;; ++attempt) {
        const std::string& seed = r.pick(pool);
        const std::string_view head = std::string_view(seed).substr(0, 256);
        const bool binary = head.find_first_of(std::string_view("\0\1\2\3\4\5\6\7\x0E\x0F", 10)) != std::string_view::npos;
        if (!binary || attempt >= 3 || r.chance(25)) return seed;
    }
}

std::string mutate(Random& r, std::string text, const std::vector<std::string>& pool, int max_mutations) {
    const int mutations = r.range(1, max_mutations);
    for (int i = 0; i < mutations; ++i) mutate_once(r, text, pool);
    if (r.chance(25)) text.resize(position(r, text));  // cut: the file ends mid-construct
    return text;
}

int usage() {
    std::fprintf(stderr,
                 "usage: difftest_mutate [--seed N] [--programs] --count N --out DIR SEED_FILE...\n"
                 "       difftest_mutate --workspace DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t seed = 1;
    long count = -1;
    std::string out_dir;
    bool programs_only = false;
    std::vector<std::string> seed_files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--workspace" && i + 1 < argc) {
            write_workspace(argv[i + 1]);
            return 0;
        }
        if (arg == "--seed" && i + 1 < argc) seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--count" && i + 1 < argc) count = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--out" && i + 1 < argc) out_dir = argv[++i];
        else if (arg == "--programs") programs_only = true;
        else if (arg.starts_with("--")) return usage();
        else seed_files.emplace_back(arg);
    }
    if (count < 0 || out_dir.empty()) return usage();

    // The pool: the seed files, then programs of our own.
    std::vector<std::string> pool;
    for (const std::string& f : seed_files) pool.push_back(read_file(f));
    Random pool_random(seed ^ 0x5EEDULL);
    ProgramGenerator pool_generator(pool_random);
    for (int i = 0; i < 40; ++i) pool.push_back(pool_generator.program());
    const std::vector<std::string> includes = {std::string(kInclude1), std::string(kInclude2)};

    fs::create_directories(out_dir);
    for (long i = 0; i < count; ++i) {
        Random r(seed * 0x100000001B3ULL + static_cast<std::uint64_t>(i));
        ProgramGenerator generator(r);
        std::string text;
        const std::size_t kind = programs_only ? 0 : r.below(100);
        if (kind < 10) text = generator.program();                               // a fresh program
        else if (kind < 20) text = mutate(r, generator.program(), pool, 3);      // a program, lightly mutated
        else if (kind < 25) text = pick_seed(r, pool);                           // a seed as it is
        else text = mutate(r, pick_seed(r, pool), pool, 8);
        char name[32];
        std::snprintf(name, sizeof name, "%05ld", i);
        const fs::path base = fs::path(out_dir) / name;
        write_file(base.string() + ".oxs", text);
        if (!programs_only && r.chance(8)) {
            // Mutated (often cut) include files, and a main file that uses them.
            if (r.chance(60)) text.insert(0, "#include \"inc1.oxh\"\n");
            write_file(base.string() + ".oxs", text);
            write_file(base.string() + ".inc1.oxh", r.chance(60) ? mutate(r, includes[0], pool, 3) : includes[0]);
            write_file(base.string() + ".inc2.oxh", r.chance(60) ? mutate(r, includes[1], pool, 3) : includes[1]);
        }
    }
    return 0;
}
