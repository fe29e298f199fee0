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

// The owner frees the last adopted first; a sibling watching one freed after it is told
// before it goes, one freed before it hears nothing.
TEST(Component, OwnerFreesLastCreatedFirstAndSiblingsHear) {
  const struct {
    bool graphFirst;
    std::vector<std::string> log;
  } kCases[] = {
      {true, {"destroy filter", "destroy graph"}},
      {false, {"filter forgets graph", "destroy graph", "destroy filter"}},
  };
  for (const auto& c : kCases) {
    gLog.clear();
    {
      TComponent owner;
      Probe* graph = c.graphFirst ? owner.Adopt(std::make_unique<Probe>("graph")) : nullptr;
      auto* filter = owner.Adopt(std::make_unique<Probe>("filter"));
      if (!c.graphFirst) graph = owner.Adopt(std::make_unique<Probe>("graph"));
      filter->Watch(graph);
      EXPECT_EQ(owner.ComponentCount(), 2);
      EXPECT_EQ(graph->Owner(), &owner);
    }
    EXPECT_EQ(gLog, c.log);
  }
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
