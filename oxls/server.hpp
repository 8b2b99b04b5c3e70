// The language server: JSON-RPC requests and notifications in, responses
// and published diagnostics out. Every open document is compiled by the
// real compiler when it changes (a burst of changes once); an include file
// that another open document includes is compiled as part of it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "oxls/analysis.hpp"
#include "oxls/hints.hpp"
#include "oxls/source_text.hpp"

namespace oxls {

using json = nlohmann::json;

// A request that cannot be done, and why (in the language chosen): its
// answer is an error with the reason.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Server {
public:
    // Each outgoing message body goes to send.
    // Messages are in English when OXBUILD_MESSAGES is "en", as for the
    // compiler, or when the client's initializationOptions say
    // {"messages": "en"}; in Japanese otherwise.
    explicit Server(std::function<void(const std::string&)> send, const char* messages_variable = nullptr);

    // One message body as it arrived.
    void receive(std::string_view body);
    // Compiles what changed and publishes the diagnostics that differ.
    void flush();

    bool exited() const { return exited_; }
    // The process status after "exit": 0 when "shutdown" came first.
    int exit_status() const { return shutdown_ ? 0 : 1; }

private:
    struct Document {
        std::string uri;
        std::string path;
        std::shared_ptr<const SourceText> text;
        bool dirty = true;
    };
    // Where a request points: the analysis that read the document, and
    // the document's file numbers and byte offset in it.
    struct Target {
        const Analysis* analysis;
        std::shared_ptr<const SourceText> text;
        std::vector<int> files;
        std::size_t offset;
        const Document* document;
    };

    void dispatch(const json& message);
    std::optional<json> request(const std::string& method, const json& params);
    void notification(const std::string& method, const json& params);
    void respond(const json& id, const json& result);
    void respond_error(const json& id, int code, const std::string& text);
    void notify(const std::string& method, json params);

    json initialize(const json& params);
    void did_open(const json& params);
    void did_change(const json& params);
    void did_close(const json& params);
    void mark_dirty(const std::string& uri);

    json completion(const json& params);
    json hover(const json& params);
    json signature_help(const json& params);
    json definition(const json& params);
    json document_symbols(const json& params);
    // requests.cpp: finding, renaming, showing, fixing and formatting.
    json references(const json& params);
    json document_highlight(const json& params);
    json prepare_rename(const json& params);
    json rename(const json& params);
    json workspace_symbol(const json& params);
    json semantic_tokens(const json& params);
    json folding_ranges(const json& params);
    json inlay_hints(const json& params);
    json code_action(const json& params);
    json formatting(const json& params);
    json range_formatting(const json& params);
    json capabilities_of_requests() const;
    json edits_to(const Analysis& a, const std::vector<std::pair<Span, std::string>>& edits) const;
    json text_edits(const SourceText& text, const std::string& old_cp932, const std::string& new_cp932) const;

    std::optional<Target> target(const json& params);
    // A request about a whole document (no position).
    std::optional<Target> document_target(const json& params);
    std::shared_ptr<const SourceText> text_of_path(const std::string& path);
    const Document* document_at(const std::string& path) const;
    std::string uri_of(const std::string& path) const;
    json range_of(const SourceText& text, std::size_t begin, std::size_t end) const;
    json location_of(const Analysis& a, const Span& span) const;
    void publish_diagnostics();
    json compiler_diagnostic(const Analysis& a, const SourceText& text, const Message& m) const;
    json hint_diagnostic(const SourceText& text, const Hint& h) const;
    json unmappable_diagnostic(const SourceText& text, std::size_t offset) const;

    std::function<void(const std::string&)> send_;
    oxbuild::MessageStyle messages_ = oxbuild::MessageStyle::utf8;
    bool stale_ = false;  // a document opened, changed or closed since the last flush
    PositionUnit unit_ = PositionUnit::utf16;
    bool snippets_ = false;  // the client takes completion items as snippets
    bool initialized_ = false;
    bool shutdown_ = false;
    bool exited_ = false;
    std::map<std::string, Document> documents_;     // by URI
    std::map<std::string, Analysis> analyses_;      // by the URI of the document compiled
    std::map<std::string, std::string> published_;  // URI -> diagnostics last sent
};

}  // namespace oxls
