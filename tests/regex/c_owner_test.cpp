#include "regex/c_owner.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace qelvanto {
namespace {

struct Fake {
    int id;
};

std::vector<int> released;

void FreeFake(Fake* fake) { released.push_back(fake->id); }

using FakeOwner = COwner<Fake, FreeFake>;

TEST(COwner, ReleasesEachHandleExactlyOnceOverItsLife) {
    released.clear();
    Fake a{1}, b{2};
    {
        FakeOwner empty;
        EXPECT_FALSE(empty);
        EXPECT_EQ(empty.get(), nullptr);

        FakeOwner first(&a);
        FakeOwner moved(std::move(first));
        EXPECT_EQ(first.get(), nullptr);  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(moved.get(), &a);

        FakeOwner second(&b);
        moved = std::move(second);  // gives up a, takes b
        EXPECT_EQ(released, std::vector<int>{1});
        EXPECT_EQ(moved.get(), &b);
        EXPECT_EQ(second.get(), nullptr);  // NOLINT(bugprone-use-after-move)
    }
    EXPECT_EQ(released, (std::vector<int>{1, 2}));  // b released by the destructor, once
}

}  // namespace
}  // namespace qelvanto
