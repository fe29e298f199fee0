// The component base: ownership, removal notifications, names.
#include <gtest/gtest.h>

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
    EXPECT_NE(component, this) << "told of itself";
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

// Freed by someone else (as Qt frees a control whose parent widget goes first), an owned
// component leaves its owner's list and its watchers forget it, whoever owns them.
TEST(Component, FreeingAComponentElsewhereLeavesTheOwnersListAndTellsItsWatchers) {
  gLog.clear();
  Probe outsider("window");
  {
    TComponent owner;
    Probe* raw = owner.Adopt(std::make_unique<Probe>("alone"));
    raw->SetName(QStringLiteral("fg"));
    EXPECT_EQ(owner.FindComponent(QStringLiteral("FG")), raw) << "names in any case";
    auto* watcher = owner.Adopt(std::make_unique<Probe>("watcher"));
    watcher->Watch(raw);
    raw->FreeNotification(&outsider);
    outsider.Watch(raw);
    std::unique_ptr<TComponent>(raw).reset();
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.FindComponent(QStringLiteral("fg")), nullptr);
    EXPECT_EQ(watcher->watched, nullptr);
    EXPECT_EQ(outsider.watched, nullptr);
    EXPECT_EQ(gLog, (std::vector<std::string>{"destroy alone", "window forgets alone",
                                              "watcher forgets alone"}));
    {
      QWidget parent;
      owner.Adopt(std::make_unique<TCustomControl>(&parent));
      EXPECT_EQ(owner.ComponentCount(), 2);
    }
    EXPECT_EQ(owner.ComponentCount(), 1) << "a control freed by its parent widget";
  }
}
