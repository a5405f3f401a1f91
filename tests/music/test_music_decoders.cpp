// Which decoder takes a file, from its first bytes alone. The formats the chip and
// song tests play are known there; these are the VGM and gzip cases they do not meet.
#include "CDecoder.h"
#include "Gzipped.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Kind = CDecoder::Kind;

// A VGM header of version 1.51 whose PSG and YM2612 clocks are as given.
std::string vgmHeader(unsigned psgClock, unsigned ym2612Clock) {
    std::string h(0x40, '\0');
    std::memcpy(&h[0], "Vgm ", 4);
    auto put = [&h](int at, unsigned v) {
        for (int i = 0; i < 4; i++) h[at + i] = static_cast<char>(v >> 8 * i);
    };
    put(0x08, 0x151);
    put(0x0C, psgClock);
    put(0x2C, ym2612Clock);
    return h;
}

}  // namespace

TEST(Decoders, TheFirstBytesChooseTheDecoder) {
    const std::string psg = vgmHeader(3579545, 0);
    const std::pair<std::string, Kind> cases[] = {
        {vgmHeader(0, 7670453), Kind::Console},
        {vgmHeader(0, 0), Kind::None},  // for no chip played here
        {psg.substr(0, 0x20), Kind::None},
        {gzipped(psg + std::string(4000, 'x')), Kind::Console},
        {gzipped(vgmHeader(0, 0)), Kind::None},
        {gzipped(std::string(200, 'a')), Kind::None},
        {"\x1f\x8b\x08" + std::string(60, '\xff'), Kind::None},  // broken gzip
        {"hello, this is not music at all" + std::string(100, ' '), Kind::None},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.first.data());
        EXPECT_EQ(CDecoder::identify(bytes, c.first.size(), c.first.size()), c.second) << "case " << &c - cases;
    }
}

TEST(Decoders, HeaderTextIsUtf8OrLatin1) {
    EXPECT_EQ(CDecoder::toUtf8("Caf\xc3\xa9"), "Caf\xc3\xa9");
    EXPECT_EQ(CDecoder::toUtf8("Caf\xe9"), "Caf\xc3\xa9");
}
