// Generates benchmark sources for oxbuild: deterministic for a given seed,
// of any size. Usage:
//   bench_generate SHAPE SIZE_MB OUT_DIR [SEED]
// Shapes:
//   realistic   functions with int and str locals, while loops with break,
//               if/elseif/else chains, arithmetic and bitwise assignments,
//               calls of standard functions with numbers and literals
//   realistic-c the same realistic.oxs, and beside it realistic.c: the same
//               program in C, for comparing with a C compiler
//   functions   many small functions
//   globals     many global declarations
//   blocks      one function holding a great many blocks
//   nested      blocks nested to level 255, again and again
//   defines     10,000 #defines used everywhere
//   includes    1,000 include files
//   bitmaps     100 bitmaps sharing a palette
//   waves       100 waves of 1 MB
// Writes OUT_DIR/SHAPE.oxs (and its resource or include files).
// The realistic source is the same for one seed and size with or without C.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMegabyte = 1'000'000;

// A small deterministic generator (xorshift), the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed ? seed : 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

private:
    std::uint64_t state_;
};

class Output {
public:
    explicit Output(const std::string& path) : out_(path, std::ios::binary) {
        if (!out_) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(1);
        }
    }
    Output& operator<<(const std::string& s) {
        out_ << s;
        size_ += static_cast<std::int64_t>(s.size());
        return *this;
    }
    std::int64_t size() const { return size_; }

private:
    std::ofstream out_;
    std::int64_t size_ = 0;
};

std::string num(std::int64_t n) { return std::to_string(n); }

const char* const kOperators[] = {"+", "-", "*", "/", "%", "&", "|", "^", "<<", ">>"};
const char* const kComparisons[] = {"<", ">", "<=", ">=", "==", "!="};

std::string operand(Random& r, const char* a, const char* b) {
    switch (r.below(4)) {
        case 0: return a;
        case 1: return b;
        case 2: return num(r.below(1000));
        default: return "0x" + [&] { char buf[16]; std::snprintf(buf, sizeof buf, "%x", r.below(65536)); return std::string(buf); }();
    }
}

std::string expression(Random& r) {
    std::string e = operand(r, "i", "n");
    const int terms = 1 + r.below(3);
    for (int t = 0; t < terms; ++t) e += std::string(" ") + kOperators[r.below(10)] + " " + operand(r, "a", "i");
    return e;
}

// One function of the realistic program with every random choice drawn, so
// that the program is decided in one place and written in either language.
// Expressions are spelled alike in both (same operators, same precedence).
struct RealisticFunction {
    std::int64_t index;
    std::string count;       // n's first value
    const char* loop_test;   // compares i with n
    int break_above;         // the elseif branch breaks when i is above it
    std::string else_value;  // i's value in the else branch
    int step;                // added to i on each turn
    int box_type;            // MessageBox's second argument
    std::int64_t callee;     // the function called last, or -1
};

RealisticFunction draw_function(Random& r, std::int64_t index) {
    RealisticFunction f{};
    f.index = index;
    f.count = expression(r);
    f.loop_test = kComparisons[r.below(6)];
    f.break_above = 100 + r.below(900);
    f.else_value = expression(r);
    f.step = 1 + r.below(5);
    f.box_type = r.below(4);
    // A call number is one 16-bit word, so only the first 65,536 user
    // functions can be called.
    constexpr std::int64_t kCallable = 65'536;
    f.callee = index > 0 ? r.below(static_cast<int>(std::min(index, kCallable))) : -1;
    return f;
}

// How each language spells what differs: a str is a char array (or a char
// pointer when passed by reference), a by-reference int is a pointer, a
// function returns void, elseif is else if.
struct Syntax {
    const char* declarations;  // after the first line: prototypes of the standard functions
    const char* str_global;
    const char* function_type;
    const char* str_ref_param;
    const char* str_local;
    const char* elseif;
    const char* int_ref_arg;    // before an int variable passed by reference
    const char* int_ref_param;
    const char* int_ref_deref;  // before a by-reference int parameter assigned to
};

constexpr Syntax kOxs{"", "str text;", "", "str &s", "str t;", "elseif", "", "int &result", ""};
constexpr Syntax kC{
    "char *strcpy(char *dest, const char *src);\n"
    "char *strcat(char *dest, const char *src);\n"
    "void SetField(int a, int b, int c, int d);\n"
    "void MessageBox(const char *text, int type, int *result);\n",
    "char text[256];", "void ", "char *s", "char t[256];", "else if", "&", "int *result", "*"};

