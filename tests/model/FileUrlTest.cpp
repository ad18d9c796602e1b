// The help page's address: a path with characters that mean something in an address.
#include <gtest/gtest.h>

#include "model/FileUrl.h"

namespace tolvi {
namespace {

TEST(FileUrl, PlainPathsStayReadable) {
    EXPECT_EQ(FileUrl("C:\\tolvi\\tolvi.html", "what-is-it"),
              "file:///C:/tolvi/tolvi.html#what-is-it");
    EXPECT_EQ(FileUrl("C:\\tolvi\\tolvi.html", ""), "file:///C:/tolvi/tolvi.html");
}

TEST(FileUrl, MeaningfulCharactersArePercentEncoded) {
    EXPECT_EQ(FileUrl("C:\\Program Files\\C#\\100%\\tolvi.html", "what-is-it"),
              "file:///C:/Program%20Files/C%23/100%25/tolvi.html#what-is-it");
    EXPECT_EQ(FileUrl("D:\\a?b&c\\t\xE4st.html", ""), "file:///D:/a%3Fb%26c/t%E4st.html");
}

}  // namespace
}  // namespace tolvi
