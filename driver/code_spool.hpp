// Pass 1's code, written as it is counted, so that pass 2 can write the
// module without reading the source again. Values that pass 1 cannot know
// yet (the jump targets of blocks still open, the numbers of user functions
// defined further down) go in provisionally, and their places are marked to
// be filled in from what pass 1 recorded by the time it ends. Every code
// address is marked, since the code base is known only then too.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "codegen/blocks.hpp"
#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "symbols/name_table.hpp"

namespace oxbuild {

// A place of four code bytes to fill in: a block record's code address, or
// a call's kind and number words.
struct SpoolMark {
    enum Kind : std::uint8_t { block_start = 0, block_end = 1, block_chain = 2, call = 3 };
    static constexpr unsigned kKindBits = 2;

    std::uint32_t at = 0;       // code address of the first byte
    Kind kind = block_start;
    std::uint32_t subject = 0;  // record index, or function name
};
inline constexpr std::size_t kMarkedBytes = 4;
static_assert(SpoolMark::block_start == static_cast<std::uint8_t>(BlockAddress::start) &&
              SpoolMark::block_end == static_cast<std::uint8_t>(BlockAddress::end) &&
              SpoolMark::block_chain == static_cast<std::uint8_t>(BlockAddress::chain));

// Marks in code order, each kept in a few bytes: its distance from the one
// before, and its subject as a difference from the last subject of its kind
// (blocks are mostly marked near the record they name). The bytes go into
// chunks, each mark whole in one, written and read through plain pointers.
class SpoolMarks {
public:
    void add(const SpoolMark& mark);

    // Reads the marks in order.
    class Cursor {
    public:
        explicit Cursor(const SpoolMarks& marks) : marks_(&marks) { advance(); }
        bool done() const { return done_; }
        const SpoolMark& mark() const { return mark_; }
        void advance();

    private:
        std::uint64_t read_number();
        const SpoolMarks* marks_;
        std::size_t chunk_ = 0;  // the chunk next_ reads in
        const std::uint8_t* next_ = nullptr;
        const std::uint8_t* end_ = nullptr;
        std::array<std::uint32_t, 4> last_subject_{};
        SpoolMark mark_;
        bool done_ = false;
    };
    Cursor cursor() const { return Cursor(*this); }

private:
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t used = 0;
    };
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 16;
    // The most a mark takes: two numbers of up to 64 bits, seven bits a byte.
    static constexpr std::size_t kMostMarkBytes = 20;
    void start_chunk();
    // The bytes of chunk i that hold marks.
    std::size_t used_in(std::size_t i) const { return i + 1 == chunks_.size() ? static_cast<std::size_t>(next_ - chunks_[i].bytes.get()) : chunks_[i].used; }

    std::vector<Chunk> chunks_;
    std::uint8_t* next_ = nullptr;  // where the next mark goes in the last chunk
    std::uint8_t* end_ = nullptr;
    std::uint32_t last_at_ = 0;
    std::array<std::uint32_t, 4> last_subject_{};
};

class CodeSpool {
public:
    explicit CodeSpool(std::size_t memory_bound = ModuleStream::kSpoolMemory)
        : stream_(ModuleStream::spool(memory_bound)) {}

    ModuleStream& stream() { return *stream_; }
    std::int64_t written() const { return stream_->written(); }
    void mark_block_address(CodeAddress at, BlockIndex record, BlockAddress which) {
        mark(at, static_cast<SpoolMark::Kind>(which), record);
    }
    void mark_call(CodeAddress at, NameId function) { mark(at, SpoolMark::call, function); }

    const SpoolMarks& marks() const { return marks_; }
    // Whether the spool holds all of pass 1's code with every mark.
    bool complete() const { return !spoiled_ && !stream_->failed(); }

private:
    void mark(CodeAddress at, SpoolMark::Kind kind, std::uint32_t subject) {
        if (at < 0 || at > std::numeric_limits<std::uint32_t>::max()) spoiled_ = true;
        if (!spoiled_) marks_.add({static_cast<std::uint32_t>(at), kind, subject});
    }

    std::unique_ptr<ModuleStream> stream_;
    SpoolMarks marks_;
    bool spoiled_ = false;
};

}  // namespace oxbuild
