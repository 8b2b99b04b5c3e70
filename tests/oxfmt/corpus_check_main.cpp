// The formatter's promises over a corpus of sources, in process:
//   oxfmt_corpus_check [--docs] [--in DIR FILE...]...
// Each FILE is compiled as if it stood in DIR (its relative names lead
// there; its bytes are read where it is), and so are the documents' examples
// (--docs, in a directory holding the files they name). For every source
// that compiles cleanly: formatting it twice gives the text of formatting it
// once; the formatted text holds the same comments in the same order; and
// it compiles to the same module bytes as the original, with every include
// file of DIR that compiles cleanly on its own formatted too. Prints the
// counts and one FAIL line per broken promise; exit status 1 on any.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "docs/doc_support.hpp"
#include "driver/compiler.hpp"
#include "driver/spooled_pass.hpp"
#include "oxfmt/format.hpp"
#include "platform/platform.hpp"
#include "support/test_support.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string key_of(const std::string& path) { return fs::weakly_canonical(fs::absolute(path)).string(); }

// Include files from the texts given, by path; others from disk.
class Substitutes final : public oxbuild::SourceOpener {
public:
    std::map<std::string, std::string> texts;  // by key_of(path)
    std::unique_ptr<oxbuild::SourceStream> open(const std::string& path) override {
        const auto found = texts.find(key_of(path));
        if (found != texts.end()) return oxbuild::SourceStream::from_text(found->second);
        return oxbuild::SourceStream::open(path);
    }
};

// The module a clean compile writes; nullopt after an error, a warning or a
// fatal stop.
std::optional<Bytes> module_of(const std::string& path, const std::string& bytes, oxbuild::SourceOpener* opener) {
    std::ostringstream out;
    oxbuild::Compiler c(out);
    const auto source = oxbuild::SourceStream::from_text(bytes);
    const auto module = oxbuild::ModuleStream::spool();
    c.main_source = source.get();
    c.main_source_name = fs::path(path).filename().string();
    c.module = module.get();
    c.sink.attach(module.get());
    c.opener = opener;
    c.base_dir = oxbuild::platform::source_directory(path);
    try {
        (void)oxbuild::compile_passes(c, *source);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (c.diag.error_count() != 0 || c.diag.warning_count() != 0) return std::nullopt;
    Bytes bytes_out;
    const bool read = module->read_back(
        [&](unsigned char* data, std::size_t size) { bytes_out.insert(bytes_out.end(), data, data + size); });
    if (!read) return std::nullopt;
    return bytes_out;
}

struct Counts {
    int sources = 0, clean = 0, same_module = 0, idempotent = 0, same_comments = 0, includes = 0, failures = 0;
};

void fail(Counts& counts, const std::string& name, const std::string& what) {
    ++counts.failures;
    std::printf("FAIL %s: %s\n", name.c_str(), what.c_str());
}

// The three promises for one source, compiled at path.
void check(Counts& counts, const std::string& path, const std::string& shown, const std::string& bytes,
           Substitutes& formatted_includes) {
    ++counts.sources;
    const auto original = module_of(path, bytes, nullptr);
    const oxfmt::Formatted once = oxfmt::format_source(path, shown, bytes);
    if (!original || once.status != oxfmt::Formatted::Status::formatted) {
        if (original) fail(counts, shown, "compiles cleanly, but is not formatted: " + once.messages);
        return;
    }
    ++counts.clean;
    const oxfmt::Formatted twice = oxfmt::format_source(path, shown, once.text);
    if (twice.status == oxfmt::Formatted::Status::formatted && twice.text == once.text) ++counts.idempotent;
    else fail(counts, shown, "formatting the formatted text changes it");
    if (once.comments == twice.comments) ++counts.same_comments;
    else fail(counts, shown, "the comments differ");
    if (module_of(path, once.text, &formatted_includes) == original) ++counts.same_module;
    else fail(counts, shown, "the formatted source compiles to another module");
}

// The include files of a directory that compile on their own, formatted.
void format_includes(Counts& counts, const fs::path& dir, Substitutes& into) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".oxh" && name != "inc.oxs") continue;
        const std::string path = entry.path().string();
        const oxfmt::Formatted f = oxfmt::format_source(path, name, read_bytes(path));
        if (f.status != oxfmt::Formatted::Status::formatted) continue;
        into.texts[key_of(path)] = f.text;
        ++counts.includes;
    }
}

void check_directory(Counts& counts, const fs::path& dir, const std::vector<std::string>& files) {
    Substitutes includes;
    format_includes(counts, dir, includes);
    for (const std::string& file : files) {
        const std::string path = (dir / fs::path(file).filename()).string();
        check(counts, path, file, read_bytes(file), includes);
    }
}

// Every ```oxs block of the documents, in a directory holding the files
// their examples name.
void check_documents(Counts& counts) {
    for (const char* name : {"language.md", "module-format.md"}) {
        const oxdocs::Markdown doc = oxdocs::read_document(name);
        for (const oxdocs::FencedBlock& block : doc.blocks) {
            if (block.language != "oxs") continue;
            oxtest::TempDir dir;
            oxdocs::write_example_files(dir);
            Substitutes none;
            const std::string path = dir / "prog.oxs";
            check(counts, path, std::string(name) + ":" + std::to_string(block.line), block.text, none);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Counts counts;
    std::optional<fs::path> dir;
    std::vector<std::string> files;
    const auto flush = [&] {
        if (dir) check_directory(counts, *dir, files);
        files.clear();
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--docs") {
            check_documents(counts);
        } else if (arg == "--in" && i + 1 < argc) {
            flush();
            dir = argv[++i];
        } else {
            files.push_back(arg);
        }
    }
    flush();
    std::printf("oxfmt corpus: %d sources, %d compile cleanly: %d identical modules, %d idempotent, "
                "%d with the same comments; %d include files formatted\n",
                counts.sources, counts.clean, counts.same_module, counts.idempotent, counts.same_comments,
                counts.includes);
    return counts.failures == 0 ? 0 : 1;
}
