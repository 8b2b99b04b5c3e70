// The output sink: counting in pass 1, writing little-endian in pass 2.
#include <gtest/gtest.h>

#include "core/module_stream.hpp"
#include "core/sink.hpp"
#include "module/function_descriptors.hpp"
#include "support/test_support.hpp"

using namespace oxtest;
using oxbuild::FunctionDescriptors;
using oxbuild::ModuleStream;
using oxbuild::SpoolBuffers;
using oxbuild::Sink;

namespace {

constexpr int kCountingPass = 1;
constexpr int kWritingPass = 2;

// A sink attached to a fresh module file; bytes() closes it and reads it back.
class SinkOnFile {
public:
    explicit SinkOnFile(int pass) : path_(dir_ / "module.oxb"), stream_(ModuleStream::create(path_)) {
        sink.attach(stream_.get());
        sink.start_pass(pass);
    }
    Bytes bytes() {
        EXPECT_TRUE(stream_->close());
        return read_file(path_);
    }
    Sink sink;

private:
    TempDir dir_;
    std::string path_;
    std::unique_ptr<ModuleStream> stream_;
};

}  // namespace

TEST(Sink, Pass1CountsEveryOperationAndWritesNothing) {
    SinkOnFile f(kCountingPass);
    f.sink.set_code_base(0x120);
    f.sink.emit_word(0x21);
    f.sink.emit_dword(7);
    f.sink.emit_code_address(0x10);
    EXPECT_EQ(f.sink.counter(), 2 + 4 + 4);
    f.sink.emit_byte(0x41);
    EXPECT_EQ(f.sink.counter(), 11);
    const unsigned char data[] = {1, 2, 3, 4, 5};
    f.sink.emit_bytes(data, sizeof data);
    EXPECT_EQ(f.sink.counter(), 16);
    f.sink.emit_text("OXB ");
    EXPECT_EQ(f.sink.counter(), 20);
    f.sink.emit_text("");
    EXPECT_EQ(f.sink.counter(), 20);
    // A word above 0xFFFF still counts two bytes.
    f.sink.emit_word(0x12345);
    EXPECT_EQ(f.sink.counter(), 22);
    EXPECT_TRUE(f.bytes().empty());
}

TEST(Sink, Pass2WritesLittleEndianAndLeavesTheCounterAlone) {
    SinkOnFile f(kWritingPass);
    f.sink.set_code_base(0x120);
    f.sink.emit_byte(0x1FF);            // low 8 bits
    f.sink.emit_word(0x12345);          // low 16 bits, low byte first
    f.sink.emit_dword(0x11223344);
    f.sink.emit_dword(0xFFFFFFFF);
    f.sink.emit_code_address(0x10);     // plus the code base
    f.sink.emit_text("OXB ");
    f.sink.emit_text("");
    const unsigned char data[] = {0, 0x80, 0xFF};
    f.sink.emit_bytes(data, sizeof data);
    EXPECT_EQ(f.sink.counter(), 0);
    const Bytes expected = {0xFF,
                            0x45, 0x23,
                            0x44, 0x33, 0x22, 0x11,
                            0xFF, 0xFF, 0xFF, 0xFF,
                            0x30, 0x01, 0x00, 0x00,
                            'O', 'X', 'B', ' ',
                            0x00, 0x80, 0xFF};
    EXPECT_EQ(hex(f.bytes()), hex(expected));
}

TEST(Sink, ResettingTheCounterStartsAtZeroAgain) {
    SinkOnFile f(kCountingPass);
    f.sink.emit_dword(0);
    f.sink.reset_counter();
    EXPECT_EQ(f.sink.counter(), 0);
    f.sink.emit_word(0);
    EXPECT_EQ(f.sink.counter(), 2);
}

