#include "driver/command_line.hpp"

#include <new>
#include <optional>

#include "driver/compiler.hpp"
#include "core/fatal.hpp"
#include "platform/file_names.hpp"
#include "driver/pass.hpp"
#include "driver/spooled_pass.hpp"
#include "core/text_encoding.hpp"

namespace oxbuild {

namespace {

constexpr std::string_view kSourceExtension = "oxs";
constexpr std::string_view kModuleExtension = "oxb";
constexpr std::size_t kMaxSourceName = 383;
constexpr char kFatalLine[] = "   Fatal Error\n";
constexpr char kResultIndent[] = "   ";

class DriverOutput {
public:
    DriverOutput(std::ostream& out, MessageStyle style) : out_(out), style_(style) {}
    void line(const Message& m) { out_ << text(m) << '\n'; }
    std::string_view text(const Message& m) const { return text_in(m, style_); }
    std::string name(const std::string& cp932) const { return name_in(cp932, style_); }
    std::ostream& out() { return out_; }

private:
    std::ostream& out_;
    MessageStyle style_;
};

struct FileNames {
    std::string source;  // as the messages print it
    std::string module;
};

// Reads the arguments; prints the failure and gives its status when they
// name no single source.
std::optional<FileNames> parse_arguments(const std::vector<std::string>& args, DriverOutput& out, int& status) {
    std::optional<std::string> source_arg;
    for (const std::string& arg : args) {
        if (platform::is_option(arg)) continue;  // options have no effect
        if (source_arg) {
            out.line(msg::bad_parameters);
            status = kExitFailure;
            return std::nullopt;
        }
        source_arg = arg;
    }
    if (!source_arg) {
        out.line(msg::no_file_given);
        status = kExitFailure;
        return std::nullopt;
    }
    FileNames names;
    names.source = add_default_extension(*source_arg, kSourceExtension);
    if (names.source.size() > kMaxSourceName) {
        out.line(msg::bad_parameters);
        status = kExitFailure;
        return std::nullopt;
    }
    names.module = replace_extension(names.source, kModuleExtension);
    return names;
}

int fatal(DriverOutput& out, std::unique_ptr<ModuleStream>& module, const std::string& module_path) {
    module.reset();
    platform::remove_file(module_path);
    out.out() << kFatalLine;
    return kExitFailure;
}

// The module is complete: its dependency file when one is asked for, then
// the created line. Without its dependency file the build is not complete,
// so the module goes too, and a build tool makes it again.
int created(DriverOutput& out, const std::string& module_name, const std::string& module_path,
            const DriverOptions& options, const InputFiles& inputs, platform::InterruptCleanup& unfinished_module) {
    const std::string& depfile = options.dependency_file;
    if (!depfile.empty() && !write_dependency_file(depfile, module_path, inputs)) {
        platform::remove_file(module_path);
        out.out() << out.text(msg::depfile_not_written) << ": " << out.name(depfile) << '\n';
        return kExitFailure;
    }
    unfinished_module.disarm();
    out.out() << kResultIndent << out.name(module_name) << " created\n";
    return kExitSuccess;
}

}  // namespace

MessageStyle message_style(const char* value) {
    if (value == nullptr) return MessageStyle::cp932;
    if (equal_ignoring_ascii_case(value, "utf-8")) return MessageStyle::utf8;
    if (equal_ignoring_ascii_case(value, "en")) return MessageStyle::english;
    return MessageStyle::cp932;
}

int run_compiler(const std::vector<std::string>& args, std::ostream& os, const DriverOptions& options) {
    DriverOutput out(os, options.messages);
    os << kBanner;
    if (args.empty()) {
        os << kUsage;
        return kExitSuccess;
    }
    int status = kExitSuccess;
    const auto names = parse_arguments(args, out, status);
    if (!names) return status;

    // No working directory of any drive is changed, so the module is deleted
    // by the very name it was created by.
    const std::string source_path = platform::system_name(names->source);
    const std::string module_path = platform::system_name(names->module);
    const auto source = SourceStream::open(source_path);
    if (!source) {
        out.line(msg::source_not_found);
        return kExitFailure;
    }
    // Opening the module would empty a source that is its own module.
    if (source->same_file_as(module_path)) {
        out.line(msg::module_not_opened);
        return kExitFailure;
    }
    // Until the run has made the module whole, an interrupt deletes it.
    platform::InterruptCleanup unfinished_module;
    std::unique_ptr<ModuleStream> module;
    if (!unfinished_module.arm_for(module_path, [&] { return (module = ModuleStream::create(module_path)) != nullptr; })) {
        out.line(msg::module_not_opened);
        return kExitFailure;
    }

    Compiler c(os, options.messages);
    c.main_source = source.get();
    c.main_source_name = names->source;
    c.module = module.get();
    c.sink.attach(module.get());
    c.base_dir = platform::source_directory(source_path);
    c.run.inputs.add(source_path);
    try {
        compile_passes(c, *source);
    } catch (const FatalStop&) {
        return fatal(out, module, module_path);
    } catch (const std::bad_alloc&) {
        return fatal(out, module, module_path);
    }
    const bool written = module->close();
    const int errors = c.diag.error_count();
    if (errors == 0 && !written) return fatal(out, module, module_path);
    if (errors == 0) return created(out, names->module, module_path, options, c.run.inputs, unfinished_module);
    module.reset();
    platform::remove_file(module_path);
    os << kResultIndent << errors << out.text(msg::error_count_suffix) << '\n';
    return kExitSourceErrors;
}

}  // namespace oxbuild
