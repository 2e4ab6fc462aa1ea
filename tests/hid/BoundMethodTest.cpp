#include <gtest/gtest.h>

#include "hid/HidEvents.h"

namespace {

struct Target {
    int hits = 0;
    int Add(int v) { return hits += v; }
    int Sub(int v) { return hits -= v; }
};

using Handler = TBoundMethod<int(int)>;

TEST(BoundMethod, UnassignedUntilBoundAndCallsTheBoundObject) {
    Handler none;
    EXPECT_FALSE(none.Assigned());
    Target a;
    Handler h = Handler::bind<&Target::Add>(&a);
    ASSERT_TRUE(h.Assigned());
    EXPECT_EQ(h(3), 3);
    EXPECT_EQ(h(4), 7);
    EXPECT_EQ(h.Object(), &a);
}

TEST(BoundMethod, FunctionPartComparesAcrossObjectsButNotAcrossFunctions) {
    Target a, b;
    const auto add_a = Handler::bind<&Target::Add>(&a);
    const auto add_b = Handler::bind<&Target::Add>(&b);
    const auto sub_a = Handler::bind<&Target::Sub>(&a);
    EXPECT_TRUE(add_a.SameFunction(add_b));
    EXPECT_FALSE(add_a == add_b);
    EXPECT_FALSE(add_a.SameFunction(sub_a));
    EXPECT_FALSE(add_a.SameFunction(Handler()));
    EXPECT_TRUE(Handler().SameFunction(Handler()));
}

TEST(BoundMethod, LambdasBindByTypeAndObject) {
    int seen = 0;
    auto f = [&seen](int v) { return seen += v; };
    auto g = [&seen](int v) { return seen -= v; };
    const auto hf = Handler::bind(&f);
    EXPECT_EQ(hf(5), 5);
    EXPECT_TRUE(hf.SameFunction(Handler::bind(&f)));
    EXPECT_FALSE(hf.SameFunction(Handler::bind(&g)));
}

}  // namespace
