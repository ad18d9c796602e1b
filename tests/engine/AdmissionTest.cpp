// The admission rule and the client list's tokens.
#include <gtest/gtest.h>

#include "engine/Admission.h"

namespace tolvi {
namespace {

struct Case {
    const char* address;
    bool allowNonLocal;
    bool listOnly;
    const char* list;
    bool admitted;
};

TEST(Admission, FollowsTheRuleForEveryCombination) {
    const Case cases[] = {
        {"127.0.0.1", false, false, "", true},
        {"::1", false, false, "", true},  // IPv6's loopback is as local
        {"::2", false, false, "", false},
        {"fe80::1%3", true, true, "10.0.0.5;fe80::1%3", true},
        {"192.168.1.5", false, false, "", false},
        {"127.0.0.2", false, false, "", false},  // other loopback addresses are not local
        {"192.168.1.5", true, false, "", true},
        {"10.0.0.5", true, true, "10.0.0.5;10.0.0.7", true},
        {"10.0.0.7", true, true, "10.0.0.5;10.0.0.7", true},
        {"127.0.0.1", true, true, "10.0.0.5;10.0.0.7", true},
        {"10.0.0.50", true, true, "10.0.0.5;10.0.0.7", false},
        {"10.0.0.7", true, true, "10.0.0.5 ; 10.0.0.7", true},
        {"10.0.0.5", true, true, "10.0.0.5,10.0.0.7", false},  // a comma is no delimiter
        {"10.0.0.7", true, true, "10.0.0.5,10.0.0.7", false},
        {"10.0.0.9", true, true, "10.0.0.*", false},   // no patterns
        {"10.0.0.5", false, true, "10.0.0.5", false},  // the list needs allowNonLocal
        {"10.0.0.5", true, true, "", false},
        {"127.0.0.1", false, true, "", true},
        {"10.0.0.5", true, false, "10.0.0.7", true},  // the list only counts with listOnly
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsClientAdmitted(c.address, c.allowNonLocal, c.listOnly, c.list), c.admitted)
            << c.address << " nonLocal=" << c.allowNonLocal << " listOnly=" << c.listOnly
            << " list='" << c.list << "'";
    }
}

TEST(Admission, ClientListTokens) {
    EXPECT_TRUE(IsClientInList(";;  10.0.0.5 ;", "10.0.0.5"));
    EXPECT_TRUE(IsClientInList("a b;c", "c"));
    EXPECT_FALSE(IsClientInList("10.0.0.5\t10.0.0.7", "10.0.0.7"));  // a tab is no delimiter
    EXPECT_FALSE(IsClientInList("10.0.0.55", "10.0.0.5"));
    EXPECT_FALSE(IsClientInList("10.0.0.5", "10.0.0.55"));
    EXPECT_FALSE(IsClientInList("", "10.0.0.5"));
    EXPECT_FALSE(IsClientInList(" ; ", ""));
    EXPECT_FALSE(IsClientInList("HOST", "host"));  // case counts
    EXPECT_TRUE(IsDelimiter(" ;", ';'));
    EXPECT_FALSE(IsDelimiter(" ;", ','));
    EXPECT_FALSE(IsDelimiter(" ;", '\0'));
}

}  // namespace
}  // namespace tolvi
