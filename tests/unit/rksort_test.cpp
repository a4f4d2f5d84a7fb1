// Names of the sort's run files at the edges of each suffix form.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runfiles.h"

static std::string name(long i) {
    char buf[64];
    run_name(buf, "/tmp/RksortAbc123", i);
    return buf;
}

TEST(RunNames, SuffixForms) {
    EXPECT_EQ(name(0), "/tmp/RksortAbc123.000");
    EXPECT_EQ(name(7), "/tmp/RksortAbc123.007");
    EXPECT_EQ(name(999), "/tmp/RksortAbc123.999");
    EXPECT_EQ(name(1000), "/tmp/RksortAbc123.a00");
    EXPECT_EQ(name(1099), "/tmp/RksortAbc123.a99");
    EXPECT_EQ(name(1100), "/tmp/RksortAbc123.b00");
    EXPECT_EQ(name(3599), "/tmp/RksortAbc123.z99");
    EXPECT_EQ(name(3600), "/tmp/RksortAbc123.aaa");
    EXPECT_EQ(name(3601), "/tmp/RksortAbc123.aab");
    EXPECT_EQ(name(3626), "/tmp/RksortAbc123.aba");
    EXPECT_EQ(name(3600 + 676), "/tmp/RksortAbc123.baa");
    EXPECT_EQ(name(LAST_RUN), "/tmp/RksortAbc123.zzz");
}

TEST(RunNames, EveryNameIsDistinctAndKeepsItsLength) {
    std::set<std::string> seen;
    for (long i = 0; i <= LAST_RUN; ++i) {
        std::string n = name(i);
        ASSERT_EQ(n.size(), std::string("/tmp/RksortAbc123.000").size()) << i;
        ASSERT_TRUE(seen.insert(n).second) << i;
    }
}
