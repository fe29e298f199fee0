// The component base: ownership, removal notifications, names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Component.h"
#include "CustomControl.h"

namespace {

std::vector<std::string> gLog;

class Probe : public TComponent {
 public:
  explicit Probe(std::string tag) : tag_(std::move(tag)) {}
  ~Probe() override { gLog.push_back("destroy " + tag_); }
  void Watch(Probe* other) {
    watched = other;
    watchedTag = other->tag_;
  }
  TComponent* watched = nullptr;
  std::string watchedTag;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == watched) {
      gLog.push_back(tag_ + " forgets " + watchedTag);
      watched = nullptr;
    }
  }

 private:
  std::string tag_;
};

}  // namespace

TEST(Component, OwnerFreesLastCreatedFirstAndSiblingsHear) {
  gLog.clear();
  {
    TComponent owner;
    auto* graph = owner.Adopt(std::make_unique<Probe>("graph"));
    auto* filter = owner.Adopt(std::make_unique<Probe>("filter"));
    auto* grabber = owner.Adopt(std::make_unique<Probe>("grabber"));
    filter->Watch(graph);
    grabber->Watch(filter);
    EXPECT_EQ(owner.ComponentCount(), 3);
    EXPECT_EQ(graph->Owner(), &owner);
  }
  EXPECT_EQ(gLog, (std::vector<std::string>{"destroy grabber", "destroy filter", "destroy graph"}));
}

TEST(Component, SiblingIsToldBeforeTheWatchedOneGoes) {
  gLog.clear();
  {
    TComponent owner;
    auto* filter = owner.Adopt(std::make_unique<Probe>("filter"));
    auto* graph = owner.Adopt(std::make_unique<Probe>("graph"));
    filter->Watch(graph);
  }
  EXPECT_EQ(gLog,
            (std::vector<std::string>{"filter forgets graph", "destroy graph", "destroy filter"}));
}

TEST(Component, FreeingAnOwnedComponentElsewhereLeavesTheOwnersList) {
  gLog.clear();
  TComponent owner;
  Probe* raw = owner.Adopt(std::make_unique<Probe>("alone"));
  auto* watcher = owner.Adopt(std::make_unique<Probe>("watcher"));
  watcher->Watch(raw);
  // Destroyed by someone else (as Qt does for a control whose parent widget goes first).
  std::unique_ptr<TComponent>(raw).reset();
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(watcher->watched, nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"destroy alone", "watcher forgets alone"}));
}

TEST(Component, FreeNotificationReachesComponentsOfOtherOwners) {
  gLog.clear();
  Probe watcher("window");
  {
    Probe graph("graph");
    graph.FreeNotification(&watcher);
    watcher.Watch(&graph);
  }
  EXPECT_EQ(watcher.watched, nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"destroy graph", "window forgets graph"}));
}

TEST(Component, FindComponentIgnoresCase) {
  TComponent owner;
  auto* fg = owner.Adopt(std::make_unique<TComponent>());
  fg->SetName(QStringLiteral("fg"));
  EXPECT_EQ(owner.FindComponent(QStringLiteral("FG")), fg);
  EXPECT_EQ(owner.FindComponent(QStringLiteral("sg")), nullptr);
}

TEST(CustomControl, ParentWidgetFreeingTheControlLeavesTheOwner) {
  TComponent owner;
  {
    QWidget parent;
    auto* control = owner.Adopt(std::make_unique<TCustomControl>(&parent));
    control->SetName(QStringLiteral("vwEcran"));
    EXPECT_EQ(owner.ComponentCount(), 1);
  }
  EXPECT_EQ(owner.ComponentCount(), 0);
}
