// Byte-exact checks of every message the program builds or recognises.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysexCatalogue.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace orx::sysex {
namespace {

using B = std::vector<std::uint8_t>;

template <typename C> B bytes(const C& c)
{
    return B(std::begin(c), std::end(c));
}

TEST(Catalogue, DumpRequestForTypeSevenNamesTheSecondChannelsThirdSlot)
{
    const B expected{
        0xF0, 0x43, 0x7D,      // start, header
        0x20,                  // dump request, device 0
        'X',  'Q',  'V',  '2', // tag
        'F',  'H',  'R',  '2', // FIR header, right channel (II), slot 7 - 5
        0xF7,
    };
    EXPECT_EQ(bytes(dumpRequest(7)), expected);
}

TEST(Catalogue, DumpRequestBlockNamesForEveryType)
{
    const char* names[kDumpTypeCount] = {"FHL0", "FHL1", "FHL2", "FHL3", "FHL4", "FHR0",
                                         "FHR1", "FHR2", "FHR3", "FHR4", "UTIL"};
    for (int type = 0; type < kDumpTypeCount; ++type) {
        const auto m = dumpRequest(type);
        EXPECT_EQ(std::string(m.begin() + 8, m.begin() + 12), names[type]) << "type " << type;
        // The amplifier's side must read back the same type.
        EXPECT_EQ(parseDumpRequest(m.data(), m.size()), type);
    }
}

TEST(Catalogue, ChecksumOfTheWorkedExample)
{
    const std::uint8_t counted[] = {0x01, 0x02, 0x7F}; // sum 0x82
    EXPECT_EQ(checksum(counted, 3), 0x7E);
}

TEST(Catalogue, PackingOfTheWorkedExample)
{
    const std::uint8_t in[] = {0x80, 0x01, 0xFF, 0x00, 0x7F, 0x80, 0x02};
    std::uint8_t out[8] = {};
    ASSERT_EQ(pack7(in, 7, out), 8u);
    // Low seven bits of each byte, then the top bits: b0 -> bit 6 ... b6 -> bit 0.
    EXPECT_EQ(bytes(out), (B{0x00, 0x01, 0x7F, 0x00, 0x7F, 0x00, 0x02, 0x52}));
}

TEST(Catalogue, UnpackReversesPackForEveryLength)
{
    std::mt19937 rng(7);
    for (std::size_t size : {0u, 1u, 6u, 7u, 8u, 130u, 448u}) {
        B payload(size);
        for (auto& b : payload)
            b = static_cast<std::uint8_t>(rng());
        B packed(packedLength(size));
        ASSERT_EQ(pack7(payload.data(), size, packed.data()), packed.size());
        for (auto b : packed)
            ASSERT_LT(b, 0x80) << "packed bytes must be MIDI data bytes";
        B back(packed.size() / 8 * 7);
        unpack7(packed.data(), packed.size(), back.data());
        // The zero fill of the last group comes back as zeros.
        B expected = payload;
        expected.resize(back.size(), 0);
        EXPECT_EQ(back, expected) << "size " << size;
    }
}

TEST(Catalogue, FourteenBitGains)
{
    struct Case {
        std::uint16_t value;
        std::uint8_t high, low;
    } cases[] = {{0x3FFF, 0x7F, 0x7F}, {5181, 0x28, 0x3D}, {0, 0, 0}, {128, 1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(encode14(c.value), (std::array<std::uint8_t, 2>{c.high, c.low})) << c.value;
        EXPECT_EQ(decode14(c.high, c.low), c.value);
    }
    // Stray top bits of received data bytes are not part of the value.
    EXPECT_EQ(decode14(0xFF, 0xFF), 0x3FFF);
}

TEST(Catalogue, GainWriteOfChannelTwo)
{
    const auto gain = encode14(0x3FFF);
    const B expected{0xF0, 0x43, 0x7D, 0x10, // parameter, device 0
                     'X',  '2',              // parameter tag
                     0x04, 0x06,             // FIR group, gain of amp channel II
                     0x7F, 0x7F,             // 0x3FFF, high seven bits first
                     0xF7};
    EXPECT_EQ(bytes(parameterMessage(param::kGroupFIR, param::kGainChannel2, gain[0], gain[1])), expected);
}

TEST(Catalogue, HeartbeatAndUpdaterRequests)
{
    EXPECT_EQ(bytes(heartbeatRequest()), (B{0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x70, 0x01, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(bytes(updaterRequest()), (B{0xF0, 0x43, 0x7D, 0x10, 'X', '2', 0x70, 0x21, 0x00, 0x00, 0xF7}));
}

TEST(Catalogue, EffectParameterNumbersOfBothChannels)
{
    EXPECT_EQ(param::effectParameter(1, 0), 0x01);
    EXPECT_EQ(param::effectParameter(4, 0), 0x04);
    EXPECT_EQ(param::effectParameter(1, 1), 0x09);
    EXPECT_EQ(param::effectParameter(3, 1), 0x0B);
}

TEST(Catalogue, FullFIRBlockIs532Bytes)
{
    B payload(kFIRBlockPayload);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i & 0xFF);
    const B m = firDataBlock(3, 1, payload.data(), payload.size());
    ASSERT_EQ(m.size(), 532u);
    const B head{0xF0, 0x43, 0x7D, 0x00,                                 // bulk/FIR data, device 0
                 0x04, 0x0C,                                             // count 524 = 12 + 512 packed bytes
                 'X',  'Q',  'V',  '2',  'F', 'I', 'R', 'C', 0x00, 0x03, // block 3
                 0x00, 0x01};                                            // amp channel II
    EXPECT_EQ(B(m.begin(), m.begin() + 18), head);
    // First group: bytes 0..6 have no top bits.
    EXPECT_EQ(B(m.begin() + 18, m.begin() + 26), (B{0, 1, 2, 3, 4, 5, 6, 0x00}));
    // Group 18 holds payload 126..132 = 7E 7F 80 81 82 83 84: the last five carry a top bit.
    EXPECT_EQ(B(m.begin() + 18 + 18 * 8, m.begin() + 18 + 19 * 8), (B{0x7E, 0x7F, 0, 1, 2, 3, 4, 0x1F}));
    EXPECT_EQ(m[530], 0x09); // checksum over bytes 6..529, computed independently
    EXPECT_EQ(m[531], 0xF7);
}

TEST(Catalogue, LastFIRBlockIs172BytesWithThreeFillBytes)
{
    B payload(kFIRLastBlockPayload);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 37 + 5);
    const B m = firDataBlock(9, 0, payload.data(), payload.size());
    ASSERT_EQ(m.size(), 172u);
    EXPECT_EQ(m[4], 0x01); // count 164 = 12 + 152 packed bytes
    EXPECT_EQ(m[5], 0x24);
    EXPECT_EQ(m[14], 0x00); // block 9
    EXPECT_EQ(m[15], 0x09);
    EXPECT_EQ(m[16], 0x00); // amp channel I
    EXPECT_EQ(m[17], 0x00);
    // Last group: payload 126..129 = 3B 60 85 AA, then three zero fill bytes; top bits of 85 and AA.
    EXPECT_EQ(B(m.end() - 10, m.end()), (B{0x3B, 0x60, 0x05, 0x2A, 0x00, 0x00, 0x00, 0x18, /*checksum*/ 0x25, 0xF7}));
}

TEST(Catalogue, FIRBlockOffsetsCoverTheWholeImage)
{
    std::size_t covered = 0;
    for (int b = 0; b < static_cast<int>(kFIRBlockCount); ++b) {
        EXPECT_EQ(firBlockOffset(b), covered);
        covered += firBlockPayloadSize(b);
    }
    EXPECT_EQ(covered, kFIRRecordSize);
}

TEST(Catalogue, FIRBlockParsesBackOnTheAmplifiersSide)
{
    B payload(kFIRBlockPayload, 0xA5);
    B m = firDataBlock(4, 1, payload.data(), payload.size());
    auto block = parseFIRDataBlock(m.data(), m.size());
    ASSERT_TRUE(block);
    EXPECT_EQ(block->blockNumber, 4);
    EXPECT_EQ(block->ampCh, 1);
    EXPECT_TRUE(block->checksumOk);
    EXPECT_EQ(B(block->payload.begin(), block->payload.begin() + 448), payload);

    m[100] ^= 0x01; // one flipped data bit
    block = parseFIRDataBlock(m.data(), m.size());
    ASSERT_TRUE(block);
    EXPECT_FALSE(block->checksumOk);
    EXPECT_FALSE(parseFIRDataBlock(m.data(), m.size() - 1)) << "length must agree with the count";
}

TEST(Catalogue, HeartbeatOfModelOne)
{
    const B m{0xF0, 0x43, 0x7D, 0x60, 'X', 'Q', 'V', '1', 0xF7};
    EXPECT_EQ(heartbeat('1'), m);
    EXPECT_EQ(parseHeartbeat(m.data(), m.size()), '1');

    B otherDevice = m;
    otherDevice[3] = 0x6A; // the device number is not examined
    EXPECT_EQ(parseHeartbeat(otherDevice.data(), otherDevice.size()), '1');

    B badModel = m;
    badModel[7] = '3';
    EXPECT_FALSE(parseHeartbeat(badModel.data(), badModel.size()));
    EXPECT_FALSE(parseHeartbeat(m.data(), 8)) << "eight bytes are never a message";
}

TEST(Catalogue, EffectAndHeaderDumpsAreRecognisedAndSumToZero)
{
    EffectData effect;
    for (std::size_t i = 0; i < effect.bytes.size(); ++i)
        effect.bytes[i] = static_cast<std::uint8_t>(i);
    const B e = effectDataDump(effect);
    ASSERT_EQ(e.size(), kEffectDumpLength);
    EXPECT_EQ(B(e.begin(), e.begin() + 18),
              (B{0xF0, 0x43, 0x7D, 0x00, 0x00, 0x1C, 'X', 'Q', 'V', '2', 'U', 'T', 'I', 'L', 0, 0, 0x7F, 0x7F}));
    EXPECT_EQ(B(e.begin() + 18, e.begin() + 34), B(effect.bytes.begin(), effect.bytes.end()));
    EXPECT_TRUE(checksumMatches(e.data(), e.size(), 34));
    EXPECT_EQ(recogniseBulkDump(e.data(), e.size()), kDumpTypeEffectData);

    std::array<std::uint8_t, kIrNameLength> name{'C', 'a', 'b'};
    const B h = firHeaderDump(8, name, 5181);
    ASSERT_EQ(h.size(), kFIRHeaderDumpLength);
    EXPECT_EQ(B(h.begin() + 4, h.begin() + 16), (B{0x00, 0x4E, 'X', 'Q', 'V', '2', 'F', 'H', 'R', '3', 0, 0}));
    EXPECT_EQ(h[82], 0x28);
    EXPECT_EQ(h[83], 0x3D);
    EXPECT_TRUE(checksumMatches(h.data(), h.size(), 84));
    EXPECT_EQ(recogniseBulkDump(h.data(), h.size()), 8);
}

TEST(Catalogue, BulkDumpRecognitionRules)
{
    const B util = effectDataDump(EffectData{});
    const B header = firHeaderDump(2, {}, 0);
    struct Case {
        const char* what;
        B message;
        std::size_t index;
        std::uint8_t value;
        std::optional<int> expected;
    } cases[] = {
        {"effect data as built", util, 0, 0xF0, kDumpTypeEffectData},
        {"byte 16 not 0x7F", util, 16, 0x00, std::nullopt},
        {"byte 17 not 0x7F", util, 17, 0x7E, std::nullopt},
        {"byte 14 not 0", util, 14, 0x01, std::nullopt},
        {"effect data with the header count", util, 5, kFIRHeaderDumpCount, std::nullopt},
        {"count high byte set", util, 4, 0x01, std::nullopt},
        {"tag broken", util, 9, '3', std::nullopt},
        {"FIR header left 2", header, 0, 0xF0, 2},
        {"FIR header right 2", header, 12, 'R', 7},
        {"slot digit 5 does not exist", header, 13, '5', std::nullopt},
        {"neither L nor R", header, 12, 'M', std::nullopt},
        {"header with the effect count", header, 5, kEffectDumpCount, std::nullopt},
        {"byte 15 not 0", header, 15, 0x02, std::nullopt},
        {"bytes 16, 17 of a header are not examined", header, 16, 0x55, 2},
    };
    for (const auto& c : cases) {
        B m = c.message;
        m[c.index] = c.value;
        EXPECT_EQ(recogniseBulkDump(m.data(), m.size()), c.expected) << c.what;
    }
    // A message that ends before byte 18 cannot be read for its type.
    EXPECT_FALSE(recogniseBulkDump(util.data(), 17));
}

TEST(Catalogue, ParameterParsing)
{
    const auto m = parameterMessage(0x04, 0x42, 1, 0);
    const auto p = parseParameter(m.data(), m.size());
    ASSERT_TRUE(p);
    EXPECT_EQ(p->group, 0x04);
    EXPECT_EQ(p->parameter, 0x42);
    EXPECT_EQ(p->data1, 1);
    EXPECT_EQ(p->data2, 0);

    B wrongTag = bytes(m);
    wrongTag[5] = '3';
    EXPECT_FALSE(parseParameter(wrongTag.data(), wrongTag.size()));
    EXPECT_FALSE(parseParameter(m.data(), 9)) << "data 2 would lie past the end";
}

} // namespace
} // namespace orx::sysex
