// Writes every ```oxs example of the documents into a folder of its own,
// as prog.oxs beside the files the examples name, for the WebAssembly
// build's check against the native compiler:
//   web_doc_examples OUT_DIR
// Each folder is named after the document and the example's line.
#include <cstdio>
#include <filesystem>
#include <string>

#include "docs/doc_support.hpp"

namespace {

namespace fs = std::filesystem;

int write_examples(const fs::path& out, const char* document) {
    int written = 0;
    for (const oxdocs::FencedBlock& block : oxdocs::read_document(document).blocks) {
        if (block.language != "oxs") continue;
        oxtest::TempDir dir;
        oxdocs::write_example_files(dir);
        oxtest::write_file(dir / "prog.oxs", block.text);
        const fs::path folder = out / (std::string(document) + "-" + std::to_string(block.line));
        fs::create_directories(folder);
        fs::copy(dir.path(), folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        ++written;
    }
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: web_doc_examples OUT_DIR\n");
        return 2;
    }
    int written = 0;
    for (const char* document : {"language.md", "module-format.md"})
        written += write_examples(argv[1], document);
    std::printf("%d document examples\n", written);
    return 0;
}
