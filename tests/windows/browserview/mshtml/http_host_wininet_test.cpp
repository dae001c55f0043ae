// GetHttpHost on WinINet over the address table that the portable one answers.
#include <gtest/gtest.h>

#include <map>

#include "browserview/http_host.h"
#include "tests/browserview/http_host_table.h"

namespace tavrin {
namespace {

// Where WinINet (Wine's, as measured here) splits an address otherwise than a browser: its answer,
// "-" for none. None of them lets a link of another host pass the domain rule.
const std::map<std::string, std::string> kWinInetAnswers = {
    // Ports out of range or not numeric are not checked.
    {"http://h:99999/", "h"},
    {"http://h:8x/", "h"},
    // User information ends at the first "@", not the last.
    {"http://a@b@h/", "b@h"},
    // No IDNA: names stay as written (percent-encoded by the canonicalisation where they were).
    // Page and link hosts go through the same split, so only a name written once in Unicode and
    // once in its ASCII form compares unequal.
    {"http://日本.jp/", "日本.jp"},
    {"http://ÉXAMPLE.com/", "%c9xample.com"},
    {"http://%E6%97%A5%E6%9C%AC.jp/", "%e6%97%a5%e6%9c%ac.jp"},
    // Brackets of an IPv6 literal are percent-encoded by the canonicalisation.
    {"http://[::1]:80/", "%5b::1%5d"},
    // Characters a host cannot hold are encoded, not refused.
    {"http://a<b/", "a%3cb"},
};

TEST(HttpHostWinInet, AnswersTheSharedAddressTableAsABrowserSaveTheListedCases) {
  const auto cases = test::ReadHttpHostTable(TAVRIN_TEST_DATA "/http_hosts.tsv");
  ASSERT_GT(cases.size(), 30u);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line " << c.line << ": \"" << c.address << '"');
    std::string expected = c.host.value_or("-");
    if (const auto known = kWinInetAnswers.find(c.address); known != kWinInetAnswers.end()) {
      EXPECT_NE(known->second, expected) << "WinINet answers as a browser now";
      expected = known->second;
    }
    std::string host = "-";
    EXPECT_EQ(GetHttpHost(c.address, host), expected == "-" ? 0 : 1);
    EXPECT_EQ(host, expected);
  }
}

TEST(HttpHostWinInet, AnAddressLongerThanTheFirstBufferIsSplitWhileEachPartFits) {
  const std::string name = std::string(63, 'a') + '.' + std::string(63, 'b') + ".example";
  std::string host;
  // 2,100 characters in all: the canonical form needs the second, larger buffer.
  EXPECT_EQ(GetHttpHost("http://" + name + '/' + std::string(1956, 'p'), host), 1);
  EXPECT_EQ(host, name);
  // A path longer than the split's buffer (and than the browser's own limit of 2,083) is none.
  host = "-";
  EXPECT_EQ(GetHttpHost("http://h/" + std::string(2100, 'p'), host), 0);
  EXPECT_EQ(host, "-");
}

}  // namespace
}  // namespace tavrin
