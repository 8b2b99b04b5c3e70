// The debug adapter: oxrun --dap speaks the Debug Adapter Protocol on
// standard input and output, in the base protocol's Content-Length frames.
// One program is launched (a source, with an optional script) and runs
// under the debugger (debugger.hpp); every bad request gets an error
// response and the adapter goes on.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace oxrun {

// Where request bodies come from.
class MessageSource {
public:
    // The next body, waiting for it; nullopt at the input's end.
    virtual std::optional<std::string> next() = 0;
    // The next body if one has come; never waits.
    virtual std::optional<std::string> next_if_waiting() = 0;

protected:
    ~MessageSource() = default;
};

// Serves requests from in until disconnect or the end of the input; each
// message body out goes to send. Returns the exit status.
int serve_debug_adapter(MessageSource& in, const std::function<void(const std::string&)>& send);

// The adapter on standard input and output.
int run_debug_adapter();

}  // namespace oxrun