void write_function(Output& o, const Syntax& x, const RealisticFunction& f) {
    o << x.function_type << "work" << num(f.index) << "(int a, " << x.str_ref_param << ")\n{\n    int i, n;\n    "
      << x.str_local << "\n";
    o << "    i = 0;\n    n = " << f.count << ";\n";
    o << "    while (i " << f.loop_test << " n) {\n";
    o << "        if (i % 3 == 0) {\n            n = n - (i & 0xff);\n";
    o << "        } " << x.elseif << " (i > " << num(f.break_above) << ") {\n            break;\n";
    o << "        } else {\n            i = " << f.else_value << ";\n        }\n";
    o << "        i = i + " << num(f.step) << ";\n    }\n";
    o << "    strcpy(t, \"message number " << num(f.index) << "\");\n";
    o << "    strcat(s, t);\n";
    o << "    SetField(i, n, 0x10, a);\n";
    o << "    MessageBox(\"value of the counter\", " << num(f.box_type) << ", " << x.int_ref_arg << "i);\n";
    if (f.callee >= 0) o << "    work" << num(f.callee) << "(n, s);\n";
    o << "}\n\n";
}

// Functions are added until the source in our language reaches the target
// size; c, when given, receives the same program in C.
void realistic(Output& o, Random& r, std::int64_t target, Output* c) {
    const auto write_header = [](Output& out, const Syntax& x) {
        out << "/* generated: realistic module */\n" << x.declarations << "int total;\n" << x.str_global << "\n\n";
    };
    const auto write_footer = [](Output& out, const Syntax& x) {
        out << x.function_type << "OnLoad(" << x.int_ref_param << ")\n{\n    work0(1, text);\n    "
            << x.int_ref_deref << "result = total;\n}\n";
    };
    write_header(o, kOxs);
    if (c) write_header(*c, kC);
    for (std::int64_t i = 0; o.size() < target; ++i) {
        const RealisticFunction f = draw_function(r, i);
        write_function(o, kOxs, f);
        if (c) write_function(*c, kC, f);
    }
    write_footer(o, kOxs);
    if (c) write_footer(*c, kC);
}

void functions(Output& o, Random& r, std::int64_t target) {
    for (std::int64_t i = 0; o.size() < target; ++i)
        o << "f" << num(i) << "(int x) { x = x + " << num(r.below(100)) << "; }\n";
}

void globals(Output& o, Random&, std::int64_t target) {
    static const char* const kTypes[] = {"int", "uint", "str"};
    for (std::int64_t i = 0; o.size() < target; ++i) o << kTypes[i % 3] << " global_" << num(i) << ";\n";
    o << "OnLoad(int &r) { r = global_0; }\n";
}

void blocks(Output& o, Random& r, std::int64_t target) {
    o << "OnLoad(int &r)\n{\n    int a;\n";
    for (std::int64_t i = 0; o.size() < target; ++i) {
        switch (r.below(3)) {
            case 0: o << "    if (a > " << num(i % 1000) << ") { a = a - 1; } else { a = a + 1; }\n"; break;
            case 1: o << "    while (a < 10) { a = a + 1; break; }\n"; break;
            default: o << "    { int b; b = a; }\n"; break;
        }
    }
    o << "    r = a;\n}\n";
}

void nested(Output& o, Random&, std::int64_t target) {
    constexpr int kDeepest = 254;  // braces inside a function body
    for (std::int64_t f = 0; o.size() < target; ++f) {
        o << "n" << num(f) << "(int a)\n{\n";
        for (int d = 0; d < kDeepest; ++d) o << "{ int v; v = a; ";
        o << "a = 1;";
        for (int d = 0; d < kDeepest; ++d) o << " }";
        o << "\n}\n";
    }
}

void defines(Output& o, Random& r, std::int64_t target) {
    constexpr int kDefines = 10'000;
    for (int i = 0; i < kDefines; ++i) o << "#define VALUE_" << num(i) << " " << num(i * 7) << "\n";
    o << "int g;\n";
    for (std::int64_t f = 0; o.size() < target; ++f) {
        o << "d" << num(f) << "(int a)\n{\n";
        for (int k = 0; k < 8; ++k)
            o << "    a = a + VALUE_" << num(r.below(kDefines)) << " * VALUE_" << num(r.below(kDefines)) << ";\n";
        o << "}\n";
    }
}

