#include "oxls/analysis.hpp"

#include <new>
#include <unordered_map>
#include <sstream>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "platform/file_names.hpp"
#include "core/listener.hpp"
#include "driver/spooled_pass.hpp"
#include "platform/platform.hpp"

namespace oxls {

namespace {

using oxbuild::NameAt;
using oxbuild::SourcePoint;

bool is_word_byte(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

Declaration declaration(DeclarationKind kind, std::string name, Span span) {
    Declaration d;
    d.kind = kind;
    d.name = std::move(name);
    d.span = span;
    return d;
}

std::string file_part(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Hears the compiler's pass 2 (pass 1 reads the same text) and keeps the
// messages, the declarations and the uses; opens include files through the
// text source, each once per compilation.
class Watcher final : public oxbuild::CompileListener,
                      public oxbuild::DiagnosticCollector,
                      public oxbuild::SourceOpener {
public:
    Watcher(Analysis& a, const TextSource& texts) : a_(a), texts_(texts) {}

    // DiagnosticCollector
    void collect(const oxbuild::SourceLocation& at, bool warning, std::string_view text) override {
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        a_.messages.push_back({at.file_number, at.line, warning, std::string(text), static_cast<std::size_t>(at.offset)});
    }

    void token_read(oxbuild::TokenKind kind, const oxbuild::SourceSpan& span) override {
        a_.tokens.push_back({span.file_number, static_cast<std::size_t>(span.begin), static_cast<std::size_t>(span.end),
                             kind, level_});
    }

    void comment_read(const oxbuild::SourceSpan& span) override {
        a_.comments.push_back({span.file_number, static_cast<std::size_t>(span.begin), static_cast<std::size_t>(span.end)});
    }

    // SourceOpener
    std::unique_ptr<oxbuild::SourceStream> open(const std::string& path) override {
        auto found = opened_.find(path);
        if (found == opened_.end()) found = opened_.emplace(path, texts_(path)).first;
        if (!found->second) return nullptr;
        return oxbuild::SourceStream::from_text(found->second->cp932());
    }

    // CompileListener
    void file_entered(int file_number, std::string_view, const std::string& path) override {
        const auto number = static_cast<std::size_t>(file_number);
        if (a_.files.size() <= number) {
            a_.files.resize(number + 1);
            a_.texts.resize(number + 1);
        }
        a_.files[number] = path;
        const auto found = opened_.find(path);
        a_.texts[number] = found != opened_.end() ? found->second : nullptr;
    }

    void file_named(const NameAt& name, const std::string& path) override {
        const Span span = quoted_span(name.end);
        a_.references.push_back({ReferenceKind::file, std::string(name.name), span, -1, path});
        if (awaiting_file_ >= 0) {
            a_.declarations[static_cast<std::size_t>(awaiting_file_)].path = path;
            awaiting_file_ = -1;
            return;
        }
        Declaration d = declaration(DeclarationKind::include, std::string(name.name), span);
        d.path = path;
        a_.declarations.push_back(std::move(d));
    }

    void variable_declared(const NameAt& name, TypeCode type, int level, std::int32_t slot) override {
        Declaration d = declaration(level == 0 ? DeclarationKind::global : DeclarationKind::local, std::string(name.name),
                      word_span(name.end));
        d.type = type;
        d.level = level;
        d.slot = slot;
        const int index = add(std::move(d));
        if (level == 0) globals_.emplace(std::string(name.name), index);
        else make_visible(index);
    }

    void parameter_declared(const NameAt& name, TypeCode type, std::size_t index, std::int32_t slot) override {
        Declaration d = declaration(DeclarationKind::parameter, std::string(name.name), word_span(name.end));
        d.type = type;
        d.level = 1;
        d.slot = slot;
        d.number = static_cast<std::int32_t>(index);
        parameters_.push_back(std::move(d));
    }

    void function_declared(const NameAt& name, std::span<const TypeCode> parameters, bool definition) override {
        Declaration d = declaration(definition ? DeclarationKind::function : DeclarationKind::prototype, std::string(name.name),
                      word_span(name.end));
        d.parameters.assign(parameters.begin(), parameters.end());
        d.parameter_names.assign(parameters.size(), "");
        for (const Declaration& p : parameters_)
            if (static_cast<std::size_t>(p.number) < parameters.size())
                d.parameter_names[static_cast<std::size_t>(p.number)] = p.name;
        const int index = add(std::move(d));
        if (definition) {
            opening_function_ = index;
            for (Declaration& p : parameters_) p.function = name.name;
            opening_parameters_ = std::move(parameters_);
        }
        parameters_.clear();
    }

    void variable_used(const NameAt& name, const std::optional<oxbuild::SymbolInfo>& found) override {
        int declaration = -1;
        const std::string text(name.name);
        if (found && found->level == 0) {
            if (const auto g = globals_.find(text); g != globals_.end()) declaration = g->second;
        } else if (found) {
            if (const auto v = visible_.find(text); v != visible_.end())
                for (auto it = v->second.rbegin(); it != v->second.rend(); ++it)
                    if (a_.declarations[static_cast<std::size_t>(*it)].level == found->level) {
                        declaration = *it;
                        break;
                    }
        }
        a_.references.push_back({ReferenceKind::variable, text, word_span(name.end), declaration, {}});
    }

    void function_called(const NameAt& name) override {
        a_.references.push_back({ReferenceKind::call, std::string(name.name), word_span(name.end), -1, {}});
    }

    void define_declared(const NameAt& name, std::string_view replacement) override {
        Declaration d = declaration(DeclarationKind::define, std::string(name.name), word_span(name.end));
        d.replacement = replacement;
        const std::string key = d.name;
        defines_[key] = add(std::move(d));
    }

    void define_used(const NameAt& name, std::string_view) override {
        const std::string text(name.name);
        const auto d = defines_.find(text);
        a_.references.push_back(
            {ReferenceKind::define, text, word_span(name.end), d == defines_.end() ? -1 : d->second, {}});
    }

    void block_opened(int level, const SourcePoint& at) override {
        level_ = level;
        blocks_.push_back({level, {}});
        if (level != 1 || opening_function_ < 0) return;
        a_.declarations[static_cast<std::size_t>(opening_function_)].body =
            Span{at.file_number, static_cast<std::size_t>(at.offset), static_cast<std::size_t>(at.offset)};
        body_function_ = opening_function_;
        opening_function_ = -1;
        for (Declaration& p : opening_parameters_) make_visible(add(std::move(p)));
        opening_parameters_.clear();
    }

    void block_closed(int level, const SourcePoint& at) override {
        level_ = level - 1;
        while (!blocks_.empty() && blocks_.back().level >= level) {
            end_visibility(blocks_.back(), at);
            blocks_.pop_back();
        }
        if (level == 1 && body_function_ >= 0) {
            auto& body = a_.declarations[static_cast<std::size_t>(body_function_)].body;
            if (body && body->file == at.file_number) body->end = static_cast<std::size_t>(at.offset);
            body_function_ = -1;
        }
    }

    void resource_declared(oxbuild::ResourceKind kind, const SourcePoint& at, std::int32_t number) override {
        static constexpr DeclarationKind kKinds[] = {DeclarationKind::bitmap, DeclarationKind::wave,
                                                     DeclarationKind::menu};
        Declaration d = declaration(kKinds[static_cast<int>(kind)], {}, word_span(at));
        d.number = number;
        const int index = add(std::move(d));
        awaiting_file_ = kind == oxbuild::ResourceKind::menu ? -1 : index;
    }

    // Blocks left open at the end see to the end of their file.
    void finish() {
        for (const Block& b : blocks_)
            for (const int index : b.declared) {
                auto& body = a_.declarations[static_cast<std::size_t>(index)].body;
                if (body) body->end = text_of(body->file).size();
            }
        // Calls may precede the definition they reach: resolved by name at the end.
        std::unordered_map<std::string, int> functions;
        for (std::size_t i = 0; i < a_.declarations.size(); ++i) {
            const Declaration& d = a_.declarations[i];
            if (d.kind != DeclarationKind::function && d.kind != DeclarationKind::prototype) continue;
            const auto [f, added] = functions.emplace(d.name, static_cast<int>(i));
            // The first definition wins over any prototype.
            if (!added && d.kind == DeclarationKind::function &&
                a_.declarations[static_cast<std::size_t>(f->second)].kind == DeclarationKind::prototype)
                f->second = static_cast<int>(i);
        }
        for (Reference& r : a_.references)
            if (r.kind == ReferenceKind::call)
                if (const auto f = functions.find(r.name); f != functions.end()) r.declaration = f->second;
    }

private:
    struct Block {
        int level;
        std::vector<int> declared;
    };

    std::string_view text_of(int file) const {
        const auto f = static_cast<std::size_t>(file);
        return f < a_.texts.size() && a_.texts[f] ? std::string_view(a_.texts[f]->cp932()) : std::string_view();
    }

    // The word that ends at the point, scanned back over word characters
    // as the compiler reads them (byte by byte).
    Span word_span(const SourcePoint& end) const {
        const std::string_view text = text_of(end.file_number);
        auto at = std::min(static_cast<std::size_t>(end.offset), text.size());
        std::size_t begin = at;
        while (begin > 0 && is_word_byte(text[begin - 1])) --begin;
        return {end.file_number, begin, at};
    }

    // The quoted name that ends at the point, without its quotes.
    Span quoted_span(const SourcePoint& end) const {
        const std::string_view text = text_of(end.file_number);
        const auto at = std::min(static_cast<std::size_t>(end.offset), text.size());
        if (at < 2 || text[at - 1] != '"') return {end.file_number, at, at};
        const std::size_t open = text.rfind('"', at - 2);
        if (open == std::string_view::npos) return {end.file_number, at, at};
        return {end.file_number, open + 1, at - 1};
    }

    int add(Declaration d) {
        d.read_index = a_.tokens.size();
        a_.declarations.push_back(std::move(d));
        return static_cast<int>(a_.declarations.size()) - 1;
    }

    void make_visible(int index) {
        Declaration& d = a_.declarations[static_cast<std::size_t>(index)];
        if (d.kind == DeclarationKind::local && body_function_ >= 0)
            d.function = a_.declarations[static_cast<std::size_t>(body_function_)].name;
        d.body = Span{d.span.file, d.span.begin, text_of(d.span.file).size()};
        visible_[d.name].push_back(index);
        if (!blocks_.empty()) blocks_.back().declared.push_back(index);
    }

    void end_visibility(const Block& block, const SourcePoint& at) {
        for (const int index : block.declared) {
            Declaration& d = a_.declarations[static_cast<std::size_t>(index)];
            if (d.body && d.body->file == at.file_number) d.body->end = static_cast<std::size_t>(at.offset);
            auto& stack = visible_[d.name];
            if (!stack.empty()) stack.pop_back();
        }
    }

    Analysis& a_;
    const TextSource& texts_;
    std::map<std::string, std::shared_ptr<const SourceText>> opened_;
    std::vector<Block> blocks_;
    std::unordered_map<std::string, std::vector<int>> visible_;
    std::unordered_map<std::string, int> globals_;
    std::unordered_map<std::string, int> defines_;
    std::vector<Declaration> parameters_;          // of the parameter list being read
    std::vector<Declaration> opening_parameters_;  // of the definition whose body opens next
    int opening_function_ = -1;
    int body_function_ = -1;
    int awaiting_file_ = -1;  // a bitmap or wave whose file name comes next
    int level_ = 0;
};

}  // namespace

const Declaration* Analysis::function_named(const std::string& name) const {
    const Declaration* prototype = nullptr;
    for (const Declaration& d : declarations) {
        if (d.name != name) continue;
        if (d.kind == DeclarationKind::function) return &d;
        if (d.kind == DeclarationKind::prototype && prototype == nullptr) prototype = &d;
    }
    return prototype;
}

std::string_view Analysis::text_of(int file) const {
    const auto f = static_cast<std::size_t>(file);
    return f < texts.size() && texts[f] ? std::string_view(texts[f]->cp932()) : std::string_view();
}

std::size_t Analysis::token_at(int file, std::size_t offset) const {
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].file == file && tokens[i].end > offset) return i;
    return tokens.size();
}

Analysis analyze(const std::string& main_path, std::shared_ptr<const SourceText> main, const TextSource& texts,
                 oxbuild::MessageStyle style) {
    Analysis a;
    a.files.push_back(main_path);
    a.texts.push_back(main);
    Watcher watcher(a, texts);
    std::ostringstream nowhere;
    oxbuild::Compiler c(nowhere, style);
    c.diag.collect_into(&watcher);
    c.listen(&watcher);
    c.opener = &watcher;
    const auto stream = oxbuild::SourceStream::from_text(main->cp932());
    c.main_source = stream.get();
    c.main_source_name = file_part(main_path);
    c.base_dir = oxbuild::platform::source_directory(main_path);
    try {
        (void)oxbuild::compile_passes(c, *stream);
    } catch (const oxbuild::FatalStop& stop) {
        a.messages.push_back({0, 1, false, std::string("Fatal Error: ") + stop.what()});
    } catch (const std::bad_alloc&) {
        a.messages.push_back({0, 1, false, "Fatal Error: out of memory"});
    }
    a.error_count = c.diag.error_count();
    watcher.finish();
    return a;
}

}  // namespace oxls
