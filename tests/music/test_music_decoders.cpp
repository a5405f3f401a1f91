// Which decoder takes a file, from its first bytes alone.
#include "CDecoder.h"
#include "Gzipped.h"
#include "XmWriter.h"

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
    const std::vector<char> xm = makeSineXm();
    const struct {
        const char* what;
        std::string head;
        Kind kind;
    } cases[] = {
        {"PSID", "PSID" + std::string(120, '\0'), Kind::Sid},
        {"RSID", "RSID" + std::string(120, '\0'), Kind::Sid},
        {"NSF", "NESM\x1a" + std::string(123, '\0'), Kind::Console},
        {"NSFE", "NSFE" + std::string(60, '\0'), Kind::Console},
        {"SPC", "SNES-SPC700 Sound File Data v0.30" + std::string(60, '\0'), Kind::Console},
        {"GBS", "GBS\x01" + std::string(60, '\0'), Kind::Console},
        {"AY", "ZXAYEMUL" + std::string(60, '\0'), Kind::Console},
        {"KSS", "KSCC" + std::string(60, '\0'), Kind::Console},
        {"HES", "HESM" + std::string(60, '\0'), Kind::Console},
        {"SAP", "SAP\r\nAUTHOR" + std::string(60, '\0'), Kind::Console},
        {"GYM with its header", "GYMX" + std::string(60, '\0'), Kind::Console},
        {"VGM for the PSG", vgmHeader(3579545, 0), Kind::Console},
        {"VGM for the YM2612", vgmHeader(0, 7670453), Kind::Console},
        {"VGM for no chip played here", vgmHeader(0, 0), Kind::None},
        {"VGZ", gzipped(vgmHeader(3579545, 0) + std::string(4000, 'x')), Kind::Console},
        {"VGZ for no chip played here", gzipped(vgmHeader(0, 0)), Kind::None},
        {"gzip that is no VGM", gzipped(std::string(200, 'a')), Kind::None},
        {"broken gzip", "\x1f\x8b\x08" + std::string(60, '\xff'), Kind::None},
        {"XM", std::string(xm.begin(), xm.end()), Kind::Module},
        {"truncated PSID", "PSI", Kind::None},
        {"truncated VGM", vgmHeader(3579545, 0).substr(0, 0x20), Kind::None},
        {"text", "hello, this is not music at all" + std::string(100, ' '), Kind::None},
        {"nothing", "", Kind::None},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.head.data());
        EXPECT_EQ(CDecoder::identify(bytes, c.head.size(), c.head.size()), c.kind) << c.what;
    }
}

TEST(Decoders, HeaderTextIsUtf8OrLatin1) {
    EXPECT_EQ(CDecoder::toUtf8("Caf\xc3\xa9"), "Caf\xc3\xa9");
    EXPECT_EQ(CDecoder::toUtf8("Caf\xe9"), "Caf\xc3\xa9");
    EXPECT_EQ(CDecoder::toUtf8(""), "");
}