// A counting pass that writes to a spool counts what the spool took, and
// the count goes on across a change of the stream written to and starts
// again at zero when reset.
TEST(Sink, Pass1CountsWhatItSpoolsAcrossStreamChanges) {
    Sink sink;
    sink.start_pass(kCountingPass);
    sink.emit_word(1);  // counted before any spool
    const auto first = ModuleStream::spool();
    const auto second = ModuleStream::spool();
    sink.spool_into(first.get());
    sink.emit_dword(2);
    sink.emit_fields(oxbuild::FieldBytes<6>().word(3).dword(4));
    const unsigned char data[] = {5, 6, 7};
    sink.emit_bytes(data, sizeof data);
    sink.emit_in_place(2, [](unsigned char* at) { at[0] = at[1] = 8; });
    sink.emit_byte(9);
    EXPECT_EQ(sink.counter(), 2 + 4 + 6 + 3 + 2 + 1);
    sink.spool_into(second.get());
    sink.emit_word(10);
    EXPECT_EQ(sink.counter(), 20);
    sink.spool_into(nullptr);
    sink.emit_word(11);
    EXPECT_EQ(sink.counter(), 22);
    sink.spool_into(first.get());
    sink.reset_counter();
    EXPECT_EQ(sink.counter(), 0);
    sink.emit_word(12);
    EXPECT_EQ(sink.counter(), 2);
    sink.start_pass(kWritingPass);
    EXPECT_EQ(first->written(), 4 + 6 + 3 + 2 + 1 + 2);
    EXPECT_EQ(second->written(), 2);
}

TEST(Sink, ACodeAddressIsStoredAsAFileOffset) {
    // A jump to the first instruction of the code area holds the code base.
    SinkOnFile f(kWritingPass);
    f.sink.set_code_base(272);
    f.sink.emit_code_address(0);
    EXPECT_EQ(hex(f.bytes()), hex(ByteWriter().dword(272).get()));
}

// A spool hands back every byte in order, whether its buffers stayed in
// memory, went to the scratch file past the bound, or both, and whatever
// its buffers' sizes in each phase; the writes cross the buffers' ends at
// every growth step, and a large one goes around the buffer.
TEST(ModuleStream, ASpoolReadsBackWhatItWasGivenWhereverItKeptIt) {
    constexpr std::size_t kTotal = 5'000'000;  // past the largest buffer, several times
    constexpr SpoolBuffers kSmallOnly{1 << 16, 1 << 16, 1 << 16};
    const struct {
        std::size_t bound;
        SpoolBuffers buffers;
    } rows[] = {
        {0, ModuleStream::kCodeBuffers},         {100'000, ModuleStream::kCodeBuffers},
        {3'000'000, ModuleStream::kCodeBuffers}, {ModuleStream::kSpoolMemory, ModuleStream::kCodeBuffers},
        {100'000, FunctionDescriptors::kBuffers}, {FunctionDescriptors::kMemory, FunctionDescriptors::kBuffers},
        {300'000, kSmallOnly},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("memory bound " + std::to_string(row.bound) + ", buffers " + std::to_string(row.buffers.first) +
                     "/" + std::to_string(row.buffers.in_memory) + "/" + std::to_string(row.buffers.to_file));
        const auto spool = ModuleStream::spool(row.bound, row.buffers);
        Bytes given;
        for (std::uint32_t i = 0; given.size() < kTotal; ++i) {
            const auto byte = static_cast<unsigned char>(i * 7);
            if (i % 100'000 == 99'999) {
                const Bytes block(200'000, byte);  // larger than the first buffers
                spool->write(block.data(), block.size());
                given.insert(given.end(), block.begin(), block.end());
            } else if (i % 3 == 0) {
                spool->put_dword(i);
                for (int k = 0; k < 4; ++k) given.push_back(static_cast<unsigned char>(i >> (8 * k)));
            } else {
                spool->put(byte);
                given.push_back(byte);
            }
        }
        EXPECT_EQ(spool->written(), static_cast<std::int64_t>(given.size()));
        Bytes back;
        EXPECT_TRUE(spool->read_back([&](unsigned char* data, std::size_t size) { back.insert(back.end(), data, data + size); }));
        EXPECT_TRUE(back == given);
    }
}
