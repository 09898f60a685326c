// unique_handle_test.cpp: the shared owner gives each handle back exactly once, on every hand-off.
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "owners/unique_handle.hpp"

namespace {

std::vector<int> released;
void note_release(int handle) noexcept { released.push_back(handle); }
using Owner = morvane::UniqueHandle<int, &note_release, -1>;

struct Counted {
    int references = 1;
    void Release() noexcept { --references; }
};

struct Case {
    const char* what;
    std::function<void()> steps;
    std::vector<int> expected;  // the handles released, in order, once every owner is gone
};

TEST(UniqueHandle, ReleasesEachHandleOnceOnEveryHandOff) {
    const Case cases[] = {
        {"destruction", [] { Owner owner(3); }, {3}},
        {"the invalid value is never released", [] { Owner owner(-1); Owner empty; }, {}},
        {"a move leaves the source empty", [] { Owner from(3); Owner to(std::move(from)); }, {3}},
        {"move assignment releases what it replaces",
         [] {
             Owner to(1);
             Owner from(2);
             to = std::move(from);
             EXPECT_EQ(released, std::vector<int>{1});
         },
         {1, 2}},
        {"put releases before handing out the address",
         [] {
             Owner owner(1);
             *owner.put() = 2;
             EXPECT_EQ(released, std::vector<int>{1});
         },
         {1, 2}},
        {"detach gives ownership up", [] { Owner owner(4); EXPECT_EQ(owner.detach(), 4); }, {}},
        {"reset empties the owner", [] { Owner owner(5); owner.reset(); EXPECT_FALSE(owner); }, {5}},
    };
    for (const Case& c : cases) {
        released.clear();
        c.steps();
        EXPECT_EQ(released, c.expected) << c.what;
    }
}

TEST(ComPtr, ReleasesOneReferenceAndAddsNone) {
    Counted object;
    {
        morvane::ComPtr<Counted> first(&object);
        morvane::ComPtr<Counted> second(std::move(first));
        EXPECT_EQ(second->references, 1);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(object.references, 0);
}

}  // namespace
