#include "plat/ui.h"

#include <gtest/gtest.h>

using plat::CGRect;
using plat::UIView;

TEST(UIView, TreeMembership) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
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

TEST(UIView, BoundsFollowTheFrameSize) {
    UIView v(CGRect(10, 20, -30, 40));
    EXPECT_EQ(v.frame(), CGRect(-20, 20, 30, 40));
    EXPECT_EQ(v.bounds(), CGRect(0, 0, 30, 40));
    v.setHidden(true);
    EXPECT_TRUE(v.isHidden());
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

TEST(NSLayoutConstraint, UnrelatedViewsOrMismatchedEdgesAreNotActivated) {
    auto a = std::make_shared<UIView>(), b = std::make_shared<UIView>();
    auto c = a->topAnchor().constraint(b->topAnchor());
    c->setActive(true);
    EXPECT_FALSE(c->isActive());
    auto root = std::make_shared<UIView>();
    root->addSubview(a);
    auto mixed = a->topAnchor().constraint(root->leadingAnchor());
    mixed->setActive(true);
    EXPECT_FALSE(mixed->isActive());
    plat::NSLayoutConstraint unowned(a->topAnchor(), root->topAnchor(), 0);
    unowned.setActive(true);
    EXPECT_FALSE(unowned.isActive());
}

TEST(NSLayoutConstraint, RemovingAViewDropsItsConstraints) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    auto child = std::make_shared<UIView>();
    root->addSubview(child);
    auto c = child->topAnchor().constraint(root->topAnchor(), 3);
    c->setActive(true);
    child->removeFromSuperview();
    EXPECT_FALSE(c->isActive());
    EXPECT_TRUE(child->constraints().empty());
}

TEST(NSLayoutConstraint, DeactivatingAConstraintOnlyItsViewHoldsIsSafe) {
    auto root = std::make_shared<UIView>(CGRect(0, 0, 100, 100));
    auto child = std::make_shared<UIView>();
    root->addSubview(child);
    child->topAnchor().constraint(root->topAnchor())->setActive(true);
    child->constraints().front()->setActive(false);
    EXPECT_TRUE(child->constraints().empty());
}
