#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Chunk {
    std::string tag;
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> Section(const std::vector<Chunk>& chunks)
{
    TavFileSaver saver;
    for (const Chunk& c : chunks) {
        saver.SaveTag(c.tag.c_str());
        saver.SaveBlockSize(static_cast<int>(c.payload.size()));
        saver.SaveDataToFile(c.payload.data(), static_cast<int>(c.payload.size()));
    }
    return saver.TakeBytes();
}

std::vector<uint8_t> Payload(TavFileLoader& loader)
{
    std::vector<uint8_t> out(static_cast<size_t>(loader.GetTagDataSize()));
    EXPECT_EQ(loader.CopyTagDataToPointer(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    return out;
}

TEST(ChunkSection, ChunkBytesAreTagLittleEndianSizeThenPayload)
{
    const std::vector<uint8_t> bytes = Section({{"BDAV", {1, 2, 3}}, {"TL", {}}});
    const std::vector<uint8_t> expected = {'B', 'D', 'A', 'V', 3, 0, 0, 0, 1, 2, 3, 'T', 'L', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bytes, expected);
}

TEST(ChunkSection, WholeChunkWritesTheSameBytesAsItsThreeSteps)
{
    TavFileSaver saver;
    saver.SaveChunk("BDAV", {1, 2, 3});
    saver.SaveChunk("TL", {});
    EXPECT_EQ(saver.TakeBytes(), Section({{"BDAV", {1, 2, 3}}, {"TL", {}}}));
}

TEST(ChunkSection, RoundTripOverRandomSectionsReadsEachTagInWrittenOrder)
{
    std::mt19937 rng(21);
    const char* tags[] = {"BDIC", "BDI2", "BDEG", "TLTL", "TLSS", "MXMT"};
    std::uniform_int_distribution<int> tagPick(0, 5), count(0, 30), size(0, 300), byte(0, 255);
    for (int round = 0; round < 100; ++round) {
        std::vector<Chunk> chunks;
        const int n = count(rng);
        for (int i = 0; i < n; ++i) {
            Chunk c{tags[tagPick(rng)], std::vector<uint8_t>(static_cast<size_t>(size(rng)))};
            for (uint8_t& b : c.payload)
                b = static_cast<uint8_t>(byte(rng));
            chunks.push_back(c);
        }
        TavFileLoader loader(Section(chunks));
        ASSERT_TRUE(loader.IsValid()) << loader.GetError();
        ASSERT_EQ(loader.GetChunks().size(), chunks.size());
        // Read tag by tag (not in file order): each tag's chunks come back in the order written.
        std::map<std::string, std::vector<std::vector<uint8_t>>> byTag;
        for (const Chunk& c : chunks)
            byTag[c.tag].push_back(c.payload);
        for (const char* tag : tags) {
            for (const auto& expected : byTag[tag]) {
                ASSERT_TRUE(loader.GetInfoIfTag(tag));
                EXPECT_EQ(loader.GetTagDataSize(), static_cast<int>(expected.size()));
                EXPECT_EQ(Payload(loader), expected);
            }
            EXPECT_FALSE(loader.GetInfoIfTag(tag)) << "every chunk of " << tag << " was read";
        }
    }
}

TEST(ChunkSection, TagAloneReadsAsEmptyChunkAndKeepsLaterChunks)
{
    TavFileSaver saver;
    saver.SaveTag("BDEG"); // no size, no data
    saver.SaveTag("BDEG");
    const uint8_t data[2] = {7, 9};
    saver.SaveTag("BDAV");
    saver.SaveBlockSize(2);
    saver.SaveDataToFile(data, 2);
    saver.SaveTag("BDUD"); // alone at the end
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.IsValid()) << loader.GetError();
    EXPECT_TRUE(loader.GetInfoIfTag("BDEG"));
    EXPECT_EQ(loader.GetTagDataSize(), 0);
    EXPECT_TRUE(loader.GetInfoIfTag("BDEG"));
    EXPECT_FALSE(loader.GetInfoIfTag("BDEG"));
    ASSERT_TRUE(loader.GetInfoIfTag("BDAV"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>({7, 9}));
    EXPECT_TRUE(loader.GetInfoIfTag("BDUD"));
    EXPECT_EQ(loader.GetTagDataSize(), 0);
}

TEST(ChunkSection, SizeGivenAfterTagAloneStillWritesOneChunk)
{
    TavFileSaver saver;
    saver.SaveTag("BDEG");
    saver.SaveBlockSize(0);
    saver.SaveTag("BDIC");
    saver.SaveBlockSize(1);
    const uint8_t one = 1;
    saver.SaveDataToFile(&one, 1);
    EXPECT_EQ(saver.GetBytes().size(), 8u + 9u);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.IsValid());
    EXPECT_EQ(loader.GetChunks().size(), 2u);
}

TEST(ChunkSection, ChunkSizeFollowsTheDataWrittenSoTheSectionAlwaysParses)
{
    TavFileSaver saver;
    EXPECT_FALSE(saver.SaveDataToFile("lost", 4)) << "data before any tag has no chunk";
    EXPECT_FALSE(saver.SaveBlockSize(4));
    EXPECT_TRUE(saver.GetBytes().empty());
    saver.SaveTag("LONG");
    saver.SaveBlockSize(10); // declares more than follows
    saver.SaveDataToFile("abc", 3);
    saver.SaveTag("TWOP");
    saver.SaveBlockSize(2);
    saver.SaveDataToFile("d", 1); // a payload written in two parts
    saver.SaveDataToFile("e", 1);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.IsValid()) << loader.GetError();
    ASSERT_TRUE(loader.GetInfoIfTag("LONG"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>({'a', 'b', 'c'}));
    ASSERT_TRUE(loader.GetInfoIfTag("TWOP"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>({'d', 'e'}));
}

TEST(ChunkSection, MissingTagGivesFalseAndHidesNoLaterChunk)
{
    TavFileLoader loader(Section({{"AAAA", {1}}, {"BBBB", {2}}, {"CCCC", {3}}}));
    ASSERT_TRUE(loader.GetInfoIfTag("CCCC"));
    EXPECT_FALSE(loader.GetInfoIfTag("ZZZZ"));
    EXPECT_EQ(loader.GetTagDataSize(), 0) << "no current chunk after a miss";
    uint8_t out = 0xEE;
    EXPECT_EQ(loader.CopyTagDataToPointer(&out, 1), 0);
    EXPECT_EQ(out, 0xEE);
    EXPECT_EQ(loader.GetTagData(), nullptr);
    // Earlier chunks are still there although a later one was read first.
    ASSERT_TRUE(loader.GetInfoIfTag("AAAA"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>{1});
    ASSERT_TRUE(loader.GetInfoIfTag("BBBB"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>{2});
    EXPECT_FALSE(loader.GetInfoIfTag(nullptr));
    EXPECT_FALSE(loader.GetInfoIfTag(""));
}

TEST(ChunkSection, ShortTagsArePaddedWithZerosAndLongTagsCut)
{
    TavFileLoader loader(Section({{"AB", {1}}, {"ABCDEFG", {2}}}));
    ASSERT_TRUE(loader.IsValid());
    EXPECT_EQ(std::memcmp(loader.GetChunks()[0].tag, "AB\0\0", 4), 0);
    EXPECT_EQ(std::memcmp(loader.GetChunks()[1].tag, "ABCD", 4), 0);
    ASSERT_TRUE(loader.GetInfoIfTag("AB"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>{1});
    ASSERT_TRUE(loader.GetInfoIfTag("ABCDXYZ"));
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>{2});
}

TEST(ChunkSection, EmptySectionIsValidAndHasNoChunks)
{
    TavFileLoader empty;
    EXPECT_TRUE(empty.IsValid());
    EXPECT_FALSE(empty.GetInfoIfTag("AAAA"));
    TavFileLoader parsed(std::vector<uint8_t>{});
    EXPECT_TRUE(parsed.IsValid());
    EXPECT_FALSE(parsed.GetInfoIfTag("AAAA"));
}

struct Corrupt {
    const char* what;
    std::vector<uint8_t> bytes;
};

class ChunkSectionRejects : public ::testing::TestWithParam<Corrupt> {};

TEST_P(ChunkSectionRejects, MalformedSectionAndOffersNoChunk)
{
    TavFileLoader loader(GetParam().bytes);
    EXPECT_FALSE(loader.IsValid());
    EXPECT_FALSE(loader.GetError().empty());
    EXPECT_TRUE(loader.GetChunks().empty());
    EXPECT_FALSE(loader.GetInfoIfTag("AAAA"));
    EXPECT_FALSE(loader.GetInfoIfTag("BBBB"));
    std::vector<TavFileLoader::ChunkInfo> chunks;
    std::string error;
    EXPECT_FALSE(TavFileLoader::ParseChunks(GetParam().bytes, chunks, &error));
    EXPECT_FALSE(error.empty());
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(Cases, ChunkSectionRejects,
                         ::testing::Values(Corrupt{"TagOnly", {'A', 'A', 'A', 'A'}},
                                           Corrupt{"CutSize", {'A', 'A', 'A', 'A', 1, 0}}, Corrupt{"OneByte", {'A'}},
                                           Corrupt{"PayloadCutShort", {'A', 'A', 'A', 'A', 4, 0, 0, 0, 1, 2, 3}},
                                           Corrupt{"SizeAllOnes", {'A', 'A', 'A', 'A', 0xFF, 0xFF, 0xFF, 0xFF, 1}},
                                           Corrupt{"SizeSignBit", {'A', 'A', 'A', 'A', 0, 0, 0, 0x80, 1}},
                                           Corrupt{"GoodChunkThenCut", Concat(Section({{"AAAA", {1, 2}}}), {'B', 'B'})},
                                           Corrupt{"GoodChunkThenOversize", Concat(Section({{"AAAA", {1, 2}}}),
                                                                                   {'B', 'B', 'B', 'B', 9, 0, 0, 0})}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(ChunkSection, BoundedCopyNeverWritesPastItsLimit)
{
    std::vector<uint8_t> big(100);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i + 1);
    TavFileLoader loader(Section({{"BIGG", big}, {"TINY", {0xAB, 0xCD}}, {"NONE", {}}}));
    constexpr size_t kGuard = 32;
    for (int limit : {0, 1, 4, 16, 99, 100, 101, 1000}) {
        std::vector<uint8_t> buffer(kGuard + 1000 + kGuard, 0x5A);
        uint8_t* dest = buffer.data() + kGuard;
        ASSERT_TRUE(loader.GetInfoIfTag("BIGG"));
        const int copied = loader.CopyTagDataToPointer(dest, limit);
        EXPECT_EQ(copied, std::min(limit, 100));
        for (int i = 0; i < copied; ++i)
            ASSERT_EQ(dest[i], static_cast<uint8_t>(i + 1));
        for (size_t i = 0; i < buffer.size(); ++i) {
            if (i < kGuard || i >= kGuard + static_cast<size_t>(copied)) {
                ASSERT_EQ(buffer[i], 0x5A) << "limit " << limit << " touched byte " << i;
            }
        }
        // Rewind by reparsing, so the same chunk can be read again.
        loader = TavFileLoader(Section({{"BIGG", big}, {"TINY", {0xAB, 0xCD}}, {"NONE", {}}}));
    }
    // Negative limits and a null destination copy nothing.
    ASSERT_TRUE(loader.GetInfoIfTag("BIGG"));
    uint8_t guard[4] = {1, 2, 3, 4};
    EXPECT_EQ(loader.CopyTagDataToPointer(guard, -5), 0);
    EXPECT_EQ(loader.CopyTagDataToPointer(nullptr, 10), 0);
    EXPECT_EQ(guard[0], 1);

    // A value copy takes at most sizeof the value; a shorter chunk leaves the rest as it was.
    uint32_t value = 0x11223344;
    ASSERT_TRUE(loader.GetInfoIfTag("TINY"));
    EXPECT_EQ(loader.CopyTagData(value), 2);
    EXPECT_EQ(value, 0x1122CDABu);
    struct Pair {
        uint8_t first;
        uint8_t second;
    } pair{9, 9};
    loader = TavFileLoader(Section({{"BIGG", big}}));
    ASSERT_TRUE(loader.GetInfoIfTag("BIGG"));
    EXPECT_EQ(loader.CopyTagData(pair), 2);
    EXPECT_EQ(pair.first, 1);
    EXPECT_EQ(pair.second, 2);
}

TEST(ChunkSection, SaverRefusesNegativeSizesAndMissingData)
{
    TavFileSaver saver;
    saver.SaveTag("AAAA");
    EXPECT_FALSE(saver.SaveBlockSize(-1));
    EXPECT_FALSE(saver.SaveDataToFile(nullptr, 3));
    EXPECT_FALSE(saver.SaveDataToFile("abc", -1));
    EXPECT_TRUE(saver.SaveDataToFile(nullptr, 0));
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.IsValid()) << loader.GetError();
    ASSERT_TRUE(loader.GetInfoIfTag("AAAA"));
    EXPECT_EQ(loader.GetTagDataSize(), 0);
}

TEST(ChunkSection, TakeBytesStartsAFreshSection)
{
    TavFileSaver saver;
    saver.SaveTag("AAAA");
    const std::vector<uint8_t> first = saver.TakeBytes();
    EXPECT_EQ(first, std::vector<uint8_t>({'A', 'A', 'A', 'A', 0, 0, 0, 0}));
    EXPECT_TRUE(saver.GetBytes().empty());
    // Calls after the take belong to the new section: they must not reach into the old bytes.
    saver.SaveBlockSize(5);
    saver.SaveDataToFile("zz", 2);
    saver.SaveTag("BBBB");
    saver.SaveBlockSize(1);
    saver.SaveDataToFile("x", 1);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.GetInfoIfTag("BBBB")) << loader.GetError();
    EXPECT_EQ(Payload(loader), std::vector<uint8_t>{'x'});
}

} // namespace
