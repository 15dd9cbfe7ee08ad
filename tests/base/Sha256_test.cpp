// SHA-256 against the standard's test vectors, across block boundaries, and of a file.

#include "base/Sha256.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.h"

namespace tq9 {
namespace {

TEST(Sha256Test, KnownDigestsAndEveryLengthAroundABlock) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Added in pieces or whole, every length near the padding boundary gives one digest.
    for (std::size_t n = 50; n < 140; ++n) {
        const std::string text(n, static_cast<char>('0' + n % 10));
        Sha256 pieces;
        for (char c : text)
            pieces.Add(&c, 1);
        EXPECT_EQ(pieces.HexDigest(), Sha256Hex(text)) << n;
    }
}

TEST(Sha256Test, AFileIsDigestedWholeAndAMissingOneIsNothing) {
    test::TempDir dir;
    const std::string bytes = std::string(200000, '\x5a') + std::string("\0end", 4);
    std::ofstream(dir.File("image.hex"), std::ios::binary) << bytes;
    EXPECT_EQ(Sha256OfFile(dir.File("image.hex").string()), Sha256Hex(bytes));
    EXPECT_EQ(Sha256OfFile(dir.File("missing.hex").string()), std::nullopt);
}

}  // namespace
}  // namespace tq9
