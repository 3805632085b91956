#include "core/lpfp/lpfp.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The message of the exception that f throws, or "no failure".
template <class F> std::string failureOf(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

std::string decodeFailure(const std::string& fileText) {
    return failureOf([&] { decodeLpfp(fileText); });
}

TEST(LpfpFraming, ThreeBytesGiveBase64AndChecksumLowByteFirst) {
    EXPECT_EQ(crc16CcittFalse("abc"), 0x514A);
    EXPECT_EQ(encodeLpfp("abc"), "YWJj4A51");
    EXPECT_EQ(decodeLpfp("YWJj4A51"), "abc");
}

TEST(LpfpFraming, CrcCheckValueAndEmptyText) {
    EXPECT_EQ(crc16CcittFalse("123456789"), 0x29B1);
    EXPECT_EQ(crc16CcittFalse(""), 0xFFFF);
    EXPECT_EQ(encodeLpfp("123456789"), "MTIzNDU2Nzg5B129");
    EXPECT_EQ(encodeLpfp(""), "FFFF");
}

TEST(LpfpFraming, HexIsUpperCaseHighNibbleFirstInGivenOrder) {
    EXPECT_EQ(toHexUpper(std::string("\x4A\x51\x00\xFF\xab\x0c", 6)), "4A5100FFAB0C");
    EXPECT_EQ(toHexUpper(""), "");
}

TEST(LpfpBase64, EncodesWithPaddingToMultipleOfFour) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\xFB\xFF"), "+/8=");
}

TEST(LpfpBase64, EveryByteValueRoundTrips) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    for (std::size_t length = 0; length <= 4; ++length) {
        const std::string chunk = bytes.substr(0, bytes.size() - length);
        EXPECT_EQ(base64Decode(base64Encode(chunk)), chunk);
    }
}

TEST(LpfpBase64, FirstPaddingEndsDecodingAndLeftoverBitsAreDropped) {
    EXPECT_EQ(base64Decode("Zg==anything* \n goes"), "f");
    EXPECT_EQ(base64Decode("Zm9v=Zm9v"), "foo");
    EXPECT_EQ(base64Decode("====="), "");
    EXPECT_EQ(base64Decode("Zm9vY"), "foo");
    EXPECT_EQ(base64Decode("Zm9vYg"), "foob");
}

TEST(LpfpBase64, AnyOtherCharacterBeforePaddingFails) {
    for (const std::string& text : std::vector<std::string>{
             "Zm9v\n", "Zm 9v", "*m9v", "Zm9v-_", std::string("Zm\0v", 4), "Zm9v\xFF", "Zm9v\r\nZm9v"}) {
        EXPECT_EQ(failureOf([&] { base64Decode(text); }), "Decoding Failed.") << text;
    }
}

TEST(LpfpDecode, ShortTextsFailTheChecksum) {
    EXPECT_EQ(decodeFailure(""), "Checksum Fail");
    EXPECT_EQ(decodeFailure("F"), "Checksum Fail");
    EXPECT_EQ(decodeFailure("FFF"), "Checksum Fail");
    EXPECT_EQ(decodeLpfp("FFFF"), "");
    EXPECT_EQ(decodeLpfp("====FFFF"), "");
    EXPECT_EQ(decodeFailure("====0000"), "Checksum Fail");
}

TEST(LpfpDecode, DamagedChecksumOrBodyFails) {
    const std::string good = encodeLpfp("<LPFP>abc</LPFP>");
    ASSERT_EQ(decodeLpfp(good), "<LPFP>abc</LPFP>");

    EXPECT_EQ(decodeFailure(good + "\n").substr(0, 14), "Checksum Fail\n");
    EXPECT_EQ(decodeFailure("YWJj4a51").substr(0, 14), "Checksum Fail\n");

    std::string otherLetter = good;
    otherLetter[0] = otherLetter[0] == 'A' ? 'B' : 'A';
    EXPECT_EQ(decodeFailure(otherLetter), "Checksum Fail");

    std::string star = good;
    star[0] = '*';
    EXPECT_EQ(decodeFailure(star), "Decoding Failed.");

    // A line break inside the body is decoded (and rejected) before the checksum is looked at.
    std::string wrapped = good;
    wrapped.insert(8, "\n");
    EXPECT_EQ(decodeFailure(wrapped), "Decoding Failed.");
}

