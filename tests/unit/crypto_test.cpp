// The system's SHA-256 and ECDSA P-256 as the program calls them.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ecdsa.h"
#include "core/sha256.h"

namespace {

std::string Digest(const std::string& bytes)
{
    TSha256Digest digest{};
    std::string problem;
    EXPECT_TRUE(Sha256Of(bytes.data(), bytes.size(), digest, problem)) << problem;
    return HexText(digest);
}

TEST(Sha256, KnownVectorsInOneGoAndInUnevenChunks)
{
    EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string million(1000000, 'a');
    const std::string expected = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    EXPECT_EQ(Digest(million), expected);
    // Chunks that cut the 64-byte blocks everywhere, fed to one hasher begun
    // twice: a second file hashes as the first did.
    TSha256 hash;
    for (int round = 0; round < 2; ++round) {
        std::string problem;
        ASSERT_TRUE(hash.Begin(problem)) << problem;
        size_t sizes[] = {1, 63, 64, 65, 0, 1000, 4095, 1 << 16};
        size_t fed = 0;
        for (size_t i = 0; fed < million.size(); ++i) {
            size_t size = std::min(sizes[i % 8], million.size() - fed);
            hash.Feed(million.data() + fed, size);
            fed += size;
        }
        TSha256Digest digest{};
        ASSERT_TRUE(hash.Finish(digest, problem)) << problem;
        EXPECT_EQ(HexText(digest), expected) << round;
    }
}

TEST(Sha256, HexTextReadsBackAndRefusesOtherText)
{
    TSha256Digest digest{};
    ASSERT_TRUE(ParseHex("BA7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", digest));
    EXPECT_EQ(HexText(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    for (const char* bad : {"", "ba78", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a",
                            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015adff",
                            "g a7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a"})
        EXPECT_FALSE(ParseHex(bad, digest)) << bad;
}

TEST(Ecdsa, ASignatureMatchesOnlyItsDigestAndItsKey)
{
    TEcKeyPair pair;
    TEcKeyPair other;
    std::string problem;
    ASSERT_TRUE(MakeEcKeyPair(pair, problem)) << problem;
    ASSERT_TRUE(MakeEcKeyPair(other, problem)) << problem;
    EXPECT_NE(pair.Public, other.Public);
    TSha256Digest digest{};
    ASSERT_TRUE(Sha256Of("release", 7, digest, problem));
    TEcSignature signature{};
    ASSERT_TRUE(SignDigest(pair, digest, signature, problem)) << problem;
    EXPECT_EQ(CheckSignature(pair.Public, digest, signature, problem), TSignatureCheck::Matches) << problem;
    EXPECT_EQ(CheckSignature(other.Public, digest, signature, problem), TSignatureCheck::DoesNotMatch);
    TSha256Digest changed = digest;
    changed[31] ^= 1;
    EXPECT_EQ(CheckSignature(pair.Public, changed, signature, problem), TSignatureCheck::DoesNotMatch);
    TEcSignature damaged = signature;
    damaged[40] ^= 0x80;
    EXPECT_EQ(CheckSignature(pair.Public, digest, damaged, problem), TSignatureCheck::DoesNotMatch);
    EXPECT_EQ(CheckSignature(pair.Public, digest, TEcSignature{}, problem), TSignatureCheck::DoesNotMatch);
}

}  // namespace
