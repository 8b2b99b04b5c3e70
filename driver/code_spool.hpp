// Pass 1's code, written as it is counted, so that pass 2 can write the
// module without reading the source again. Values that pass 1 cannot know
// yet (the jump targets of blocks still open, the numbers of user functions
// defined further down) go in provisionally, and their places are marked to
// be filled in from what pass 1 recorded by the time it ends. Every code
// address is marked, since the code base is known only then too.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "codegen/blocks.hpp"
#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "symbols/name_table.hpp"

namespace oxbuild {

// A place of four code bytes to fill in: a code address, known once the
// function that holds it has closed and kept relative to the code base, or
// a call's kind and number words.
struct SpoolMark {
    enum Kind : std::uint8_t { address = 0, call = 1 };
    static constexpr unsigned kKindBits = 1;

    std::uint32_t at = 0;  // code address of the first byte
    Kind kind = address;
    std::uint32_t value = 0;  // the code address, or the function's name
};
inline constexpr std::size_t kMarkedBytes = 4;

// Marks in code order, each kept in eight bytes: the first byte's code
// address with the kind in its top bit, and the value. Read back as two
// loads, with nothing to take apart. The bytes go to a spool of their own,
// so that past its memory bound they wait in a scratch file.
class SpoolMarks {
public:
    explicit SpoolMarks(std::size_t memory_bound = kMemory)
        : bytes_(ModuleStream::spool(memory_bound, {kBuffer, kBuffer, kBuffer})) {}
    static constexpr std::size_t kMemory = std::size_t{1} << 18;
    static constexpr std::size_t kBuffer = std::size_t{1} << 16;
    // The largest code address a mark holds: the top bit is the kind's.
    static constexpr std::uint32_t kLargestAt = 0x7FFFFFFF;

    // mark.at is at most kLargestAt.
    void add(const SpoolMark& mark) {
        std::uint8_t* const at = bytes_->room(kMarkBytes);
        store_field<4>(at, mark.at | static_cast<std::uint32_t>(mark.kind) << kKindShift);
        store_field<4>(at + 4, mark.value);
        bytes_->taken(kMarkBytes);
    }
    bool failed() const { return bytes_->failed(); }

    // Reads the marks in order, once: the bytes kept in memory are freed
    // as they are read.
    class Cursor {
    public:
        explicit Cursor(SpoolMarks& marks) : pieces_(*marks.bytes_) { advance(); }
        bool done() const { return done_; }
        // Whether the bytes could not all be read back.
        bool failed() const { return pieces_.failed(); }
        const SpoolMark& mark() const { return mark_; }
        // Inline: every mark comes here, mostly lying whole in its piece.
        void advance() {
            if (static_cast<std::size_t>(end_ - next_) >= kMarkBytes) [[likely]]
                read_in_piece();
            else
                advance_across_pieces();
        }

    private:
        // Reads a whole mark from where it lies in one piece.
        void read_in_piece() {
            const std::uint32_t first = load_dword(next_);
            mark_.at = first & kLargestAt;
            mark_.kind = static_cast<SpoolMark::Kind>(first >> kKindShift);
            mark_.value = load_dword(next_ + 4);
            next_ += kMarkBytes;
        }
        // A mark may go on in the next piece: it is put together byte by
        // byte.
        void advance_across_pieces();
        bool next_byte(std::uint8_t& byte);
        ModuleStream::Pieces pieces_;
        const std::uint8_t* next_ = nullptr;
        const std::uint8_t* end_ = nullptr;
        SpoolMark mark_;
        bool done_ = false;
    };
    Cursor cursor() { return Cursor(*this); }

private:
    static constexpr std::size_t kMarkBytes = 8;
    static constexpr unsigned kKindShift = 31;
    static_assert(SpoolMark::kKindBits == 1 && kLargestAt >> kKindShift == 0);

    std::unique_ptr<ModuleStream> bytes_;
};

class CodeSpool {
public:
    explicit CodeSpool(std::size_t memory_bound = ModuleStream::kSpoolMemory,
                       std::size_t marks_memory = SpoolMarks::kMemory)
        : stream_(ModuleStream::spool(memory_bound)), marks_(marks_memory) {}

    ModuleStream& stream() { return *stream_; }
    std::int64_t written() const { return stream_->written(); }
    // The marks of the function being compiled wait for it to close, when
    // its blocks' addresses are known.
    void mark_block_address(CodeAddress at, BlockIndex record, BlockAddress which) {
        waiting_.push_back({at, record, static_cast<std::uint8_t>(which), false});
    }
    void mark_call(CodeAddress at, NameId function) { waiting_.push_back({at, function, 0, true}); }
    // Fills in the waiting marks from the block records, whose addresses
    // are final once no block is open.
    void close_function(const BlockRecords& blocks) {
        if (!waiting_.empty()) fill_in_all(blocks);
    }
    // The same for the marks that waited before the last block in the
    // function body closed, as the next one closes: an elseif or else
    // changes only the addresses of the block closed right before it.
    // They are filled in some at a time.
    void close_body_block(const BlockRecords& blocks) {
        const std::size_t ready = settle_final();
        if (ready - filled_ >= kFillAtOnce) [[unlikely]] fill_in_ready(blocks, ready);
    }
    // The same, filling in all those marks now: the block records before
    // this block are to go.
    void close_body_block_filling_in(const BlockRecords& blocks) { fill_in_ready(blocks, settle_final()); }

    SpoolMarks& marks() { return marks_; }
    // Whether the spool holds all of pass 1's code with every mark.
    bool complete() const { return !spoiled_ && !stream_->failed() && !marks_.failed() && filled_ == waiting_.size(); }

private:
    struct Waiting {
        CodeAddress at;
        std::uint32_t subject;  // record index, or function name
        std::uint8_t which;     // a BlockAddress
        bool call;
    };
    // Makes every mark waiting now final for the next body block's close,
    // and returns how many were final before.
    std::size_t settle_final() { return std::exchange(final_, waiting_.size()); }
    // Fills in the waiting marks from filled_ up to end.
    void fill_in(const BlockRecords& blocks, std::size_t end);
    // Fills in the waiting marks up to ready and lets them go.
    void fill_in_ready(const BlockRecords& blocks, std::size_t ready);
    void fill_in_all(const BlockRecords& blocks);
    static constexpr std::size_t kFillAtOnce = 256;

    std::unique_ptr<ModuleStream> stream_;
    SpoolMarks marks_;
    std::vector<Waiting> waiting_;
    std::size_t filled_ = 0;  // the waiting marks filled in already
    std::size_t final_ = 0;   // the waiting marks that close_body_block may fill in
    bool spoiled_ = false;
};

}  // namespace oxbuild
