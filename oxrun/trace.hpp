// The trace of a run: one line per event call and one per standard-function
// call, plain text that authors read and diff.
//
//   OnClick(10, 20, 1)                      an event, its arguments
//     MessageBox("Reset?", 4, &answer=6)    a call: by-value arguments as
//                                           passed, by-reference ones as the
//                                           variable's name and its value after
//     -> &result=1                          what a by-reference event
//                                           parameter holds when the handler ends
//   OnDblClick(1, 2, 0) no handler
//   prog.oxs(5): runtime error: ...         in a test's trace, how a run
//   refused: ...                            ended that did not end normally
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "oxrun/machine.hpp"

namespace oxrun {

// "  Name(arguments)" of a standard-function call, after it ran.
std::string call_line(std::string_view name, std::span<const HostArg> args);
// "Name(arguments)" of an event, its by-reference parameter (if it has
// one) by name; with_handler false adds " no handler".
std::string event_line(std::string_view name, std::span<const std::int32_t> values, std::string_view reference_name,
                       bool with_handler);
// "  -> &name=value": an event's by-reference parameter after its handler.
std::string result_line(std::string_view name, std::int32_t value);
// A str value in a trace or a script: double-quoted UTF-8 with escapes.
std::string quoted(std::string_view cp932);

// Where the run stands in the source, for trace lines that name it.
class Locator {
public:
    virtual std::string place() const = 0;

protected:
    ~Locator() = default;
};

// Where trace lines go, in order. With a locator, each line ends in
// "  # file(line)" of the instruction that made it (when it has a place).
class Trace {
public:
    explicit Trace(std::ostream& out) : out_(out) {}
    void locate(const Locator* locator) { locator_ = locator; }
    void line(const std::string& text) {
        out_ << text;
        if (locator_ != nullptr) append_place();
        out_ << '\n';
    }

private:
    void append_place();
    std::ostream& out_;
    const Locator* locator_ = nullptr;
};

}  // namespace oxrun