TEST(LpfpDecode, NearMissesStillFailAndNameTheLikelyCause) {
    const std::string lineBreak =
        "a line break after the checksum (the file must end with its four checksum digits)";
    const std::string crlfBreak =
        "a CR LF line break after the checksum (the file must end with its four checksum digits)";
    const std::string lowerCase = "lower-case hex digits in the checksum (they must be upper-case)";
    const std::string crlfInside = "CR LF line ends in the text inside (it must have single line feeds)";
    auto because = [](const std::string& cause) { return "Checksum Fail\nLikely cause: " + cause; };

    // "abc" has the checksum 4A51, with two letters in it.
    EXPECT_EQ(decodeFailure("YWJj4A51\n"), because(lineBreak));
    EXPECT_EQ(decodeFailure("YWJj4A51\n\n"), because(lineBreak));
    EXPECT_EQ(decodeFailure("YWJj4A51\r\n"), because(crlfBreak));
    EXPECT_EQ(decodeFailure("YWJj4a51"), because(lowerCase));
    EXPECT_EQ(decodeFailure("YWJj4a51\r\n"), because(lowerCase + " and " + crlfBreak));

    // A text whose line ends became CR LF after its checksum was taken.
    const std::string lf = "<LPFP>\n<a/>\n</LPFP>\n";
    const std::string crlf = "<LPFP>\r\n<a/>\r\n</LPFP>\r\n";
    const std::string lfChecksum = encodeLpfp(lf).substr(encodeLpfp(lf).size() - 4);
    EXPECT_EQ(decodeFailure(base64Encode(crlf) + lfChecksum), because(crlfInside));
    EXPECT_EQ(decodeFailure(base64Encode(crlf) + lfChecksum + "\n"),
              because(crlfInside + " and " + lineBreak));

    // Other damage has no likely cause to name.
    EXPECT_EQ(decodeFailure("YWJk4A51"), "Checksum Fail");
    EXPECT_EQ(decodeFailure("YWJk4A51\n"), "Checksum Fail");
    EXPECT_EQ(decodeFailure("YWJj4A52"), "Checksum Fail");
    EXPECT_EQ(decodeFailure("A51\n"), "Checksum Fail");
    EXPECT_EQ(decodeFailure("\n"), "Checksum Fail");
    // A line break inside the body is still a decoding failure, found before any checksum.
    EXPECT_EQ(decodeFailure("YW\nJj4A51\n"), "Decoding Failed.");
}

TEST(LpfpDecode, JunkAfterPaddingIsIgnored) {
    const std::string plain = "<LPFP>a</LPFP>"; // 14 bytes: the body ends in "="
    const std::string good = encodeLpfp(plain);
    const std::size_t pad = good.find('=');
    ASSERT_NE(pad, std::string::npos);
    std::string junk = good;
    junk.insert(pad + 1, "*\n junk ==xyz");
    EXPECT_EQ(decodeLpfp(junk), plain);
}

TEST(LpfpDecode, ArbitraryBytesEitherDecodeOrFailWithAKnownMessage) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 64);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    for (int round = 0; round < 3000; ++round) {
        std::string text(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : text) {
            // Half the texts stay inside the alphabet so that the checksum step is reached too.
            c = round % 2 == 0 ? static_cast<char>(byte(random))
                               : alphabet[static_cast<std::size_t>(byte(random)) % alphabet.size()];
        }
        const std::string failure = decodeFailure(text);
        EXPECT_TRUE(failure == "no failure" || failure.rfind("Checksum Fail", 0) == 0 ||
                    failure == "Decoding Failed.")
            << failure;
    }
}

TEST(LpfpDecode, LargeBodyIsCheckedWithoutTrouble) {
    const std::string body(8u << 20, 'A');
    EXPECT_EQ(decodeFailure(body + "0000"), "Checksum Fail");
    const std::string plain(6u << 20, '\0');
    EXPECT_EQ(decodeLpfp(encodeLpfp(plain)), plain);
}

} // namespace
