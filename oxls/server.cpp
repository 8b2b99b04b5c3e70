#include "oxls/server.hpp"

#include <algorithm>
#include <sstream>

#include "driver/command_line.hpp"
#include "oxls/cp932.hpp"
#include "oxls/hints.hpp"
#include "oxls/language.hpp"
#include "oxls/protocol.hpp"
#include "oxls/texts.hpp"
#include "resources/binary_file.hpp"

namespace oxls {

namespace {

// JSON-RPC error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// Protocol enumerations used here.
constexpr int kSyncIncremental = 2;
constexpr int kSeverityError = 1;
constexpr int kSeverityWarning = 2;
constexpr int kSeverityInformation = 3;
constexpr int kSeverityHint = 4;
constexpr int kTagUnnecessary = 1;

constexpr std::string_view kFileScheme = "file://";

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool has_drive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

// "a/./b/../c" -> "a/c", so that one file has one name. '\' separates as
// '/' does (as it does for the compiler), and a drive letter is upper case.
std::string normalize_path(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (has_drive(path)) path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    std::vector<std::string> parts;
    std::stringstream in(path);
    std::string part;
    while (std::getline(in, part, '/')) {
        if (part.empty() || part == ".") continue;
        if (part == ".." && !parts.empty() && parts.back() != "..") parts.pop_back();
        else parts.push_back(part);
    }
    std::string out = !path.empty() && path[0] == '/' ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

// Whether the compilation read the file (normalized) as an include file.
bool includes(const Analysis& a, const std::string& path) {
    return std::any_of(a.files.begin() + (a.files.empty() ? 0 : 1), a.files.end(),
                       [&](const std::string& f) { return normalize_path(f) == path; });
}

std::string path_of_uri(const std::string& uri) {
    if (uri.compare(0, kFileScheme.size(), kFileScheme) != 0) return uri;
    std::string path;
    for (std::size_t i = kFileScheme.size(); i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && hex_value(uri[i + 1]) >= 0 && hex_value(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex_value(uri[i + 1]) * 16 + hex_value(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    // file:///C:/dir names C:/dir.
    if (path.size() >= 3 && path[0] == '/' && has_drive(std::string_view(path).substr(1))) path.erase(0, 1);
    return normalize_path(path);
}

std::string file_uri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri(kFileScheme);
    if (has_drive(path)) uri += '/';
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char ch = path[i];
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || std::string_view("/-._~").find(ch) != std::string_view::npos || (i == 1 && has_drive(path))) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

bool readable_regular_file(const std::string& path) { return oxbuild::platform::InputFile::open(path).is_open(); }

// The innermost call whose parentheses hold the end of the text, and which
// argument the end stands in. Strings and comments are passed over.
struct CallContext {
    std::string name;
    int argument = 0;
};

// The compiler's message style for an OXBUILD_MESSAGES value; the protocol
// speaks UTF-8, so code page 932 becomes UTF-8.
oxbuild::MessageStyle utf8_messages(const char* value) {
    const oxbuild::MessageStyle style = oxbuild::message_style(value);
    return style == oxbuild::MessageStyle::english ? style : oxbuild::MessageStyle::utf8;
}

std::optional<CallContext> call_at_end(std::string_view text) {
    // Back to the start of the statement: a call is never split by ; { or }.
    const std::size_t start = text.find_last_of(";{}");
    text.remove_prefix(start == std::string_view::npos ? 0 : start + 1);
    std::vector<CallContext> open;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            i = std::min(text.find('\n', i), text.size());
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t end = text.find("*/", i + 1);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else if (c == '(') {
            std::size_t end = i;
            while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
            std::size_t begin = end;
            while (begin > 0 && is_word_char(text[begin - 1])) --begin;
            open.push_back({std::string(text.substr(begin, end - begin)), 0});
        } else if (c == ')') {
            if (!open.empty()) open.pop_back();
        } else if (c == ',') {
            if (!open.empty()) ++open.back().argument;
        }
    }
    while (!open.empty() && open.back().name.empty()) open.pop_back();  // a parenthesised expression
    if (open.empty()) return std::nullopt;
    return open.back();
}

}  // namespace

Server::Server(std::function<void(const std::string&)> send, const char* messages_variable)
    : send_(std::move(send)), messages_(utf8_messages(messages_variable)) {}

void Server::receive(std::string_view body) {
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        respond_error(nullptr, kParseError, "the message is no JSON");
        return;
    }
    dispatch(message);
}

void Server::dispatch(const json& message) {
    if (!message.is_object() || !message.contains("method") || !message["method"].is_string()) {
        // A response to a request of ours, or no message at all.
        if (message.is_object() && (message.contains("result") || message.contains("error"))) return;
        respond_error(message.is_object() && message.contains("id") ? message["id"] : json(nullptr), kInvalidRequest,
                      "not a request");
        return;
    }
    const std::string& method = message["method"].get_ref<const std::string&>();
    const json params = message.contains("params") ? message["params"] : json::object();
    const bool is_request = message.contains("id");
    if (!is_request) {
        try {
            notification(method, params);
        } catch (const json::exception&) {
            // A notification with bad parameters is ignored; there is no one to answer.
        }
        return;
    }
    const json& id = message["id"];
    if (!id.is_number_integer() && !id.is_string()) {
        respond_error(nullptr, kInvalidRequest, "bad id");
        return;
    }
    if (!initialized_ && method != "initialize") {
        respond_error(id, kServerNotInitialized, "initialize first");
        return;
    }
    if (shutdown_) {
        respond_error(id, kInvalidRequest, "shut down");
        return;
    }
    try {
        const auto result = request(method, params);
        if (result) respond(id, *result);
        else respond_error(id, kMethodNotFound, "unknown method: " + method);
    } catch (const json::exception& e) {
        respond_error(id, kInvalidParams, e.what());
    } catch (const Refusal& r) {
        respond_error(id, kRequestFailed, r.what());
    }
}

std::optional<json> Server::request(const std::string& method, const json& params) {
    if (method == "initialize") return initialize(params);
    if (method == "shutdown") {
        shutdown_ = true;
        return json(nullptr);
    }
    if (method == "textDocument/completion") return completion(params);
    if (method == "textDocument/hover") return hover(params);
    if (method == "textDocument/signatureHelp") return signature_help(params);
    if (method == "textDocument/definition") return definition(params);
    if (method == "textDocument/documentSymbol") return document_symbols(params);
    if (method == "textDocument/references") return references(params);
    if (method == "textDocument/documentHighlight") return document_highlight(params);
    if (method == "textDocument/prepareRename") return prepare_rename(params);
    if (method == "textDocument/rename") return rename(params);
    if (method == "workspace/symbol") return workspace_symbol(params);
    if (method == "textDocument/semanticTokens/full") return semantic_tokens(params);
    if (method == "textDocument/foldingRange") return folding_ranges(params);
    if (method == "textDocument/inlayHint") return inlay_hints(params);
    if (method == "textDocument/codeAction") return code_action(params);
    if (method == "textDocument/formatting") return formatting(params);
    if (method == "textDocument/rangeFormatting") return range_formatting(params);
    return std::nullopt;
}

void Server::notification(const std::string& method, const json& params) {
    if (method == "exit") {
        exited_ = true;
        return;
    }
    if (!initialized_ || shutdown_) return;
    if (method == "textDocument/didOpen") did_open(params);
    else if (method == "textDocument/didChange") did_change(params);
    else if (method == "textDocument/didClose") did_close(params);
    else if (method == "textDocument/didSave") mark_dirty(uri_param(params));
}

// Written around the result's own text, so that a large result is not
// copied into a second tree first.
void Server::respond(const json& id, const json& result) {
    send_("{\"id\":" + id.dump(-1, ' ', false, json::error_handler_t::replace) + ",\"jsonrpc\":\"2.0\",\"result\":" +
          result.dump(-1, ' ', false, json::error_handler_t::replace) + "}");
}

void Server::respond_error(const json& id, int code, const std::string& text) {
    const json error = {{"code", code}, {"message", text}};
    send_(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", error}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::notify(const std::string& method, json params) {
    send_(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

json Server::initialize(const json& params) {
    initialized_ = true;
    const json* encodings = nullptr;
    if (params.contains("capabilities") && params["capabilities"].contains("general") &&
        params["capabilities"]["general"].contains("positionEncodings"))
        encodings = &params["capabilities"]["general"]["positionEncodings"];
    if (params.contains("initializationOptions") && params["initializationOptions"].is_object() &&
        params["initializationOptions"].contains("messages") && params["initializationOptions"]["messages"].is_string())
        messages_ = utf8_messages(params["initializationOptions"]["messages"].get_ref<const std::string&>().c_str());
    snippets_ = params.contains("capabilities") &&
                params["capabilities"].value("/textDocument/completion/completionItem/snippetSupport"_json_pointer, false);
    if (encodings != nullptr && encodings->is_array())
        for (const json& e : *encodings)
            if (e == "utf-8") unit_ = PositionUnit::utf8;
    json capabilities = {
        {"positionEncoding", unit_ == PositionUnit::utf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", kSyncIncremental}, {"save", {{"includeText", false}}}}},
        {"completionProvider", {{"triggerCharacters", {"#"}}}},
        {"hoverProvider", true},
        {"signatureHelpProvider", {{"triggerCharacters", {"(", ","}}}},
        {"definitionProvider", true},
        {"documentSymbolProvider", true},
    };
    capabilities.update(capabilities_of_requests());
    return {{"capabilities", capabilities}, {"serverInfo", {{"name", "oxls"}, {"version", OXLS_VERSION}}}};
}

void Server::did_open(const json& params) {
    const json& item = params.at("textDocument");
    Document d;
    d.uri = item.at("uri").get<std::string>();
    d.path = path_of_uri(d.uri);
    d.text = std::make_shared<const SourceText>(SourceText::from_utf8(item.at("text").get<std::string>()));
    documents_[d.uri] = std::move(d);
    stale_ = true;
}

void Server::did_change(const json& params) {
    const auto found = documents_.find(uri_param(params));
    if (found == documents_.end()) return;
    Document& d = found->second;
    auto text = std::make_shared<SourceText>(*d.text);
    for (const json& change : params.at("contentChanges")) {
        const std::string& inserted = change.at("text").get_ref<const std::string&>();
        if (change.contains("range"))
            text->replace(position_from(change["range"].at("start")), position_from(change["range"].at("end")),
                          inserted, unit_);
        else
            *text = SourceText::from_utf8(inserted);
    }
    d.text = std::move(text);
    d.dirty = true;
    stale_ = true;
}

void Server::did_close(const json& params) {
    const std::string uri = uri_param(params);
    const auto found = documents_.find(uri);
    if (found == documents_.end()) return;
    const std::string path = found->second.path;
    documents_.erase(found);
    analyses_.erase(uri);
    stale_ = true;
    // Whoever included it now reads it from disk.
    for (auto& [main, analysis] : analyses_)
        if (includes(analysis, path))
            mark_dirty(main);
    flush();
}

void Server::mark_dirty(const std::string& uri) {
    if (const auto found = documents_.find(uri); found != documents_.end()) {
        found->second.dirty = true;
        stale_ = true;
    }
}

const Server::Document* Server::document_at(const std::string& path) const {
    const std::string normal = normalize_path(path);
    for (const auto& [uri, d] : documents_)
        if (d.path == normal) return &d;
    return nullptr;
}

std::string Server::uri_of(const std::string& path) const {
    if (const Document* d = document_at(path)) return d->uri;
    return file_uri(normalize_path(path));
}

std::shared_ptr<const SourceText> Server::text_of_path(const std::string& path) {
    if (const Document* d = document_at(path)) return d->text;
    const auto bytes = oxbuild::read_whole_file(path);  // regular files only
    if (!bytes) return nullptr;
    return std::make_shared<const SourceText>(SourceText::from_cp932(std::string(bytes->begin(), bytes->end())));
}

// Compiles every changed document and every open document that includes a
// changed one; a document that another open document includes is compiled
// only as part of it.
void Server::flush() {
    if (!stale_) return;
    stale_ = false;
    std::set<std::string> changed_paths;
    for (const auto& [uri, d] : documents_)
        if (d.dirty) changed_paths.insert(d.path);

    const auto included_elsewhere = [&](const Document& d) {
        for (const auto& [main, a] : analyses_)
            if (main != d.uri && includes(a, d.path)) return true;
        return false;
    };
    const TextSource texts = [this](const std::string& path) { return text_of_path(path); };
    for (auto& [uri, d] : documents_) {
        bool compile = d.dirty || analyses_.count(uri) == 0;
        if (const auto a = analyses_.find(uri); a != analyses_.end())
            for (std::size_t f = 1; f < a->second.files.size(); ++f)
                compile = compile || changed_paths.count(normalize_path(a->second.files[f])) != 0;
        if (!compile) continue;
        if (included_elsewhere(d)) analyses_.erase(uri);
        else analyses_[uri] = analyze(d.path, d.text, texts, messages_);
    }
    for (auto& [uri, d] : documents_) d.dirty = false;
    // A document compiled alone before its includer was opened.
    for (auto it = analyses_.begin(); it != analyses_.end();) {
        const auto d = documents_.find(it->first);
        if (d == documents_.end() || included_elsewhere(d->second)) it = analyses_.erase(it);
        else ++it;
    }
    publish_diagnostics();
}

json Server::range_of(const SourceText& text, std::size_t begin, std::size_t end) const {
    return {{"start", position_json(text.position_of_cp932(begin, unit_))},
            {"end", position_json(text.position_of_cp932(end, unit_))}};
}

json Server::location_of(const Analysis& a, const Span& span) const {
    const auto file = static_cast<std::size_t>(span.file);
    if (file >= a.files.size() || !a.texts[file]) return nullptr;
    return {{"uri", uri_of(a.files[file])}, {"range", range_of(*a.texts[file], span.begin, span.end)}};
}

// One compiler message: the token at which the compiler stood, or the
// whole line it names when none is known.
json Server::compiler_diagnostic(const Analysis& a, const SourceText& text, const Message& m) const {
    json range;
    if (const auto span = message_span(a, m)) {
        range = range_of(text, span->begin, span->end);
    } else {
        const int line = std::clamp(m.line - 1, 0, text.line_count() - 1);
        range = {{"start", {{"line", line}, {"character", 0}}},
                 {"end", {{"line", line}, {"character", text.line_length(line, unit_)}}}};
    }
    return {{"range", range},
            {"severity", m.warning ? kSeverityWarning : kSeverityError},
            {"source", "oxbuild"},
            {"message", m.text}};
}

json Server::hint_diagnostic(const SourceText& text, const Hint& h) const {
    json d = {{"range", range_of(text, h.span.begin, h.span.end)},
              {"severity", h.information ? kSeverityInformation : kSeverityHint},
              {"source", "oxls"},
              {"message", h.message}};
    if (h.unnecessary) d["tags"] = {kTagUnnecessary};
    return d;
}

// A character of the document that code page 932 cannot hold.
json Server::unmappable_diagnostic(const SourceText& text, std::size_t offset) const {
    const Utf8Char c = read_utf8(text.utf8(), offset);
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c.code));
    const json range = {{"start", position_json(text.position_of_utf8(offset, unit_))},
                        {"end", position_json(text.position_of_utf8(offset + c.length, unit_))}};
    return {{"range", range},
            {"severity", kSeverityError},
            {"source", "oxls"},
            {"message", said(say::unmappable, messages_, {code})}};
}

// Every document's and include file's diagnostics; only lists that changed
// are sent, and a list that became empty is sent once, empty.
void Server::publish_diagnostics() {
    std::map<std::string, json> by_uri;
    std::set<std::pair<std::string, std::string>> seen;  // URI and message, once each
    for (const auto& [main, a] : analyses_) {
        for (const Message& m : a.messages) {
            const auto file = static_cast<std::size_t>(m.file);
            if (file >= a.files.size() || !a.texts[file]) continue;
            const std::string uri = uri_of(a.files[file]);
            if (!seen.emplace(uri, std::to_string(m.line) + ":" + m.text).second) continue;
            by_uri[uri].push_back(compiler_diagnostic(a, *a.texts[file], m));
        }
        for (const Hint& h : hints(a, messages_)) {
            const auto file = static_cast<std::size_t>(h.span.file);
            if (file >= a.files.size() || !a.texts[file]) continue;
            const std::string uri = uri_of(a.files[file]);
            if (!seen.emplace(uri, std::to_string(h.span.begin) + ":" + h.message).second) continue;
            by_uri[uri].push_back(hint_diagnostic(*a.texts[file], h));
        }
    }
    for (const auto& [uri, d] : documents_) {
        json& list = by_uri[uri];
        for (const std::size_t offset : d.text->unmappable()) list.push_back(unmappable_diagnostic(*d.text, offset));
    }
    for (const auto& [uri, last] : published_) by_uri.try_emplace(uri);
    for (auto& [uri, list] : by_uri) {
        if (list.is_null()) list = json::array();
        std::string dumped = list.dump(-1, ' ', false, json::error_handler_t::replace);
        std::string& last = published_[uri];
        if (last == dumped) continue;
        last = std::move(dumped);
        notify("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", list}});
    }
    // Empty lists of files no longer open need not be remembered.
    std::erase_if(published_,
                  [this](const auto& entry) { return entry.second == "[]" && documents_.count(entry.first) == 0; });
}

std::optional<Server::Target> Server::target(const json& params) {
    const Position at = position_from(params.at("position"));
    flush();
    const auto found = documents_.find(uri_param(params));
    if (found == documents_.end()) return std::nullopt;
    const Document& d = found->second;
    const Analysis* analysis = nullptr;
    if (const auto a = analyses_.find(d.uri); a != analyses_.end()) analysis = &a->second;
    for (const auto& [main, a] : analyses_)
        if (analysis == nullptr && includes(a, d.path)) analysis = &a;
    if (analysis == nullptr) return std::nullopt;
    Target t{analysis, d.text, {}, 0, &d};
    for (std::size_t f = 0; f < analysis->files.size(); ++f)
        if (normalize_path(analysis->files[f]) == d.path) t.files.push_back(static_cast<int>(f));
    t.offset = d.text->cp932_offset_of(at, unit_);
    return t;
}

json Server::completion(const json& params) {
    const auto t = target(params);
    if (!t) return json::array();
    const Position at = position_from(params.at("position"));
    const std::string_view line = t->text->utf8_line(at.line);
    const std::size_t column =
        std::min(t->text->utf8_offset_of(at, unit_) - t->text->utf8_offset_of({at.line, 0}, unit_), line.size());
    // The word at the cursor: ASCII, so as many units as bytes.
    std::size_t begin = column, end = column;
    while (begin > 0 && is_word_char(line[begin - 1])) --begin;
    while (end < line.size() && is_word_char(line[end])) ++end;
    const int character = t->text->position_of_utf8(t->text->utf8_offset_of(at, unit_), unit_).character;
    CompletionPlace place;
    place.files = t->files;
    place.offset = t->offset;
    place.line_before = line.substr(0, column);
    place.word_range = {{"start", position_json({at.line, character - static_cast<int>(column - begin)})},
                        {"end", position_json({at.line, character + static_cast<int>(end - column)})}};
    place.snippets = snippets_;
    return completion_items(*t->analysis, place);
}

json Server::hover(const json& params) {
    const auto t = target(params);
    if (!t) return nullptr;
    if (const auto directive = directive_at(*t->analysis, t->files, t->offset)) {
        const std::string text = describe_directive(directive->name);
        if (text.empty()) return nullptr;
        return {{"contents", markdown(text)}, {"range", range_of(*t->text, directive->span.begin, directive->span.end)}};
    }
    const auto found = symbol_at(*t->analysis, t->files, t->offset);
    if (!found) return nullptr;
    const std::string text = describe(*found);
    if (text.empty()) return nullptr;
    const auto file = static_cast<std::size_t>(found->span.file);
    json result = {{"contents", markdown(text)}};
    if (file < t->analysis->texts.size() && t->analysis->texts[file])
        result["range"] = range_of(*t->analysis->texts[file], found->span.begin, found->span.end);
    return result;
}

json Server::signature_help(const json& params) {
    const auto t = target(params);
    if (!t) return nullptr;
    const std::size_t end = t->text->utf8_offset_of(position_from(params.at("position")), unit_);
    const auto call = call_at_end(std::string_view(t->text->utf8()).substr(0, end));
    if (!call) return nullptr;
    const auto signature = signature_of(*t->analysis, call->name);
    if (!signature) return nullptr;
    const int count = static_cast<int>(signature->parameters.size());
    return {{"signatures", {signature->to_json()}},
            {"activeSignature", 0},
            {"activeParameter", std::min(call->argument, std::max(count - 1, 0))}};
}

json Server::definition(const json& params) {
    const auto t = target(params);
    if (!t) return nullptr;
    const auto found = symbol_at(*t->analysis, t->files, t->offset);
    if (!found) return nullptr;
    if (!found->path.empty()) {
        if (!readable_regular_file(found->path) && document_at(found->path) == nullptr) return nullptr;
        const json zero = position_json({0, 0});
        return {{"uri", uri_of(found->path)}, {"range", {{"start", zero}, {"end", zero}}}};
    }
    if (found->declaration == nullptr) return nullptr;
    return location_of(*t->analysis, found->declaration->span);
}

std::optional<Server::Target> Server::document_target(const json& params) {
    json with_position = params;
    with_position["position"] = position_json({0, 0});
    return target(with_position);
}

json Server::document_symbols(const json& params) {
    const auto t = document_target(params);
    if (!t) return json::array();
    return outline(*t->analysis, t->files, [this, &t](const Span& span) {
        const auto& text = t->analysis->texts[static_cast<std::size_t>(span.file)];
        return text ? range_of(*text, span.begin, span.end) : json(nullptr);
    });
}

}  // namespace oxls
