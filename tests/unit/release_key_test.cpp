// Key files: the two halves written by --new-key, read back for signing and
// for checking, and files that are not what they are taken for.
#include <gtest/gtest.h>

#include "harness.h"
#include "release/release_key.h"

using namespace testing_support;

namespace {

TEST(ReleaseKey, HalvesReadBackAndAreNotTakenForEachOther)
{
    TempDir dir;
    TEcKeyPair made;
    std::string problem;
    ASSERT_TRUE(WriteNewKeyFiles(dir / "admin.key", made, problem)) << problem;
    TEcKeyPair pair;
    ASSERT_TRUE(ReadPrivateKeyFile(dir / "admin.key", pair, problem)) << problem;
    EXPECT_EQ(pair.Public, made.Public);
    EXPECT_EQ(pair.Private, made.Private);
    TEcPublicKey key{};
    ASSERT_TRUE(ReadPublicKeyFile(dir / "admin.key.pub", key, problem)) << problem;
    EXPECT_EQ(key, made.Public);
    EXPECT_EQ(KeyId(key), HexText(made.Public.data(), 8));

    EXPECT_FALSE(ReadPublicKeyFile(dir / "admin.key", key, problem));
    EXPECT_EQ(problem, "Key file \"" + dir.Path() +
                           "admin.key\": it holds a private key, which belongs with the administrator, not on workstations");
    EXPECT_FALSE(ReadPrivateKeyFile(dir / "admin.key.pub", pair, problem));
    EXPECT_EQ(problem, "Key file \"" + dir.Path() + "admin.key.pub\": it holds only a public key; sign with the private "
                                                    "key file");
    // A private line under the public heading is a private key all the same.
    WriteFileBytes(dir / "mislabelled.pub", "Vantorel release key 1: public\r\npublic " + HexText(made.Public) +
                                                "\r\nprivate " + HexText(made.Private) + "\r\n");
    EXPECT_FALSE(ReadPublicKeyFile(dir / "mislabelled.pub", key, problem));
    EXPECT_NE(problem.find("it holds a private key"), std::string::npos) << problem;

    for (const std::string& bytes :
         {std::string(), std::string("Vantorel release key 1: PRIVATE\r\npublic " + HexText(made.Public) + "\r\n"),
          std::string("Vantorel release key 1: public\r\npublic 1234\r\n"), std::string(5000, 'k'),
          std::string("Vantorel release key 1: public\r\npublic ") + HexText(made.Public) + "\r\ncomment\r\n"}) {
        WriteFileBytes(dir / "odd.key", bytes);
        EXPECT_FALSE(ReadPrivateKeyFile(dir / "odd.key", pair, problem)) << bytes;
        EXPECT_FALSE(ReadPublicKeyFile(dir / "odd.key", key, problem)) << bytes;
        EXPECT_EQ(problem, "Key file \"" + dir.Path() + "odd.key\": it is not a key file of this program") << bytes;
    }
    EXPECT_FALSE(ReadPublicKeyFile(dir / "missing.pub", key, problem));
    EXPECT_EQ(problem, "Key file \"" + dir.Path() + "missing.pub\": it cannot be read: File not found");
}

}  // namespace
