#include "text/url_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(PercentEncodeNonAscii, EncodesBytesFrom0x80UpInUpperCase) {
  EXPECT_EQ(PercentEncodeNonAscii("http://127.0.0.1:8080/dev/\xC3\xBC?q=\xC3\xA9"),
            "http://127.0.0.1:8080/dev/%C3%BC?q=%C3%A9");
  EXPECT_EQ(PercentEncodeNonAscii("/\xE4\xB8\xAD#\xF0\x9F\x98\x80"), "/%E4%B8%AD#%F0%9F%98%80");
  EXPECT_EQ(PercentEncodeNonAscii("\x7F\x80\xFF"), "\x7F%80%FF");
}

TEST(PercentEncodeNonAscii, LeavesAsciiAndExistingEscapesAlone) {
  const std::string ascii = "https://h:1/a b/%20%zz?x=\"<>\\&y=%";
  EXPECT_EQ(PercentEncodeNonAscii(ascii), ascii);
  EXPECT_EQ(PercentEncodeNonAscii(""), "");
}

TEST(UrlAuthorityIsAscii, LooksOnlyAtTheAuthority) {
  EXPECT_TRUE(UrlAuthorityIsAscii("http://127.0.0.1:1/\xC3\xBC?\xC3\xA9#\xC3\xA9"));
  EXPECT_TRUE(UrlAuthorityIsAscii(""));
  EXPECT_FALSE(UrlAuthorityIsAscii("http://b\xC3\xBC" "cher.example/"));
  EXPECT_FALSE(UrlAuthorityIsAscii("http://us\xC3\xA9r@127.0.0.1/"));
  EXPECT_FALSE(UrlAuthorityIsAscii("https://\xE4\xB8\xAD"));
  EXPECT_FALSE(UrlAuthorityIsAscii("\xE4\xB8\xAD.example/path"));  // no scheme
  EXPECT_TRUE(UrlAuthorityIsAscii("host?\xC3\xA9"));
}

}  // namespace