void includes(Output& o, Random& r, std::int64_t target, const std::string& dir) {
    constexpr int kFiles = 1000;
    const std::int64_t per_file = target / kFiles + 1;
    for (int i = 0; i < kFiles; ++i) {
        Output inc(dir + "/inc_" + num(i) + ".oxh");
        for (std::int64_t k = 0; inc.size() < per_file; ++k)
            inc << "i" << num(i) << "_" << num(k) << "(int x) { x = x * " << num(r.below(9)) << "; }\n";
        o << "#include \"inc_" + num(i) + ".oxh\"\n";
    }
}

void write_bmp(const std::string& path, int width, int height, Random& r) {
    const int stride = (width + 3) & ~3;
    const std::uint32_t colours = 256, pixels = static_cast<std::uint32_t>(stride * height);
    const std::uint32_t offset = 14 + 40 + colours * 4;
    std::vector<unsigned char> b;
    auto u16 = [&](std::uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    b.push_back('B'); b.push_back('M'); u32(offset + pixels); u32(0); u32(offset);
    u32(40); u32(static_cast<std::uint32_t>(width)); u32(static_cast<std::uint32_t>(height)); u16(1); u16(8);
    u32(0); u32(pixels); u32(2835); u32(2835); u32(colours); u32(0);
    // Colours drawn from a shared set of 200, so the palettes overlap.
    for (std::uint32_t i = 0; i < colours; ++i) {
        const int c = r.below(200);
        b.push_back(static_cast<unsigned char>(c)); b.push_back(static_cast<unsigned char>(c * 3));
        b.push_back(static_cast<unsigned char>(c * 7)); b.push_back(0);
    }
    for (std::uint32_t i = 0; i < pixels; ++i) b.push_back(static_cast<unsigned char>(r.below(256)));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

void bitmaps(Output& o, Random& r, std::int64_t target, const std::string& dir) {
    constexpr int kBitmaps = 100;
    const int side = 16 + static_cast<int>(target / kMegabyte) * 8;
    for (int i = 0; i < kBitmaps; ++i) {
        write_bmp(dir + "/pic_" + num(i) + ".bmp", side, side, r);
        o << "#bitmap " << num(i) << " \"pic_" << num(i) << ".bmp\" 0\n";
    }
    functions(o, r, target);
}

void waves(Output& o, Random& r, std::int64_t target, const std::string& dir) {
    constexpr int kWaves = 100;
    constexpr std::int64_t kWaveSize = kMegabyte;
    std::vector<char> data(kWaveSize);
    for (auto& c : data) c = static_cast<char>(r.below(256));
    data[0] = 'R'; data[1] = 'I'; data[2] = 'F'; data[3] = 'F';
    for (int i = 0; i < kWaves; ++i) {
        std::ofstream(dir + "/snd_" + num(i) + ".wav", std::ios::binary).write(data.data(), kWaveSize);
        o << "#wave " << num(i) << " \"snd_" << num(i) << ".wav\"\n";
    }
    functions(o, r, target);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SHAPE SIZE_MB OUT_DIR [SEED]\n", argv[0]);
        return 2;
    }
    const std::string shape = argv[1];
    const std::int64_t target = static_cast<std::int64_t>(std::atof(argv[2]) * kMegabyte);
    const std::string dir = argv[3];
    Random random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 20261207);
    if (shape == "realistic-c") {
        Output out(dir + "/realistic.oxs"), c(dir + "/realistic.c");
        realistic(out, random, target, &c);
        return 0;
    }
    using Simple = std::function<void(Output&, Random&, std::int64_t)>;
    using WithDir = std::function<void(Output&, Random&, std::int64_t, const std::string&)>;
    const auto realistic_only = [](Output& o, Random& r, std::int64_t t) { realistic(o, r, t, nullptr); };
    const std::map<std::string, Simple> simple = {{"realistic", realistic_only}, {"functions", functions},
                                                  {"globals", globals},     {"blocks", blocks},
                                                  {"nested", nested},       {"defines", defines}};
    const std::map<std::string, WithDir> with_dir = {{"includes", includes}, {"bitmaps", bitmaps}, {"waves", waves}};
    const auto it = simple.find(shape);
    const auto wd = with_dir.find(shape);
    if (it == simple.end() && wd == with_dir.end()) {
        std::fprintf(stderr, "unknown shape %s\n", shape.c_str());
        return 2;
    }
    // The source is created only for a known shape.
    Output out(dir + "/" + shape + ".oxs");
    if (it != simple.end()) it->second(out, random, target);
    else wd->second(out, random, target, dir);
    return 0;
}
