#include "web/curl_handles.h"

#include <utility>

#include <gtest/gtest.h>

namespace qelvanto::web {
namespace {

// The owners release what they hold; a leak here shows under the address sanitizer.
TEST(CurlHandles, HeaderListOwnerLivesAndMoves) {
    HeaderList empty;
    EXPECT_EQ(empty.get(), nullptr);

    HeaderList list;
    ASSERT_TRUE(AppendHeader(list, "A: 1"));
    ASSERT_TRUE(AppendHeader(list, "B: 2"));
    ASSERT_NE(list.get(), nullptr);
    EXPECT_STREQ(list->data, "A: 1");
    EXPECT_STREQ(list->next->data, "B: 2");

    HeaderList moved = std::move(list);
    EXPECT_EQ(list.get(), nullptr);  // NOLINT(bugprone-use-after-move): moving empties the source
    HeaderList other;
    ASSERT_TRUE(AppendHeader(other, "C: 3"));
    other = std::move(moved);  // releases the old list
    EXPECT_STREQ(other->data, "A: 1");
}

TEST(CurlHandles, RuntimeLendsTheSameIdleSlotAgain) {
    const auto runtime = CurlRuntime::Get();
    ASSERT_NE(runtime->cookie_share(), nullptr);
    ASSERT_NE(runtime->plain_share(), nullptr);
    EXPECT_EQ(CurlRuntime::Get(), runtime);

    auto first = runtime->Borrow();
    ASSERT_TRUE(first.has_value());
    CURL* easy = first->easy.get();
    runtime->GiveBack(std::move(*first));
    auto again = runtime->Borrow();
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->easy.get(), easy);  // its open connection comes along with it
    runtime->GiveBack(std::move(*again));
}

}  // namespace
}  // namespace qelvanto::web
