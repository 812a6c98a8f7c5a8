#include "plat/ui.h"

#include <gtest/gtest.h>

using plat::CGRect;
using plat::UIView;

TEST(UIView, TreeMembershipAndBoundsFollowingTheFrame) {
    auto root = std::make_shared<UIView>(CGRect(10, 20, -30, 40));
    EXPECT_EQ(root->frame(), CGRect(-20, 20, 30, 40));
    EXPECT_EQ(root->bounds(), CGRect(0, 0, 30, 40));
    auto a = std::make_shared<UIView>(), b = std::make_shared<UIView>();
    root->addSubview(a);
    root->addSubview(b);
    a->addSubview(b); // moves
    EXPECT_EQ(root->subviews().size(), 1u);
    EXPECT_EQ(b->superview(), a);
    b->addSubview(root); // would make a cycle: refused
    EXPECT_EQ(root->superview(), nullptr);
    b->removeFromSuperview();
    EXPECT_EQ(b->superview(), nullptr);
    EXPECT_TRUE(a->subviews().empty());
}

TEST(NSLayoutConstraint, EdgesPlaceSubviewsWithConstants) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 200, 100));
    auto bar = std::make_shared<UIView>(CGRect(0, 0, 50, 20));
    auto below = std::make_shared<UIView>(CGRect(0, 0, 10, 10));
    root->addSubview(bar);
    root->addSubview(below);
    plat::NSLayoutConstraint::activate({
        bar->topAnchor().constraint(root->topAnchor(), 5),
        bar->leadingAnchor().constraint(root->leadingAnchor(), 10),
        root->trailingAnchor().constraint(bar->trailingAnchor(), 10), // written superview-first
        below->topAnchor().constraint(bar->bottomAnchor(), 2),
        below->trailingAnchor().constraint(root->trailingAnchor()),
    });
    root->layoutIfNeeded();
    EXPECT_EQ(bar->frame(), CGRect(10, 5, 180, 20));
    EXPECT_EQ(below->frame(), CGRect(190, 27, 10, 10));
}

// Unrelated views and mismatched edges are never constrained; a view that leaves its superview
// drops its constraints, and one that only its view holds can be turned off safely.
TEST(NSLayoutConstraint, ConstraintsBindOnlyRelatedViewsWhileTheyAreRelated) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    auto a = std::make_shared<UIView>(), stranger = std::make_shared<UIView>();
    root->addSubview(a);
    auto unrelated = a->topAnchor().constraint(stranger->topAnchor());
    auto mixed = a->topAnchor().constraint(root->leadingAnchor());
    plat::NSLayoutConstraint unowned(a->topAnchor(), root->topAnchor(), 0);
    for (auto* c : {unrelated.get(), mixed.get(), &unowned}) {
        c->setActive(true);
        EXPECT_FALSE(c->isActive());
    }
    a->topAnchor().constraint(root->topAnchor())->setActive(true);
    a->constraints().front()->setActive(false); // the view held the only reference
    EXPECT_TRUE(a->constraints().empty());
    auto kept = a->topAnchor().constraint(root->topAnchor(), 3);
    kept->setActive(true);
    a->removeFromSuperview();
    EXPECT_FALSE(kept->isActive());
    EXPECT_TRUE(a->constraints().empty());
}
