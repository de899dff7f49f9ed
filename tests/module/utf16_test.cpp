// UTF-8 <-> UTF-16 conversion used for class names and host strings.
#include <gtest/gtest.h>

#include "sdk/missing/utf16.h"

namespace orbel {
namespace {

TEST(Utf16, RoundTripsAndReplacesInvalidInput) {
  const std::string samples[] = {"Mirel", "Grüße", "€100", "\xF0\x9F\x8E\xB9 keys", ""};
  for (const std::string& s : samples) EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(s).c_str()), s);
  EXPECT_EQ(utf8ToUtf16(std::string("a\xFF"
                                    "b")),
            u"a\uFFFDb");
  EXPECT_EQ(utf8ToUtf16(std::string("\xE2\x82")), u"\uFFFD");      // truncated sequence
  EXPECT_EQ(utf8ToUtf16(std::string("\xC0\xAF")), u"\uFFFD");      // overlong
  EXPECT_EQ(utf8ToUtf16(std::string("\xED\xA0\x80")).size(), 1u);  // encoded surrogate
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Utf16, FixedBufferNeverSplitsAPairAndTerminates) {
  char16_t buf[4];
  EXPECT_EQ(utf8ToUtf16("ab\xF0\x9F\x8E\xB9", buf, 4), 2u);  // the pair does not fit
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(utf8ToUtf16("abcdef", buf, 4), 3u);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(utf8ToUtf16(nullptr, buf, 4), 0u);
  EXPECT_EQ(buf[0], 0);
}

}  // namespace
}  // namespace orbel
