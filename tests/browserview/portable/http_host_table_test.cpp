// The portable GetHttpHost over the address table that the WinINet one is checked against too.
#include <gtest/gtest.h>

#include "browserview/http_host.h"
#include "tests/browserview/http_host_table.h"

namespace tavrin {
namespace {

TEST(HttpHost, AnswersTheSharedAddressTable) {
  const auto cases = test::ReadHttpHostTable(TAVRIN_TEST_DATA "/http_hosts.tsv");
  ASSERT_GT(cases.size(), 30u);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line " << c.line << ": \"" << c.address << '"');
    std::string host = "untouched";
    EXPECT_EQ(GetHttpHost(c.address, host), c.host ? 1 : 0);
    EXPECT_EQ(host, c.host.value_or("untouched"));
  }
}

}  // namespace
}  // namespace tavrin
