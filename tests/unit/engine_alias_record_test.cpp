#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/engine.h"

namespace {

// A record as the engine fills it: the alias name in the first 32 bytes,
// other fields after it.
std::string Record(const std::string& head)
{
    std::string record(DbiRecordBufferSize, '\0');
    std::memcpy(record.data(), head.data(), head.size());
    return record;
}

TEST(AliasRecord, NamesMatchExactlyAndOnlyWithinTheNameField)
{
    std::string record = Record(std::string("Demo\0PARADOX", 12));
    EXPECT_TRUE(AliasRecordMatches(record.data(), "Demo"));
    EXPECT_FALSE(AliasRecordMatches(record.data(), "demo"));
    EXPECT_FALSE(AliasRecordMatches(record.data(), "Dem"));
    EXPECT_FALSE(AliasRecordMatches(record.data(), "Demo\xA0"));
    EXPECT_FALSE(AliasRecordMatches(record.data(), std::string("Demo\0PARADOX", 12)));

    std::string name31(31, 'x');
    EXPECT_TRUE(AliasRecordMatches(Record(name31).data(), name31));
    // A field filled to the last byte has no terminator, so it names nothing:
    // a 32-character name can never be found.
    std::string full = Record(std::string(32, 'x') + "TYPE");
    EXPECT_FALSE(AliasRecordMatches(full.data(), std::string(32, 'x')));
    EXPECT_FALSE(AliasRecordMatches(full.data(), std::string(36, 'x') + "TYPE"));
    EXPECT_FALSE(AliasRecordMatches(Record(name31).data(), std::string(32, 'x')));
    EXPECT_FALSE(AliasRecordMatches(Record("").data(), "x"));
}

}  // namespace
